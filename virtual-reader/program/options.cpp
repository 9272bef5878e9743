#include "options.h"

#include <cstring>

#include "cards_file.h"
#include "served/paths.h"

namespace vrp {
namespace {

// Published test card number, obviously fake.
const char kCardTrack1[] = "%B4111111111111111^TEST/CARD A^30121010000000000000?";
const char kCardTrack2[] = ";4111111111111111=30121010000000000?";
constexpr uint8_t kBadTrackStatus = 1;

bool parse_mode(const std::string& text, vr::Mode* mode) {
    if (text == "kb") {
        *mode = vr::Mode::Keyboard;
    } else if (text == "idtech") {
        *mode = vr::Mode::Idtech;
    } else if (text == "magtek") {
        *mode = vr::Mode::Magtek;
    } else {
        return false;
    }
    return true;
}

// "1,3": each of 1 to 3 at most once.
bool parse_bad(const std::string& text, bool bad[3]) {
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        std::string item =
            text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (item.size() != 1 || item[0] < '1' || item[0] > '3' || bad[item[0] - '1']) {
            return false;
        }
        bad[item[0] - '1'] = true;
        if (comma == std::string::npos) {
            return true;
        }
        pos = comma + 1;
    }
    return false;
}

bool parse_command(const std::string& word, Command* command) {
    static const struct {
        const char* word;
        Command command;
    } kCommands[] = {
        {"serve", Command::Serve},   {"swipe", Command::Swipe}, {"status", Command::Status},
        {"unplug", Command::Unplug}, {"plug", Command::Plug},   {"fault", Command::Fault},
        {"--help", Command::Help},   {"-h", Command::Help},     {"help", Command::Help}};
    for (const auto& c : kCommands) {
        if (word == c.word) {
            *command = c.command;
            return true;
        }
    }
    return false;
}

// A whole decimal number from `low` to `high`.
bool parse_number(const std::string& text, int low, int high, int* value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != text.npos) {
        return false;
    }
    int v = std::stoi(text);
    if (v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

// The value of a fault: a duration in ms or a count byte.
bool parse_fault_value(const vr::FaultInfo& info, const std::string& text, int32_t* value,
                       std::string* error) {
    int v = 0;
    switch (info.value) {
        case vr::FaultValue::None:
            *error = std::string("fault '") + info.name + "' takes no value";
            return false;
        case vr::FaultValue::Duration:
            if (!parse_number(text, 0, kMaxFaultMs, &v)) {
                *error =
                    "bad duration '" + text + "' (0 to " + std::to_string(kMaxFaultMs) + " ms)";
                return false;
            }
            break;
        case vr::FaultValue::Count:
            if (!parse_number(text, 0, 255, &v)) {
                *error = "bad count '" + text + "' (0 to 255)";
                return false;
            }
            break;
    }
    *value = v;
    return true;
}

// fault --list | fault NAME [VALUE] [--once] | fault --clear NAME|all, each
// with --name READER.
bool parse_fault(int argc, const char* const* argv, Options* o, std::string* error) {
    bool clear = false;
    std::vector<std::string> words;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            o->command = Command::Help;
            return true;
        }
        if (arg == "--list") {
            o->fault_list = true;
        } else if (arg == "--clear") {
            clear = true;
        } else if (arg == "--once") {
            o->fault.once = true;
        } else if (arg == "--name") {
            if (i + 1 >= argc || !served::name_valid(argv[i + 1])) {
                *error = "bad reader name (1 to 32 of A-Z a-z 0-9 _ - .)";
                return false;
            }
            o->name = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            *error = "unknown option '" + arg + "' for this command";
            return false;
        } else {
            words.push_back(arg);
        }
    }
    if (o->fault_list) {
        if (clear || o->fault.once || !words.empty()) {
            *error = "--list takes nothing else";
            return false;
        }
        return true;
    }
    if (words.empty() || words.size() > (clear ? 1u : 2u)) {
        *error = clear ? "fault --clear needs one fault name, or all"
                       : "fault needs a fault name and at most one value (see fault --list)";
        return false;
    }
    const vr::FaultInfo* info = vr::find_fault(words[0]);
    if (info == nullptr && !(clear && words[0] == "all")) {
        *error = "unknown fault '" + words[0] + "' (see fault --list)";
        return false;
    }
    o->fault.set = !clear;
    o->fault.name = info == nullptr ? "" : info->name;
    if (clear) {
        if (o->fault.once) {
            *error = "--once sets a fault; it does not clear one";
            return false;
        }
        return true;
    }
    if (o->fault.once && !info->once_allowed) {
        *error = std::string("fault '") + info->name + "' lasts MS ms or until cleared; not --once";
        return false;
    }
    return words.size() < 2 || parse_fault_value(*info, words[1], &o->fault.value, error);
}

}  // namespace

bool parse_options(int argc, const char* const* argv, Options* options, std::string* error) {
    Options o;
    if (argc < 2) {
        *error = "no command given (try --help)";
        return false;
    }
    if (!parse_command(argv[1], &o.command)) {
        *error = std::string("unknown command '") + argv[1] + "' (try --help)";
        return false;
    }
    if (o.command == Command::Fault) {
        if (!parse_fault(argc, argv, &o, error)) {
            return false;
        }
        *options = o;
        return true;
    }
    bool track_given = false;
    std::string file;
    bool bad[3] = {false, false, false};
    std::string tracks[3];
    for (int i = 2; i < argc; ++i) {
        std::string opt = argv[i];
        if (opt == "--help" || opt == "-h") {
            o.command = Command::Help;
            *options = o;
            return true;
        }
        if (i + 1 >= argc) {
            *error = "option '" + opt + "' needs a value";
            return false;
        }
        std::string value = argv[++i];
        bool swipe = o.command == Command::Swipe;
        if (opt == "--name") {
            if (!served::name_valid(value)) {
                *error = "bad reader name '" + value + "' (1 to 32 of A-Z a-z 0-9 _ - .)";
                return false;
            }
            o.name = value;
        } else if (opt == "--mode" && o.command == Command::Serve) {
            if (!parse_mode(value, &o.mode)) {
                *error = "bad mode '" + value + "' (kb, idtech or magtek)";
                return false;
            }
        } else if (opt == "--feature-length" && o.command == Command::Serve) {
            if (value != "25" && value != "10") {
                *error = "bad feature report length '" + value + "' (25, or 10)";
                return false;
            }
            o.feature_length = value == "10" ? 10 : 25;
        } else if (opt == "--restart-ms" && o.command == Command::Serve) {
            if (!parse_number(value, 0, kMaxRestartMs, &o.restart_ms)) {
                *error = "bad restart time '" + value + "' (0 to " + std::to_string(kMaxRestartMs) +
                         " ms)";
                return false;
            }
        } else if (swipe && (opt == "--track1" || opt == "--track2" || opt == "--track3")) {
            if (value.size() > 255) {
                *error = "track text longer than 255 characters";
                return false;
            }
            tracks[opt.back() - '1'] = value;
            track_given = true;
        } else if (swipe && opt == "--bad") {
            if (!parse_bad(value, bad)) {
                *error = "bad track list '" + value + "' (for example 1,3)";
                return false;
            }
        } else if (swipe && opt == "--file") {
            file = value;
        } else if (swipe && opt == "--repeat") {
            if (!parse_number(value, 1, kMaxRepeat, &o.repeat)) {
                *error =
                    "bad repeat count '" + value + "' (1 to " + std::to_string(kMaxRepeat) + ")";
                return false;
            }
        } else if (swipe && opt == "--every") {
            if (!parse_number(value, 0, kMaxEveryMs, &o.every_ms)) {
                *error =
                    "bad interval '" + value + "' (0 to " + std::to_string(kMaxEveryMs) + " ms)";
                return false;
            }
        } else if (opt == "--format" && o.command == Command::Status) {
            if (value != "text" && value != "json") {
                *error = "bad format '" + value + "' (text or json)";
                return false;
            }
            o.json = value == "json";
        } else {
            *error = "unknown option '" + opt + "' for this command";
            return false;
        }
    }
    if (!file.empty()) {
        if (track_given) {
            *error = "give tracks or a file of cards, not both";
            return false;
        }
        if (!read_cards(file, kBadTrackStatus, &o.cards, error)) {
            return false;
        }
    } else {
        if (!track_given) {
            tracks[0] = kCardTrack1;
            tracks[1] = kCardTrack2;
        }
        o.cards.resize(1);
        for (int t = 0; t < 3; ++t) {
            o.cards[0][t].text = tracks[t];
        }
    }
    // --bad marks those tracks of every card as failed.
    for (served::Swipe& card : o.cards) {
        for (int t = 0; t < 3; ++t) {
            if (bad[t]) {
                card[t].status = kBadTrackStatus;
            }
        }
    }
    *options = o;
    return true;
}

const char* usage_text() {
    return "usage: kestro-virtual-reader COMMAND [OPTIONS]\n"
           "\n"
           "A virtual card reader that the Kestro library finds like a USB reader.\n"
           "\n"
           "commands:\n"
           "  serve  [--mode kb|idtech|magtek] [--name NAME] [--feature-length 25|10]\n"
           "         [--restart-ms MS]\n"
           "         serve one reader in the foreground until interrupted (default mode\n"
           "         idtech); several readers with different names may run at once;\n"
           "         --feature-length 10 announces 10-byte feature reports, as a\n"
           "         reader that takes the short configuration form; --restart-ms\n"
           "         is how long an accepted reset keeps the reader off the bus\n"
           "         before it comes back in its new mode (default 1000, the\n"
           "         library's wait; 0 to 60000)\n"
           "  swipe  [--name NAME] [--track1 TEXT] [--track2 TEXT] [--track3 TEXT]\n"
           "         [--file CARDS] [--bad 1,2,3] [--repeat N] [--every MS]\n"
           "         swipe a card (default: fake test card A, tracks 1 and 2; once a\n"
           "         track is given, tracks not given are empty), or each card of\n"
           "         the file CARDS in turn: one card a line, tracks separated by\n"
           "         '|', a track of just '!' fails to read, '#' starts a comment\n"
           "         line. --bad makes those tracks of every card fail to read;\n"
           "         --repeat swipes the cards N times, --every waits MS ms between\n"
           "         two swipes. In keyboard mode the card is typed into the\n"
           "         focused window when an X display answers, else written to the\n"
           "         standard output of serve\n"
           "  status [--name NAME] [--format text|json]\n"
           "         mode, product id, configuration, statistics, counts of\n"
           "         flushes, resets and mode changes, faults set, the last feature\n"
           "         reports exchanged (time, command, hex), connected hosts\n"
           "  fault  [--name NAME] FAULT [VALUE] [--once]\n"
           "  fault  [--name NAME] --clear FAULT|all\n"
           "  fault  --list\n"
           "         make the reader misbehave: set a fault until it is cleared (or\n"
           "         for its next hit only, with --once), clear one or all; --list\n"
           "         names every fault with what an application sees\n"
           "  unplug [--name NAME]   take the reader off the bus\n"
           "  plug   [--name NAME]   put it back\n"
           "\n"
           "NAME defaults to 'default'. Sockets live in $XDG_RUNTIME_DIR/kestro, else\n"
           "/tmp/kestro-UID.\n"
           "\n"
           "The library looks for virtual readers only in programs started with\n"
           "KESTRO_VIRTUAL_READERS=1 in their environment (and the same XDG_RUNTIME_DIR);\n"
           "serve prints the line to use.\n"
           "\n"
           "exit codes: 0 done, 1 usage (or the reader could not be served), 2 no such\n"
           "reader\n";
}

}  // namespace vrp
