// kestro read: waits for cards and prints each one.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "card.h"
#include "cli.h"
#include "kestro.h"
#include "options.h"

namespace kcli {
namespace {

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Longest single wait inside the library, so a long timeout stays a loop.
constexpr int32_t kSliceMs = 500;

}  // namespace

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
                return std::string("bad count '") + value + "' (1 to 1000000)";
            }
            if (c == 't' && !parse_int(value, 0, 86400000, &timeout)) {
                return std::string("bad timeout '") + value + "' (0 to 86400000 ms)";
            }
            if (c == 'u') {
                masked = false;
            }
            if (c == 'f') {
                if (std::strcmp(value, "json") != 0 && std::strcmp(value, "text") != 0) {
                    return std::string("bad format '") + value + "' (text or json)";
                }
                json = std::strcmp(value, "json") == 0;
            }
            return "";
        },
        &operands);
    if (done >= 0) {
        return done;
    }
    if (!operands.empty()) {
        return usage_error("read takes no operands");
    }
    const Mode* mode = open_reader();
    if (mode == nullptr) {
        return fail(kNoReader, "no reader answers (kestro list says why)");
    }
    if (mode->pid == MR_PID_KEYBOARD) {
        CloseKestro();
        return fail(kFailed,
                    "the reader is in USB/KB mode and types cards as keystrokes; read in an HID "
                    "mode (kestro mode idtech)");
    }
    uint8_t buffer[MR_READ_BUF_LEN];
    int result = kOk;
    for (long n = 0; n < count && result == kOk; ++n) {
        const int64_t deadline = now_ms() + timeout;
        Card card;
        bool got = false;
        while (!got) {
            int64_t left = timeout == 0 ? kSliceMs : deadline - now_ms();
            if (left <= 0) {
                break;
            }
            const int32_t slice = static_cast<int32_t>(left < kSliceMs ? left : kSliceMs);
            const int32_t status = ReadData(buffer, slice, 0);
            if (status == 1 || status == 2) {
                result = fail(
                    kFailed, "the reader cannot be read (ReadData " + std::to_string(status) + ")");
                break;
            }
            got = status == 0 && decode_card(buffer, mode->pid, &card);
        }
        if (got) {
            std::fputs(
                json ? (card_json(card, masked) + "\n").c_str() : card_text(card, masked).c_str(),
                stdout);
            if (!json && n + 1 < count) {
                std::fputs("\n", stdout);
            }
            std::fflush(stdout);
        } else if (result == kOk) {
            result = fail(kFailed, "no card within " + std::to_string(timeout) + " ms");
        }
    }
    CloseKestro();
    return result;
}

}  // namespace kcli
