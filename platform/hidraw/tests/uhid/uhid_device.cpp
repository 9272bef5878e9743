// A fake card reader made through /dev/uhid, for trying installed programs
// against a real kernel and udev: it answers the feature reports (a mode
// change and reset bring it back under the new mode's product id) and swipes
// a test card on request. Commands come one a line on standard input:
//   swipe   a test card in the current mode
//   node    prints "node /dev/hidrawN PPPP" once the device is up
//   quit    (or the end of the input) unplugs the device and ends
//   kestro_uhid_device [kb|idtech|magtek]      (default idtech)
#include <cstdio>
#include <iostream>
#include <map>
#include <string>

#include "uhid_reader.h"

namespace {

const vr::Track kCard[3] = {{"%B4111111111111111^TEST/CARD A^30121010000000000000?", 0},
                            {";4111111111111111=30121010000000000?", 0},
                            {"", 0}};

void print_node(kernel_test::UhidReader& reader) {
    // After a mode change the device is away for a moment: wait for it.
    const std::string node = reader.node(10000);
    std::printf("node %s %04x\n", node.empty() ? "-" : node.c_str(), reader.product_id());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const std::map<std::string, vr::Mode> modes = {
        {"kb", vr::Mode::Keyboard}, {"idtech", vr::Mode::Idtech}, {"magtek", vr::Mode::Magtek}};
    const auto mode = modes.find(argc > 1 ? argv[1] : "idtech");
    if (argc > 2 || mode == modes.end()) {
        std::fprintf(stderr, "usage: kestro_uhid_device [kb|idtech|magtek]\n");
        return 2;
    }
    std::string why = kernel_test::uhid_unavailable();
    if (!why.empty()) {
        std::fprintf(stderr, "kestro_uhid_device: %s\n", why.c_str());
        return 1;
    }
    auto reader = kernel_test::UhidReader::create(mode->second);
    if (!reader) {
        std::fprintf(stderr, "kestro_uhid_device: the kernel brought up no hidraw node\n");
        return 1;
    }
    print_node(*reader);
    for (std::string line; std::getline(std::cin, line) && line != "quit";) {
        if (line == "swipe") {
            reader->swipe(kCard);
        } else if (line == "node") {
            print_node(*reader);
        } else if (!line.empty()) {
            std::fprintf(stderr, "kestro_uhid_device: unknown command \"%s\"\n", line.c_str());
        }
    }
    return 0;
}
