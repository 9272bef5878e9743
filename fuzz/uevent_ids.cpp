// A HID device's uevent text of any content, as sysfs hands it over: the
// ids come only from a whole HID_ID line in the kernel's form, lines in
// front of it change nothing, and the ids found read back the same from the
// kernel's own rendering of them.
#include <cstdio>
#include <string>

#include "harness.h"
#include "kp/hidraw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    kp::HidIdentity id;
    const bool found = kp::parse_uevent_ids(text, &id);

    kp::HidIdentity behind;
    const bool found_behind = kp::parse_uevent_ids("DRIVER=hid-generic\n" + text, &behind);
    fuzz::check(found == found_behind, "a line in front changed the outcome");
    if (!found) {
        return 0;
    }
    fuzz::check(behind.vendor_id == id.vendor_id && behind.product_id == id.product_id,
                "a line in front changed the ids");
    fuzz::check(text.compare(0, 7, "HID_ID=") == 0 || text.find("\nHID_ID=") != std::string::npos,
                "ids without a HID_ID line");

    char line[64];
    std::snprintf(line, sizeof line, "HID_ID=0003:%08X:%08X\n", id.vendor_id, id.product_id);
    kp::HidIdentity again;
    fuzz::check(kp::parse_uevent_ids(line, &again) && again.vendor_id == id.vendor_id &&
                    again.product_id == id.product_id,
                "the kernel's rendering reads back otherwise");
    return 0;
}
