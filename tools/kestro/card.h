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

std::string card_text(const Card& card);
std::string card_json(const Card& card);  // one line

}  // namespace kcli
