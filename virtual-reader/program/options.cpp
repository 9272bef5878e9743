#include "options.h"

#include <getopt.h>

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

// The long options; each command takes some of them.
enum Opt {
    kHelp = 'h',
    kName = 256,
    kMode,
    kFeatureLength,
    kRestartMs,
    kHistory,
    kTrack1,
    kTrack2,
    kTrack3,
    kBad,
    kFile,
    kRepeat,
    kEvery,
    kWaitHost,
    kFormat,
    kReset,
    kList,
    kClear,
    kOnce,
};

struct CommandEntry {
    const char* word;
    Command command;
    std::vector<option> options;
};

const std::vector<CommandEntry>& commands() {
    static const option name{"name", required_argument, nullptr, kName};
    static const std::vector<CommandEntry> table = {
        {"serve",
         Command::Serve,
         {name,
          {"mode", required_argument, nullptr, kMode},
          {"feature-length", required_argument, nullptr, kFeatureLength},
          {"restart-ms", required_argument, nullptr, kRestartMs},
          {"history", required_argument, nullptr, kHistory}}},
        {"swipe",
         Command::Swipe,
         {name,
          {"track1", required_argument, nullptr, kTrack1},
          {"track2", required_argument, nullptr, kTrack2},
          {"track3", required_argument, nullptr, kTrack3},
          {"bad", required_argument, nullptr, kBad},
          {"file", required_argument, nullptr, kFile},
          {"repeat", required_argument, nullptr, kRepeat},
          {"every", required_argument, nullptr, kEvery},
          {"wait-host", required_argument, nullptr, kWaitHost}}},
        {"status",
         Command::Status,
         {name,
          {"format", required_argument, nullptr, kFormat},
          {"reset", no_argument, nullptr, kReset}}},
        {"unplug", Command::Unplug, {name}},
        {"plug", Command::Plug, {name}},
        {"fault",
         Command::Fault,
         {name,
          {"list", no_argument, nullptr, kList},
          {"clear", no_argument, nullptr, kClear},
          {"once", no_argument, nullptr, kOnce}}},
    };
    return table;
}

// What the options gathered that is checked once all are known: the
// swipe's tracks and file, fault's --clear.
struct Gathered {
    bool clear = false;
    bool track_given = false;
    std::string tracks[3];
    std::string file;
    bool bad[3] = {false, false, false};
};

// One option of a command with its value; "" when it is fine.
std::string take_option(int opt, const char* value, Options* o, Gathered* in) {
    const std::string v = value != nullptr ? value : "";
    switch (opt) {
        case kName:
            if (!served::name_valid(v)) {
                return "bad reader name '" + v + "' (1 to 32 of A-Z a-z 0-9 _ - .)";
            }
            o->name = v;
            return "";
        case kMode:
            return parse_mode(v, &o->mode) ? "" : "bad mode '" + v + "' (kb, idtech or magtek)";
        case kFeatureLength:
            if (v != "25" && v != "10") {
                return "bad feature report length '" + v + "' (25, or 10)";
            }
            o->feature_length = v == "10" ? 10 : 25;
            return "";
        case kRestartMs:
            return parse_number(v, 0, kMaxRestartMs, &o->restart_ms)
                       ? ""
                       : "bad restart time '" + v + "' (0 to " + std::to_string(kMaxRestartMs) +
                             " ms)";
        case kHistory: {
            const int most = static_cast<int>(served::kStatusMaxHistory);
            return parse_number(v, 0, most, &o->history)
                       ? ""
                       : "bad history length '" + v + "' (0 to " + std::to_string(most) + ")";
        }
        case kTrack1:
        case kTrack2:
        case kTrack3:
            if (v.size() > 255) {
                return "track text longer than 255 characters";
            }
            in->tracks[opt - kTrack1] = v;
            in->track_given = true;
            return "";
        case kBad:
            return parse_bad(v, in->bad) ? "" : "bad track list '" + v + "' (for example 1,3)";
        case kFile:
            in->file = v;
            return "";
        case kRepeat:
            return parse_number(v, 1, kMaxRepeat, &o->repeat)
                       ? ""
                       : "bad repeat count '" + v + "' (1 to " + std::to_string(kMaxRepeat) + ")";
        case kEvery:
            return parse_number(v, 0, kMaxEveryMs, &o->every_ms)
                       ? ""
                       : "bad interval '" + v + "' (0 to " + std::to_string(kMaxEveryMs) + " ms)";
        case kWaitHost:
            return parse_number(v, 0, kMaxWaitHostMs, &o->wait_host_ms)
                       ? ""
                       : "bad wait '" + v + "' (0 to " + std::to_string(kMaxWaitHostMs) + " ms)";
        case kFormat:
            if (v != "text" && v != "json") {
                return "bad format '" + v + "' (text or json)";
            }
            o->json = v == "json";
            return "";
        case kReset:
            o->reset = true;
            return "";
        case kList:
            o->fault_list = true;
            return "";
        case kClear:
            in->clear = true;
            return "";
        case kOnce:
            o->fault.once = true;
            return "";
        default:
            return "unknown option";
    }
}

// fault --list | fault NAME [VALUE] [--once] | fault --clear NAME|all.
bool finish_fault(const std::vector<std::string>& words, bool clear, Options* o,
                  std::string* error) {
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

// The cards of a swipe: a file of them (standard input for "-"), the
// tracks given, or the fake test card A; --bad marks tracks of every card.
bool finish_swipe(const Gathered& in, Options* o, std::string* error) {
    if (!in.file.empty()) {
        if (in.track_given) {
            *error = "give tracks or a file of cards, not both";
            return false;
        }
        if (!read_cards(in.file, kBadTrackStatus, &o->cards, error)) {
            return false;
        }
    } else {
        o->cards.resize(1);
        for (int t = 0; t < 3; ++t) {
            o->cards[0][t].text.assign(in.track_given ? in.tracks[t] : "");
        }
        if (!in.track_given) {
            o->cards[0][0].text = kCardTrack1;
            o->cards[0][1].text = kCardTrack2;
        }
    }
    for (served::Swipe& card : o->cards) {
        for (int t = 0; t < 3; ++t) {
            if (in.bad[t]) {
                card[t].status = kBadTrackStatus;
            }
        }
    }
    return true;
}

}  // namespace

bool parse_options(int argc, const char* const* argv, Options* options, std::string* error) {
    Options o;
    if (argc < 2) {
        *error = "no command given (try --help)";
        return false;
    }
    const std::string word = argv[1];
    if (word == "--help" || word == "-h" || word == "help") {
        *options = o;
        return true;
    }
    if (word == "--version") {
        o.command = Command::Version;
        *options = o;
        return true;
    }
    const CommandEntry* entry = nullptr;
    for (const CommandEntry& c : commands()) {
        entry = word == c.word ? &c : entry;
    }
    if (entry == nullptr) {
        *error = "unknown command '" + word + "' (try --help)";
        return false;
    }
    o.command = entry->command;
    std::vector<option> longopts = entry->options;
    longopts.push_back({"help", no_argument, nullptr, kHelp});
    longopts.push_back({nullptr, 0, nullptr, 0});
    // getopt_long reorders its argv: a copy, from the command word on.
    std::vector<std::string> words(argv + 1, argv + argc);
    std::vector<char*> args;
    for (std::string& w : words) {
        args.push_back(w.data());
    }
    args.push_back(nullptr);
    const int count = static_cast<int>(words.size());
    optind = 0;  // a fresh scan
    opterr = 0;  // the messages below name the argument
    Gathered in;
    int c;
    while ((c = getopt_long(count, args.data(), ":h", longopts.data(), nullptr)) != -1) {
        if (c == kHelp) {
            o.command = Command::Help;
            *options = o;
            return true;
        }
        if (c == '?' || c == ':') {
            const std::string arg = args[optind - 1];
            *error = c == '?' ? "unknown option '" + arg + "' for " + word
                              : "option '" + arg + "' needs a value";
            return false;
        }
        const std::string why = take_option(c, optarg, &o, &in);
        if (!why.empty()) {
            *error = why;
            return false;
        }
    }
    const std::vector<std::string> operands(args.begin() + optind, args.begin() + count);
    if (o.command == Command::Fault) {
        if (!finish_fault(operands, in.clear, &o, error)) {
            return false;
        }
    } else if (!operands.empty()) {
        *error = "unexpected argument '" + operands[0] + "' for " + word;
        return false;
    }
    if (o.command == Command::Swipe && !finish_swipe(in, &o, error)) {
        return false;
    }
    *options = o;
    return true;
}

const char* usage_text() {
    return "usage: kestro-virtual-reader COMMAND [OPTIONS]\n"
           "       kestro-virtual-reader --help | --version\n"
           "\n"
           "A virtual card reader that the Kestro library finds like a USB reader.\n"
           "\n"
           "commands:\n"
           "  serve  [--mode kb|idtech|magtek] [--name NAME] [--feature-length 25|10]\n"
           "         [--restart-ms MS] [--history N]\n"
           "         serve one reader in the foreground until interrupted (default mode\n"
           "         idtech); several readers with different names may run at once;\n"
           "         --feature-length 10 announces 10-byte feature reports, as a\n"
           "         reader that takes the short configuration form; --restart-ms\n"
           "         is how long an accepted reset keeps the reader off the bus\n"
           "         before it comes back in its new mode (default 1000, the\n"
           "         library's wait; 0 to 60000); --history keeps the last N feature\n"
           "         reports for status (default 16; 0 to 32)\n"
           "  swipe  [--name NAME] [--file CARDS|-] [--bad 1,2,3] [--repeat N]\n"
           "         [--every MS] [--wait-host MS] [--track1 TEXT] [--track2 TEXT]\n"
           "         [--track3 TEXT]\n"
           "         swipe a card (default: fake test card A, tracks 1 and 2), or each\n"
           "         card of the file CARDS in turn ('-' reads them from standard\n"
           "         input): one card a line, tracks separated by '|', a track of\n"
           "         just '!' fails to read, '#' starts a comment line. --track1,\n"
           "         --track2 and --track3 give one card's tracks on the command\n"
           "         line, where every user of this machine can see them (ps): for\n"
           "         fake test cards only; once a track is given, tracks not given\n"
           "         are empty. --bad makes those tracks of every card fail to read;\n"
           "         --repeat swipes the cards N times, --every waits MS ms between\n"
           "         two swipes; --wait-host waits up to MS ms for an application to\n"
           "         connect first. A card that no application receives (none\n"
           "         connected, or the reader off the bus) is an error (exit 3). In\n"
           "         keyboard mode the card is typed into the focused window when an\n"
           "         X display answers, else written to the standard output of serve\n"
           "  status [--name NAME] [--format text|json] [--reset]\n"
           "         mode, product id, configuration, statistics, counts of\n"
           "         flushes, resets, mode changes and cards swiped and delivered,\n"
           "         faults set, the last feature reports exchanged (time, command,\n"
           "         hex), connected hosts; --reset clears the counts and the\n"
           "         feature reports once shown\n"
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
           "reader (or it does not answer, or refused the command), 3 a swiped card\n"
           "that no application received\n";
}

}  // namespace vrp
