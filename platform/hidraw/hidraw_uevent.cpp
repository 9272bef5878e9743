// The ids in a HID device's uevent, as the kernel writes them:
// "HID_ID=%04X:%08X:%08X" (bus, vendor, product), one variable a line.
#include "kp/hidraw.h"

#include <cstddef>
#include <cstdint>

namespace kp {
namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// One to eight hex digits from `at`, then `end`; no sign, no blank, no 0x.
bool hex_field(const std::string& s, size_t* at, char end, uint32_t* value) {
    size_t i = *at;
    uint32_t v = 0;
    while (i < s.size() && hex_digit(s[i]) >= 0 && i - *at < 8) {
        v = v << 4 | static_cast<uint32_t>(hex_digit(s[i]));
        ++i;
    }
    bool ends = i == s.size() ? end == '\n' : s[i] == end;
    if (i == *at || !ends) {
        return false;
    }
    *at = i + 1;
    *value = v;
    return true;
}

}  // namespace

bool parse_uevent_ids(const std::string& uevent, HidIdentity* id) {
    static const char kKey[] = "HID_ID=";
    size_t line = 0;
    while (line < uevent.size()) {
        size_t next = uevent.find('\n', line);
        next = next == std::string::npos ? uevent.size() : next + 1;
        if (uevent.compare(line, sizeof kKey - 1, kKey) == 0) {
            size_t at = line + sizeof kKey - 1;
            uint32_t bus = 0;
            uint32_t vendor = 0;
            uint32_t product = 0;
            if (hex_field(uevent, &at, ':', &bus) && hex_field(uevent, &at, ':', &vendor) &&
                hex_field(uevent, &at, '\n', &product)) {
                // The low 16 bits, as the node's HIDIOCGRAWINFO gives them.
                id->vendor_id = static_cast<uint16_t>(vendor);
                id->product_id = static_cast<uint16_t>(product);
                return true;
            }
        }
        line = next;
    }
    return false;
}

}  // namespace kp
