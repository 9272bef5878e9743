#include "card.h"

#include <cstdio>

#include "json.h"
#include "kestro.h"
#include "mask.h"

namespace kcli {

bool decode_card(const uint8_t* buffer, int32_t pid, Card* card) {
    *card = Card();
    int sum = 0;
    for (int t = 0; t < MR_CARD_TRACKS; ++t) {
        card->status[t] = buffer[MR_CARD_STATUS_AT + t];
        card->length[t] = buffer[MR_CARD_LENGTH_AT + t];
        sum += card->length[t];
    }
    if (sum == 0) {
        return false;
    }
    const bool idtech = pid == MR_PID_IDTECH;
    const int first = idtech ? MR_CARD_TEXT_FIRST_IDTECH : MR_CARD_TEXT_FIRST_MAGTEK;
    const int last = idtech ? MR_CARD_TEXT_LAST_IDTECH : MR_CARD_TEXT_LAST_MAGTEK;
    uint8_t previous = 0;
    for (int j = first; j <= last; ++j) {
        const uint8_t b = buffer[j];
        if (b == 0) {
            continue;
        }
        if (previous == '\r' || card->lines.empty()) {
            card->lines.emplace_back();
        }
        if (b != '\r' && b != '\n') {
            card->lines.back() += static_cast<char>(b);
        }
        previous = b;
    }
    return true;
}

std::string printable(const std::string& text) {
    std::string out;
    char esc[8];
    for (unsigned char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c >= 0x7F) {
            std::snprintf(esc, sizeof esc, "\\x%02X", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string card_text(const Card& card, bool masked) {
    std::string text;
    char line[64];
    for (int t = 0; t < 3; ++t) {
        std::snprintf(line, sizeof line, "track %d: %s, length %u\n", t + 1,
                      card.status[t] == 0 ? "ok" : "not ok", card.length[t]);
        text += line;
    }
    for (const std::string& l : card.lines) {
        text += printable(masked ? mask_line(l) : l) + "\n";
    }
    return text;
}

std::string card_json(const Card& card, bool masked) {
    std::string json = std::string("{\"masked\":") + (masked ? "true" : "false") + ",\"tracks\":[";
    char track[64];
    for (int t = 0; t < 3; ++t) {
        std::snprintf(track, sizeof track, "%s{\"status\":%u,\"ok\":%s,\"length\":%u}",
                      t > 0 ? "," : "", card.status[t], card.status[t] == 0 ? "true" : "false",
                      card.length[t]);
        json += track;
    }
    json += "],\"lines\":[";
    for (size_t i = 0; i < card.lines.size(); ++i) {
        json += (i > 0 ? "," : "") + json_string(masked ? mask_line(card.lines[i]) : card.lines[i]);
    }
    return json + "]}";
}

}  // namespace kcli
