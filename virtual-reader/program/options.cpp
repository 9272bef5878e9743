#include "options.h"

#include <cstring>

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
    } kCommands[] = {{"serve", Command::Serve},   {"swipe", Command::Swipe},
                     {"status", Command::Status}, {"unplug", Command::Unplug},
                     {"plug", Command::Plug},     {"--help", Command::Help},
                     {"-h", Command::Help},       {"help", Command::Help}};
    for (const auto& c : kCommands) {
        if (word == c.word) {
            *command = c.command;
            return true;
        }
    }
    return false;
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
    bool track_given = false;
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
        } else {
            *error = "unknown option '" + opt + "' for this command";
            return false;
        }
    }
    if (!track_given) {
        tracks[0] = kCardTrack1;
        tracks[1] = kCardTrack2;
    }
    for (int t = 0; t < 3; ++t) {
        o.swipe[t].text = tracks[t];
        o.swipe[t].status = bad[t] ? kBadTrackStatus : 0;
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
           "  serve  [--mode kb|idtech|magtek] [--name NAME]\n"
           "         serve one reader in the foreground until interrupted (default mode\n"
           "         idtech); several readers with different names may run at once\n"
           "  swipe  [--name NAME] [--track1 TEXT] [--track2 TEXT] [--track3 TEXT]\n"
           "         [--bad 1,2,3]\n"
           "         swipe a card (default: fake test card A, tracks 1 and 2; once a\n"
           "         track is given, tracks not given are empty); --bad makes those\n"
           "         tracks fail to read. In keyboard mode the card is typed into the\n"
           "         focused window when an X display answers, else written to the\n"
           "         standard output of serve\n"
           "  status [--name NAME]\n"
           "         mode, product id, configuration, statistics, connected hosts\n"
           "  unplug [--name NAME]   take the reader off the bus\n"
           "  plug   [--name NAME]   put it back\n"
           "\n"
           "NAME defaults to 'default'. Sockets live in $XDG_RUNTIME_DIR/kestro, else\n"
           "/tmp/kestro-UID.\n"
           "\n"
           "exit codes: 0 done, 1 usage (or the reader could not be served), 2 no such\n"
           "reader\n";
}

}  // namespace vrp
