// A file of cards for `swipe --file`: one card a line, its tracks 1 to 3
// separated by '|' (fewer fields leave the later tracks empty), a field of
// just '!' a track that fails to read. Blank lines and lines starting with
// '#' are skipped; a carriage return ending a line is dropped. The file's
// text and the cards are card data: held in wiped text and swipes.
#pragma once

#include <string>
#include <vector>

#include "served/protocol.h"

namespace vrp {

constexpr size_t kMaxCards = 10000;

// Parses the text of a card file. False with a reason naming the line.
bool parse_cards(const served::Text& text, uint8_t bad_status, served::Swipes* cards,
                 std::string* error);

// Reads and parses the file at `path`; "-" is standard input.
bool read_cards(const std::string& path, uint8_t bad_status, served::Swipes* cards,
                std::string* error);

}  // namespace vrp
