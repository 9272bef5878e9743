// The command line of kestro-virtual-reader.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "served/protocol.h"
#include "vr/model.h"

namespace vrp {

enum class Command { Help, Version, Serve, Swipe, Status, Unplug, Plug, Fault };

// Exit codes.
constexpr int kExitDone = 0;
constexpr int kExitUsage = 1;  // bad command line, or the reader could not be served
constexpr int kExitNoReader = 2;
constexpr int kExitNotDelivered = 3;  // swipe: no application received the card

struct Options {
    Command command = Command::Help;
    std::string name = "default";
    vr::Mode mode = vr::Mode::Idtech;
    size_t feature_length = vr::kFeatureLength;         // serve: 25, or 10
    int restart_ms = static_cast<int>(vr::kRestartMs);  // serve: off the bus after a reset
    int history = static_cast<int>(vr::ReaderModel::kHistoryLength);  // serve: reports kept
    // The cards of a swipe, in order: the fake test card A unless tracks or
    // a file of cards are given.
    served::Swipes cards;
    int repeat = 1;        // times the cards are swiped
    int every_ms = 0;      // pause between two swipes
    int wait_host_ms = 0;  // swipe: how long to wait for an application first
    bool json = false;     // status in JSON
    bool reset = false;    // status: clear the counts and the history once shown
    // fault: list them, or set or clear one ("" with clear: all of them).
    bool fault_list = false;
    served::FaultRequest fault;
};

constexpr int kMaxRepeat = 100000;
constexpr int kMaxEveryMs = 3600000;
constexpr int kMaxFaultMs = 86400000;
constexpr int kMaxRestartMs = 60000;
constexpr int kMaxWaitHostMs = 600000;

// Parses argv (options by getopt_long, as the kestro command does); false
// with a one-line reason that names the wrong argument.
bool parse_options(int argc, const char* const* argv, Options* options, std::string* error);

const char* usage_text();

}  // namespace vrp
