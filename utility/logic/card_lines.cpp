#include "card_lines.h"

namespace kestro {

namespace {
constexpr unsigned char kCr = 13;
constexpr unsigned char kLf = 10;
}  // namespace

CardLines SplitCardLines(const unsigned char* buffer, std::size_t size, int first, int last) {
    CardLines lines;
    unsigned char previous = 0;  // none yet
    for (int j = first; j <= last; ++j) {
        if (j < 0 || static_cast<std::size_t>(j) >= size) {
            lines.dropped = true;
            continue;
        }
        const unsigned char b = buffer[j];
        if (b == 0) {
            continue;
        }
        // A line starts with the first character and after every CR, so a
        // CR LF pair starts one line and a lone LF starts none.
        if (previous == kCr || lines.count == 0) {
            ++lines.count;
        }
        if (b != kCr && b != kLf) {
            if (lines.count <= kMaxCardLines) {
                lines.line[lines.count - 1] += static_cast<char>(b);
            } else {
                lines.dropped = true;
            }
        }
        previous = b;
    }
    return lines;
}

}  // namespace kestro
