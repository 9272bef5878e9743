// One card from the library's read buffer, decoded as KestroConfigure
// decodes it: each track's status and length, and the text range split into
// lines (zero bytes skipped, a carriage return ends a line, a line feed is
// dropped).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kcli {

struct Card {
    std::array<uint8_t, 3> status{};
    std::array<uint8_t, 3> length{};
    std::vector<std::string> lines;
};

// False when the buffer holds no card (the three lengths add up to 0).
bool decode_card(const uint8_t* buffer, int32_t pid, Card* card);

// How a card is shown: masked (mask.h) unless the whole data is asked for.
// The text form shows every byte outside printable ASCII as \xNN and a
// backslash as \\, so nothing a reader sends reaches the terminal raw; the
// JSON form is one line and says whether it is masked.
std::string card_text(const Card& card, bool masked);
std::string card_json(const Card& card, bool masked);

// Text with every byte outside printable ASCII as \xNN (upper-case hex) and
// a backslash as \\.
std::string printable(const std::string& text);

}  // namespace kcli
