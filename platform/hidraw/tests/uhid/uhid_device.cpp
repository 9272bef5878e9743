// A fake card reader made through /dev/uhid, for trying installed programs
// against a real kernel and udev: it answers the feature reports (a mode
// change and reset bring it back under the new mode's product id) and swipes
// a card on request. Commands come one a line on standard input; each but
// quit is answered with one line on standard output:
//   swipe [T1|T2|T3]  a card in the current mode: the test card, or these
//                     tracks (ISO text, "|" between them, empty for none);
//                     "swiped N" (the report's length, 0 in keyboard mode)
//   swipe-in MS [T1|T2|T3]
//                     the same swipe MS milliseconds later (while a program
//                     waits for it); "swiping in MS ms"
//   stamp             "stamp NS": when the last swipe-in's report was
//                     written to /dev/uhid, in CLOCK_MONOTONIC_RAW
//                     nanoseconds (0 before the first)
//   clock             "clock NS": CLOCK_MONOTONIC_RAW now, in nanoseconds
//   input HEX         an input report of the mode's length holding these
//                     bytes after its report id (zeros after them);
//                     "sent N" (the report's length with its id)
//   node              "node /dev/hidrawN pppp" once the device is up
//   unplug            the device leaves the bus; "unplugged"
//   plug [MODE]       a new device arrives (in MODE, else the last mode);
//                     answered as node
//   state             "state MODE PPPP NODE" (NODE "-" while it is away)
//   quit              (or the end of the input) unplugs the device and ends
//   kestro_uhid_device [kb|idtech|magtek] [--away-ms MS]   (default idtech)
// --away-ms: how long a reset keeps the device off the bus (default 300).
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <time.h>

#include "uhid_reader.h"

namespace {

const vr::Track kCard[3] = {{"%B4111111111111111^TEST/CARD A^30121010000000000000?", 0},
                            {";4111111111111111=30121010000000000?", 0},
                            {"", 0}};

const std::map<std::string, vr::Mode> kModes = {
    {"kb", vr::Mode::Keyboard}, {"idtech", vr::Mode::Idtech}, {"magtek", vr::Mode::Magtek}};

const char* mode_word(vr::Mode mode) {
    for (const auto& m : kModes) {
        if (m.second == mode) {
            return m.first.c_str();
        }
    }
    return "?";
}

int64_t clock_ns() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC_RAW, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// When the last swipe-in's report went to the kernel (its device thread
// sets it).
std::atomic<int64_t> last_stamp{0};

void answer(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void print_node(kernel_test::UhidReader* reader) {
    // After a mode change the device is away for a moment: wait for it.
    const std::string node = reader ? reader->node(10000) : std::string();
    std::printf("node %s %04x\n", node.empty() ? "-" : node.c_str(),
                reader ? reader->product_id() : 0);
    std::fflush(stdout);
}

// The tracks of "T1|T2|T3" (missing ones empty).
void parse_tracks(const std::string& text, vr::Track tracks[3]) {
    size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        size_t bar = text.find('|', start);
        tracks[i].text = text.substr(start, bar == std::string::npos ? bar : bar - start);
        tracks[i].status = 0;
        start = bar == std::string::npos ? text.size() : bar + 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    kernel_test::UhidOptions options;
    std::string mode_arg = "idtech";
    bool mode_given = false, usage_error = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--away-ms" && i + 1 < argc) {
            char* end = nullptr;
            const long ms = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || ms <= 0 || ms > 60000) {
                usage_error = true;
            }
            options.restart_ms = ms;
        } else if (!mode_given && kModes.count(arg) != 0) {
            mode_arg = arg;
            mode_given = true;
        } else {
            usage_error = true;
        }
    }
    const auto mode = kModes.find(mode_arg);
    if (usage_error) {
        std::fprintf(stderr, "usage: kestro_uhid_device [kb|idtech|magtek] [--away-ms MS]\n");
        return 2;
    }
    std::string why = kernel_test::uhid_unavailable();
    if (!why.empty()) {
        std::fprintf(stderr, "kestro_uhid_device: %s\n", why.c_str());
        return 1;
    }
    auto reader = kernel_test::UhidReader::create(mode->second, options);
    if (!reader) {
        std::fprintf(stderr, "kestro_uhid_device: the kernel brought up no hidraw node\n");
        return 1;
    }
    vr::Mode last = mode->second;
    print_node(reader.get());
    for (std::string line; std::getline(std::cin, line) && line != "quit";) {
        const size_t space = line.find(' ');
        const std::string word = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (reader) {
            last = reader->with_model([](vr::ReaderModel& m) { return m.mode(); });
        }
        if (word == "swipe" || word == "swipe-in") {
            std::string cards = rest;
            long delay_ms = -1;
            if (word == "swipe-in") {
                char* end = nullptr;
                delay_ms = std::strtol(rest.c_str(), &end, 10);
                cards = *end == ' ' ? std::string(end + 1) : std::string();
                if (end == rest.c_str() || delay_ms < 0 || (*end != ' ' && *end != '\0')) {
                    answer("error swipe-in takes milliseconds");
                    continue;
                }
            }
            if (!reader) {
                answer("error the reader is unplugged");
                continue;
            }
            std::vector<vr::Track> tracks(kCard, kCard + 3);
            if (!cards.empty() || (word == "swipe" && space != std::string::npos)) {
                parse_tracks(cards, tracks.data());
            }
            if (delay_ms < 0) {
                answer("swiped " + std::to_string(reader->swipe(tracks.data()).size()));
                continue;
            }
            kernel_test::UhidReader* now = reader.get();
            // As UhidReader::swipe, with the clock read right before the write.
            now->after(delay_ms, [now, tracks] {
                const std::vector<uint8_t> report = now->with_model(
                    [&](vr::ReaderModel& m) { return m.swipe_report(tracks.data()); });
                last_stamp = clock_ns();
                now->send_input(report);
            });
            answer("swiping in " + std::to_string(delay_ms) + " ms");
        } else if (word == "input") {
            std::vector<uint8_t> report(vr::input_report_length(last), 0);
            bool hex = rest.size() % 2 == 0 && rest.size() / 2 + 1 <= report.size();
            for (size_t i = 0; hex && i < rest.size(); i += 2) {
                const char pair[3] = {rest[i], rest[i + 1], '\0'};
                char* end = nullptr;
                report[1 + i / 2] = static_cast<uint8_t>(std::strtoul(pair, &end, 16));
                hex = end == pair + 2;
            }
            if (!reader || report.empty() || !hex) {
                answer("error no such input report now");
                continue;
            }
            reader->send_input(report);
            answer("sent " + std::to_string(report.size()));
        } else if (word == "stamp") {
            answer("stamp " + std::to_string(last_stamp.load()));
        } else if (word == "clock") {
            answer("clock " + std::to_string(clock_ns()));
        } else if (word == "node") {
            print_node(reader.get());
        } else if (word == "unplug") {
            reader.reset();
            answer("unplugged");
        } else if (word == "plug") {
            const auto m = kModes.find(rest.empty() ? mode_word(last) : rest);
            if (m == kModes.end()) {
                answer("error unknown mode \"" + rest + "\"");
                continue;
            }
            reader.reset();
            reader = kernel_test::UhidReader::create(m->second, options);
            print_node(reader.get());
        } else if (word == "state") {
            char text[96];
            const std::string node = reader ? reader->node(0) : std::string();
            std::snprintf(text, sizeof text, "state %s %04X %s", mode_word(last),
                          vr::product_id(last), node.empty() ? "-" : node.c_str());
            answer(text);
        } else if (!line.empty()) {
            std::fprintf(stderr, "kestro_uhid_device: unknown command \"%s\"\n", line.c_str());
            answer("error unknown command");
        }
    }
    return 0;
}
