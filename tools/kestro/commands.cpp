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

// Parses a group's options (only --help, or --timeout / --length when
// named) and returns its operands; -1 to go on.
int operands_of(int argc, char** argv, const char* value_option, long low, long high, long* value,
                std::vector<std::string>* operands) {
    std::vector<option> longopts;
    if (value_option != nullptr) {
        longopts.push_back({value_option, required_argument, nullptr, 'v'});
    }
    return parse_group(
        argc, argv, longopts,
        [&](int, const char* text) -> std::string {
            if (!parse_int(text, low, high, value)) {
                return std::string("bad --") + value_option + " '" + text + "' (" +
                       std::to_string(low) + " to " + std::to_string(high) + ")";
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

// The reader after a mode change: back under the new product id.
bool wait_for_mode(const Mode& mode, long timeout_ms) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(timeout_ms);
    for (;;) {
        SetID(mode.pid);
        if (OpenKestro() == 0) {
            return true;
        }
        CloseKestro();
        if (steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(50));
    }
}

}  // namespace

int run_mode(int argc, char** argv) {
    long timeout = 10000;
    std::vector<std::string> operands;
    int done = operands_of(argc, argv, "timeout", 0, 600000, &timeout, &operands);
    if (done >= 0) {
        return done;
    }
    if (operands.size() != 1 || mode_by_word(operands[0]) == nullptr) {
        return usage_error("mode needs one of kb, idtech, magtek");
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
    if (!wait_for_mode(wanted, timeout)) {
        return fail(kFailed, std::string("the reader did not come back in ") + wanted.name +
                                 " within " + std::to_string(timeout) + " ms (ResetDevice " +
                                 std::to_string(reset) + ")");
    }
    CloseKestro();
    std::printf("%s (%04X)\n", wanted.name, static_cast<unsigned>(wanted.pid));
    return kOk;
}

int run_config(int argc, char** argv) {
    long unused = 0;
    std::vector<std::string> operands;
    int done = operands_of(argc, argv, nullptr, 0, 0, &unused, &operands);
    if (done >= 0) {
        return done;
    }
    if (operands.size() == 1 && operands[0] == "get") {
        return with_reader([](const Mode&) {
            uint8_t report[MR_FEATURE_LEN] = {};
            if (GetMrState(report) != 0) {
                return fail(kFailed, "the reader did not answer");
            }
            std::printf("configuration: %s\n", hex_bytes(report + 2, MR_STATE_LEN).c_str());
            std::printf("answer: %s\n", hex_bytes(report, MR_FEATURE_LEN).c_str());
            return static_cast<int>(kOk);
        });
    }
    std::vector<uint8_t> state;
    if (operands.empty() || operands[0] != "set") {
        return usage_error("config needs get or set");
    }
    if (!parse_hex_bytes({operands.begin() + 1, operands.end()}, &state) ||
        state.size() != MR_STATE_LEN) {
        return usage_error("config set needs 7 bytes in hex");
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
    std::vector<std::string> operands;
    int done = operands_of(argc, argv, "length", 4, MR_STAT_ANSWER_MAX, &length, &operands);
    if (done >= 0) {
        return done;
    }
    long index = 0;
    if (operands.size() < 2 || !parse_int(operands[1], 1, MR_STAT_MAX_INDEX, &index)) {
        return usage_error("stats needs get, reset or update and an index from 1 to 15");
    }
    const std::string& what = operands[0];
    const int32_t idx = static_cast<int32_t>(index);
    std::vector<uint8_t> data;
    if (what == "get" || what == "reset") {
        if (operands.size() != 2) {
            return usage_error("stats " + what + " takes only an index");
        }
    } else if (what == "update") {
        if (!parse_hex_bytes({operands.begin() + 2, operands.end()}, &data) ||
            data.size() > MR_STAT_UPDATE_MAX) {
            return usage_error("stats update takes at most 21 bytes in hex");
        }
    } else {
        return usage_error("stats needs get, reset or update");
    }
    return with_reader([&](const Mode&) {
        if (what == "get") {
            uint8_t record[MR_STAT_ANSWER_MAX] = {};
            const int32_t r = RetrieveStatistics(idx, record, static_cast<int32_t>(length));
            if (r != 0 && r != 3) {
                return fail(kFailed, "the reader did not answer");
            }
            std::printf("record %d: %s\n", idx,
                        hex_bytes(record, static_cast<size_t>(length)).c_str());
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
