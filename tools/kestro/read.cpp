// kestro read: waits for cards and prints each one, following the reader
// when it leaves and comes back.
#include <cstdio>

#include "card.h"
#include "cli.h"
#include "follow.h"
#include "kestro.h"
#include "options.h"

namespace kcli {

int run_read(int argc, char** argv) {
    long count = 1;
    long timeout = 0;
    bool json = false;
    bool masked = true;
    std::vector<std::string> operands;
    int done = parse_group(
        argc, argv,
        {{"count", required_argument, nullptr, 'n'},
         {"timeout", required_argument, nullptr, 't'},
         {"format", required_argument, nullptr, 'f'},
         {"unmasked", no_argument, nullptr, 'u'}},
        [&](int c, const char* value) -> std::string {
            if (c == 'n' && !parse_int(value, 1, 1000000, &count)) {
                return std::string("bad --count '") + value + "' (1 to 1000000)";
            }
            if (c == 't' && !parse_int(value, 0, 86400000, &timeout)) {
                return std::string("bad --timeout '") + value + "' (0 to 86400000 ms)";
            }
            if (c == 'u') {
                masked = false;
            }
            if (c == 'f') {
                return parse_format(value, &json);
            }
            return "";
        },
        &operands);
    if (done >= 0) {
        return done;
    }
    if (!operands.empty()) {
        return usage_error("read takes no operands, not '" + operands[0] + "'");
    }
    FollowedReader reader;
    const Mode* mode = reader.open();
    if (mode == nullptr) {
        return fail(kNoReader, "no reader answers (kestro list says why)");
    }
    if (mode->pid == MR_PID_KEYBOARD) {
        reader.close();
        return fail(kFailed,
                    "the reader is in USB/KB mode and types cards as keystrokes; read in an HID "
                    "mode (kestro mode idtech)");
    }
    int result = kOk;
    for (long n = 0; n < count && result == kOk; ++n) {
        const int64_t deadline = timeout == 0 ? -1 : now_ms() + timeout;
        Card card;
        int32_t status = 0;
        switch (reader.next_card(deadline, &card, &status)) {
            case FollowedReader::Outcome::Card:
                std::fputs(json ? (card_json(card, masked) + "\n").c_str()
                                : card_text(card, masked).c_str(),
                           stdout);
                if (!json && n + 1 < count) {
                    std::fputs("\n", stdout);
                }
                std::fflush(stdout);
                break;
            case FollowedReader::Outcome::NoCard:
                result = fail(kFailed, "no card within " + std::to_string(timeout) + " ms");
                break;
            case FollowedReader::Outcome::Gone:
                result = fail(kNoReader, "the reader left and was not back within " +
                                             std::to_string(timeout) + " ms");
                break;
            case FollowedReader::Outcome::Failed:
                result = fail(
                    kFailed, "the reader cannot be read (ReadData " + std::to_string(status) + ")");
                break;
        }
    }
    reader.close();
    return result;
}

}  // namespace kcli
