// Report descriptor parsing, as far as the capabilities go: the usage of the
// first top-level collection and the longest report of each kind.
#include "kp/hidraw.h"

#include <map>
#include <utility>
#include <vector>

namespace kp {
namespace {

enum ItemType { kMain = 0, kGlobal = 1, kLocal = 2 };

// Main item tags.
constexpr unsigned kInput = 0x8;
constexpr unsigned kOutput = 0x9;
constexpr unsigned kFeature = 0xB;
constexpr unsigned kCollection = 0xA;
constexpr unsigned kEndCollection = 0xC;
// Global item tags.
constexpr unsigned kUsagePage = 0x0;
constexpr unsigned kReportSize = 0x7;
constexpr unsigned kReportId = 0x8;
constexpr unsigned kReportCount = 0x9;
constexpr unsigned kPush = 0xA;
constexpr unsigned kPop = 0xB;
// Local item tag.
constexpr unsigned kUsage = 0x0;

constexpr uint8_t kLongItem = 0xFE;

struct Globals {
    uint32_t usage_page = 0;
    uint32_t report_size = 0;
    uint32_t report_count = 0;
    uint32_t report_id = 0;
};

// Bits beyond any report Windows can describe (16-bit byte lengths). Sums
// stop just above it, so that no number of huge items wraps round to a
// small, valid-looking length.
constexpr uint64_t kTooManyBits = 0x10000ull * 8;

void add_bits(uint64_t* total, uint32_t report_size, uint32_t report_count) {
    const uint64_t n = static_cast<uint64_t>(report_size) * report_count;  // < 2^64
    *total = n >= kTooManyBits - *total ? kTooManyBits : *total + n;
}

// Bytes of the longest report of one kind, plus the report-id byte; 0 when
// none exists. False when it does not fit the 16 bits Windows gives it.
bool longest(const std::map<uint32_t, uint64_t>& bits, uint16_t* bytes) {
    uint64_t most = 0;
    for (const auto& [id, n] : bits) {
        (void)id;
        uint64_t b = (n + 7) / 8 + 1;  // n <= kTooManyBits
        most = b > most ? b : most;
    }
    if (most > 0xFFFF) {
        return false;
    }
    *bytes = static_cast<uint16_t>(most);
    return true;
}

}  // namespace

ReportDescriptorCaps parse_report_descriptor(const uint8_t* data, size_t length) {
    ReportDescriptorCaps caps;
    if (data == nullptr) {
        return caps;
    }
    Globals g;
    std::vector<Globals> stack;
    std::vector<uint32_t> usages;          // local usages since the last main item
    std::map<uint32_t, uint64_t> bits[3];  // input, output, feature: bits per report id
    int depth = 0;
    bool top_seen = false;

    size_t pos = 0;
    while (pos < length) {
        const uint8_t prefix = data[pos];
        if (prefix == kLongItem) {
            // Long item: size byte, tag byte, data. Nothing of ours.
            if (pos + 2 >= length || pos + 3 + data[pos + 1] > length) {
                return caps;
            }
            pos += 3 + data[pos + 1];
            continue;
        }
        const size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        const unsigned type = (prefix >> 2) & 3;
        const unsigned tag = prefix >> 4;
        if (pos + 1 + size > length) {
            return caps;  // cut off inside an item
        }
        uint32_t value = 0;
        for (size_t i = 0; i < size; ++i) {
            value |= static_cast<uint32_t>(data[pos + 1 + i]) << (8 * i);
        }
        pos += 1 + size;

        if (type == kGlobal) {
            switch (tag) {
                case kUsagePage:
                    g.usage_page = value;
                    break;
                case kReportSize:
                    g.report_size = value;
                    break;
                case kReportId:
                    g.report_id = value;
                    caps.numbered = true;
                    break;
                case kReportCount:
                    g.report_count = value;
                    break;
                case kPush:
                    stack.push_back(g);
                    break;
                case kPop:
                    if (stack.empty()) {
                        return caps;
                    }
                    g = stack.back();
                    stack.pop_back();
                    break;
                default:
                    break;
            }
            continue;
        }
        if (type == kLocal) {
            if (tag == kUsage) {
                // A 4-byte usage carries its own page in the high half.
                usages.push_back(size == 4 ? value : ((g.usage_page & 0xFFFF) << 16) | value);
            }
            continue;
        }
        if (type != kMain) {
            continue;  // reserved item type
        }
        switch (tag) {
            case kInput:
            case kOutput:
            case kFeature: {
                const int kind = tag == kInput ? 0 : tag == kOutput ? 1 : 2;
                add_bits(&bits[kind][g.report_id], g.report_size, g.report_count);
                break;
            }
            case kCollection:
                if (depth == 0 && !top_seen) {
                    top_seen = true;
                    const uint32_t usage =
                        usages.empty() ? ((g.usage_page & 0xFFFF) << 16) : usages.front();
                    caps.usage_page = static_cast<uint16_t>(usage >> 16);
                    caps.usage = static_cast<uint16_t>(usage & 0xFFFF);
                }
                ++depth;
                break;
            case kEndCollection:
                if (depth == 0) {
                    return caps;  // more ends than collections
                }
                --depth;
                break;
            default:
                break;
        }
        usages.clear();  // local items last until the next main item
    }
    if (!longest(bits[0], &caps.input_report_length) ||
        !longest(bits[1], &caps.output_report_length) ||
        !longest(bits[2], &caps.feature_report_length)) {
        return caps;
    }
    caps.valid = true;
    return caps;
}

}  // namespace kp
