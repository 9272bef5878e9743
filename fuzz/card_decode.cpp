// The utility's card decoding over any 1025-byte card buffer and any text
// range: lines never hold a zero, carriage return or line feed, and while no
// more than eight lines start, they are exactly the range's other bytes.
#include <cstring>
#include <string>

#include "card_lines.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    // First four bytes: the first and last index (16-bit signed, as the
    // window keeps them); the rest fills the card buffer.
    auto first = static_cast<int16_t>(data[0] | data[1] << 8);
    auto last = static_cast<int16_t>(data[2] | data[3] << 8);
    unsigned char buffer[1025] = {};
    std::memcpy(buffer, data + 4, std::min<size_t>(size - 4, sizeof buffer));

    kestro::CardLines lines = kestro::SplitCardLines(buffer, sizeof buffer, first, last);
    std::string kept;
    for (int k = 0; k < std::min(lines.count, kestro::kMaxCardLines); ++k) {
        for (char c : lines.line[k]) {
            fuzz::check(c != 0 && c != 10 && c != 13, "a line holds a separator");
        }
        kept += lines.line[k];
    }
    fuzz::check(lines.count >= 0, "negative line count");
    // Characters are dropped only past the eighth line or outside the
    // buffer; a ninth line of nothing but separators drops none.
    bool outside = first < 0 || last > 1024;
    if (lines.dropped) {
        fuzz::check(lines.count > kestro::kMaxCardLines || outside, "dropped without cause");
    }
    if (!outside && lines.count <= kestro::kMaxCardLines) {
        fuzz::check(!lines.dropped, "dropped within eight lines");
        std::string expected;
        for (int j = first; j <= last; ++j) {
            unsigned char b = buffer[j];
            if (b != 0 && b != 10 && b != 13) {
                expected += static_cast<char>(b);
            }
        }
        fuzz::check(kept == expected, "characters lost or invented");
    }
    return 0;
}
