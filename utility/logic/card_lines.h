// Splitting the track text of a card report into display lines.
#ifndef KESTRO_UTILITY_LOGIC_CARD_LINES_H
#define KESTRO_UTILITY_LOGIC_CARD_LINES_H

#include <array>
#include <cstddef>
#include <string>

namespace kestro {

inline constexpr int kMaxCardLines = 8;

struct CardLines {
    std::array<std::string, kMaxCardLines> line;  // line k is element k - 1
    int count = 0;                                // lines started; may pass kMaxCardLines
    bool dropped = false;  // characters of a line past kMaxCardLines were dropped
};

// Scans bytes [first, last] of buffer: zero bytes are skipped, a carriage
// return ends a line, a line feed is dropped. Nothing is scanned when first
// is past last; indices outside the buffer count as dropped.
CardLines SplitCardLines(const unsigned char* buffer, std::size_t size, int first, int last);

}  // namespace kestro

#endif
