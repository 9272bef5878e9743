#include "cards_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vrp {

namespace {

constexpr size_t kMaxTrack = 255;
constexpr char kSeparator = '|';
const char kFailedTrack[] = "!";

// The tracks of one line, from `begin` to `end`, straight into the card:
// track text is never copied anywhere else.
bool parse_line(const char* begin, const char* end, uint8_t bad_status, served::Swipe* card,
                std::string* reason) {
    size_t track = 0;
    const char* pos = begin;
    for (;;) {
        const char* bar = std::find(pos, end, kSeparator);
        const size_t length = static_cast<size_t>(bar - pos);
        if (track == card->size()) {
            *reason = "more than three tracks";
            return false;
        }
        if (length == std::strlen(kFailedTrack) && std::equal(pos, bar, kFailedTrack)) {
            (*card)[track].status = bad_status;
        } else if (length > kMaxTrack) {
            *reason = "track text longer than 255 characters";
            return false;
        } else {
            (*card)[track].text.assign(pos, length);
        }
        ++track;
        if (bar == end) {
            return true;
        }
        pos = bar + 1;
    }
}

// Reads all of `fd` into `text`; a read error ends it, as the end would.
void read_all(int fd, served::Text* text) {
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        text->append(chunk, static_cast<size_t>(n));
    }
    wipe::secure_wipe(chunk, sizeof chunk);
}

}  // namespace

bool parse_cards(const served::Text& text, uint8_t bad_status, served::Swipes* cards,
                 std::string* error) {
    served::Swipes out;
    const char* const end = text.data() + text.size();
    const char* line = text.data();
    for (size_t number = 1; line < end; ++number) {
        const char* newline = std::find(line, end, '\n');
        const char* line_end = newline;
        if (line_end > line && line_end[-1] == '\r') {
            --line_end;
        }
        const char* next = newline == end ? end : newline + 1;
        if (line_end == line || *line == '#') {
            line = next;
            continue;
        }
        served::Swipe card;
        std::string reason;
        if (!parse_line(line, line_end, bad_status, &card, &reason)) {
            *error = "line " + std::to_string(number) + ": " + reason;
            return false;
        }
        if (out.size() == kMaxCards) {
            *error = "more than " + std::to_string(kMaxCards) + " cards";
            return false;
        }
        out.push_back(std::move(card));
        line = next;
    }
    if (out.empty()) {
        *error = "no card in the file";
        return false;
    }
    *cards = std::move(out);
    return true;
}

bool read_cards(const std::string& path, uint8_t bad_status, served::Swipes* cards,
                std::string* error) {
    // Read with the system's calls into wiped text: a stream's buffer would
    // be freed with the card data still in it.
    served::Text text;
    if (path == "-") {
        // Standard input: card data that no other user sees, as they see a
        // command line.
        read_all(STDIN_FILENO, &text);
    } else {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            *error = "cannot read '" + path + "'";
            return false;
        }
        read_all(fd, &text);
        close(fd);
    }
    if (!parse_cards(text, bad_status, cards, error)) {
        *error = (path == "-" ? std::string("standard input") : path) + ": " + *error;
        return false;
    }
    return true;
}

}  // namespace vrp
