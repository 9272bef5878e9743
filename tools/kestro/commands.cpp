// kestro mode, config and stats: the reader's feature-report commands.
#include <unistd.h>

#include <chrono>
#include <functional>
#include <cstdio>
#include <thread>

#include "cli.h"
#include "kestro.h"
#include "options.h"

namespace kcli {
namespace {

// A number option of a group: --NAME between low and high.
struct NumberOption {
    const char* name;
    long low;
    long high;
    long* value;
};

// Parses a group's options (its number options, and --format when `json`
// is given) and returns its operands; -1 to go on.
int operands_of(int argc, char** argv, const std::vector<NumberOption>& numbers, bool* json,
                std::vector<std::string>* operands) {
    std::vector<option> longopts;
    for (size_t i = 0; i < numbers.size(); ++i) {
        longopts.push_back({numbers[i].name, required_argument, nullptr, static_cast<int>(i)});
    }
    const int format = static_cast<int>(numbers.size());
    if (json != nullptr) {
        longopts.push_back({"format", required_argument, nullptr, format});
    }
    return parse_group(
        argc, argv, longopts,
        [&](int c, const char* text) -> std::string {
            if (c == format) {
                return parse_format(text, json);
            }
            const NumberOption& n = numbers[static_cast<size_t>(c)];
            if (!parse_int(text, n.low, n.high, n.value)) {
                return std::string("bad --") + n.name + " '" + text + "' (" +
                       std::to_string(n.low) + " to " + std::to_string(n.high) + ")";
            }
            return "";
        },
        operands);
}

int with_reader(const std::function<int(const Mode&)>& work) {
    const Mode* mode = open_reader();
    if (mode == nullptr) {
        return fail(kNoReader, "no reader answers (kestro list says why)");
    }
    int result = work(*mode);
    CloseKestro();
    return result;
}

// The library's own waits in a mode change: 100 ms after ChangeMode and
// 1000 ms after ResetDevice.
constexpr long kModeChangeMs = 1100;

// The reader after a mode change: back under the new product id by
// `deadline` (now_ms() time).
bool wait_for_mode(const Mode& mode, int64_t deadline) {
    for (;;) {
        SetID(mode.pid);
        if (OpenKestro() == 0) {
            return true;
        }
        CloseKestro();
        const int64_t left = deadline - now_ms();
        if (left <= 0) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(left < 50 ? left : 50));
    }
}

}  // namespace

int run_mode(int argc, char** argv) {
    const int64_t started = now_ms();
    long timeout = 10000;
    std::vector<std::string> operands;
    int done =
        operands_of(argc, argv, {{"timeout", kModeChangeMs, 600000, &timeout}}, nullptr, &operands);
    if (done >= 0) {
        return done;
    }
    if (operands.empty()) {
        return usage_error("mode needs one of kb, idtech, magtek");
    }
    if (mode_by_word(operands[0]) == nullptr) {
        return usage_error("mode needs one of kb, idtech, magtek, not '" + operands[0] + "'");
    }
    if (operands.size() > 1) {
        return usage_error("mode takes one mode, not also '" + operands[1] + "'");
    }
    const Mode& wanted = *mode_by_word(operands[0]);
    const Mode* current = open_reader();
    if (current == nullptr) {
        return fail(kNoReader, "no reader answers (kestro list says why)");
    }
    // As KestroConfigure does: the mode command, then a reset that makes
    // the reader come back under the new mode's product id.
    const int32_t changed = ChangeMode(wanted.number);
    const int32_t reset = changed == 0 ? ResetDevice(255) : -1;
    CloseKestro();
    if (changed != 0) {
        return fail(kFailed, "the reader refused the mode change (ChangeMode " +
                                 std::to_string(changed) + ")");
    }
    if (!wait_for_mode(wanted, started + timeout)) {
        return fail(kFailed, std::string("the reader did not come back in ") + wanted.name +
                                 " within " + std::to_string(timeout) + " ms (ResetDevice " +
                                 std::to_string(reset) + ")");
    }
    CloseKestro();
    std::printf("%s (%04X)\n", wanted.name, static_cast<unsigned>(wanted.pid));
    return kOk;
}

int run_config(int argc, char** argv) {
    bool json = false;
    std::vector<std::string> operands;
    int done = operands_of(argc, argv, {}, &json, &operands);
    if (done >= 0) {
        return done;
    }
    if (!operands.empty() && operands[0] == "get") {
        if (operands.size() > 1) {
            return usage_error("config get takes nothing more, not '" + operands[1] + "'");
        }
        return with_reader([json](const Mode&) {
            uint8_t report[MR_FEATURE_LEN] = {};
            if (GetMrState(report) != 0) {
                return fail(kFailed, "the reader did not answer");
            }
            if (json) {
                std::printf("{\"configuration\":\"%s\",\"answer\":\"%s\"}\n",
                            hex_bytes(report + 2, MR_STATE_LEN, "").c_str(),
                            hex_bytes(report, MR_FEATURE_LEN, "").c_str());
                return static_cast<int>(kOk);
            }
            std::printf("configuration: %s\n", hex_bytes(report + 2, MR_STATE_LEN).c_str());
            std::printf("answer: %s\n", hex_bytes(report, MR_FEATURE_LEN).c_str());
            return static_cast<int>(kOk);
        });
    }
    std::vector<uint8_t> state;
    if (operands.empty() || operands[0] != "set") {
        return usage_error(operands.empty() ? std::string("config needs get or set")
                                            : "config needs get or set, not '" + operands[0] + "'");
    }
    if (json) {
        return usage_error("--format is for config get only");
    }
    const std::vector<std::string> words(operands.begin() + 1, operands.end());
    std::string bad;
    if (!all_hex_words(words, &bad)) {
        return usage_error("not bytes in hex: '" + bad + "'");
    }
    parse_hex_bytes(words, &state);
    if (state.size() != MR_STATE_LEN) {
        return usage_error("config set needs 7 bytes in hex, not " + std::to_string(state.size()));
    }
    return with_reader([&](const Mode&) {
        const int32_t r = SetMrStateEx(state.data());
        if (r != 0) {
            return fail(kFailed, "the reader refused the configuration (SetMrStateEx " +
                                     std::to_string(r) + ")");
        }
        std::printf("configuration: %s\n", hex_bytes(state.data(), state.size()).c_str());
        return static_cast<int>(kOk);
    });
}

int run_stats(int argc, char** argv) {
    long length = MR_STAT_ANSWER_MAX;
    bool json = false;
    std::vector<std::string> operands;
    int done =
        operands_of(argc, argv, {{"length", 4, MR_STAT_ANSWER_MAX, &length}}, &json, &operands);
    if (done >= 0) {
        return done;
    }
    if (operands.empty()) {
        return usage_error("stats needs get, reset or update");
    }
    const std::string& what = operands[0];
    if (what != "get" && what != "reset" && what != "update") {
        return usage_error("stats needs get, reset or update, not '" + what + "'");
    }
    long index = 0;
    if (operands.size() < 2) {
        return usage_error("stats " + what + " needs an index from 1 to 15");
    }
    if (!parse_int(operands[1], 1, MR_STAT_MAX_INDEX, &index)) {
        return usage_error("bad index '" + operands[1] + "' (1 to 15)");
    }
    if (what != "get" && (json || length != MR_STAT_ANSWER_MAX)) {
        return usage_error("--length and --format are for stats get only");
    }
    const int32_t idx = static_cast<int32_t>(index);
    std::vector<uint8_t> data;
    if (what != "update") {
        if (operands.size() != 2) {
            return usage_error("stats " + what + " takes only an index, not '" + operands[2] + "'");
        }
    } else {
        const std::vector<std::string> words(operands.begin() + 2, operands.end());
        std::string bad;
        if (!all_hex_words(words, &bad)) {
            return usage_error("not bytes in hex: '" + bad + "'");
        }
        parse_hex_bytes(words, &data);
        if (data.size() > MR_STAT_UPDATE_MAX) {
            return usage_error("stats update takes at most 21 bytes, not " +
                               std::to_string(data.size()));
        }
    }
    return with_reader([&](const Mode&) {
        if (what == "get") {
            uint8_t record[MR_STAT_ANSWER_MAX] = {};
            const int32_t r = RetrieveStatistics(idx, record, static_cast<int32_t>(length));
            if (r != 0 && r != 3) {
                return fail(kFailed, "the reader did not answer");
            }
            if (json) {
                std::printf("{\"record\":%d,\"data\":\"%s\",\"more\":%s}\n", idx,
                            hex_bytes(record, static_cast<size_t>(length), "").c_str(),
                            r == 3 ? "true" : "false");
            } else {
                std::printf("record %d: %s\n", idx,
                            hex_bytes(record, static_cast<size_t>(length)).c_str());
            }
            if (r == 3) {
                std::fprintf(stderr, "kestro: the record holds more than %ld bytes\n", length);
            }
            return static_cast<int>(kOk);
        }
        // The access check: the first argument less the second plus the
        // index must be the library's clock.
        const int32_t pw1 = gtime();
        const int32_t r =
            what == "reset"
                ? ResetStatistics(idx, pw1, idx)
                : UpdateStatistics(idx, data.data(), static_cast<int32_t>(data.size()), pw1, idx);
        if (r != 0) {
            return fail(kFailed, "the reader refused (" + what + " " + std::to_string(r) + ")");
        }
        std::printf("record %d: %s\n", idx, what == "reset" ? "reset" : "updated");
        return static_cast<int>(kOk);
    });
}

}  // namespace kcli
