#include "cards_file.h"

#include <fstream>
#include <iostream>
#include <sstream>

namespace vrp {

namespace {

constexpr size_t kMaxTrack = 255;
constexpr char kSeparator = '|';
const char kFailedTrack[] = "!";

bool parse_line(const std::string& line, uint8_t bad_status, served::Swipe* card,
                std::string* reason) {
    size_t track = 0;
    size_t pos = 0;
    for (;;) {
        size_t bar = line.find(kSeparator, pos);
        std::string field = line.substr(pos, bar == std::string::npos ? bar : bar - pos);
        if (track == card->size()) {
            *reason = "more than three tracks";
            return false;
        }
        if (field == kFailedTrack) {
            (*card)[track].status = bad_status;
        } else if (field.size() > kMaxTrack) {
            *reason = "track text longer than 255 characters";
            return false;
        } else {
            (*card)[track].text.assign(field.begin(), field.end());
        }
        ++track;
        if (bar == std::string::npos) {
            return true;
        }
        pos = bar + 1;
    }
}

}  // namespace

bool parse_cards(const std::string& text, uint8_t bad_status, std::vector<served::Swipe>* cards,
                 std::string* error) {
    std::istringstream in(text);
    std::string line;
    std::vector<served::Swipe> out;
    for (size_t number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        served::Swipe card;
        std::string reason;
        if (!parse_line(line, bad_status, &card, &reason)) {
            *error = "line " + std::to_string(number) + ": " + reason;
            return false;
        }
        if (out.size() == kMaxCards) {
            *error = "more than " + std::to_string(kMaxCards) + " cards";
            return false;
        }
        out.push_back(card);
    }
    if (out.empty()) {
        *error = "no card in the file";
        return false;
    }
    *cards = std::move(out);
    return true;
}

bool read_cards(const std::string& path, uint8_t bad_status, std::vector<served::Swipe>* cards,
                std::string* error) {
    std::ostringstream text;
    if (path == "-") {
        // Standard input: card data that no other user sees, as they see a
        // command line.
        text << std::cin.rdbuf();
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            *error = "cannot read '" + path + "'";
            return false;
        }
        text << in.rdbuf();
    }
    if (!parse_cards(text.str(), bad_status, cards, error)) {
        *error = (path == "-" ? std::string("standard input") : path) + ": " + *error;
        return false;
    }
    return true;
}

}  // namespace vrp
