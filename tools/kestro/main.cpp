// kestro: the card reader from the command line, through libkestro's exports.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.h"

namespace {

struct Group {
    const char* word;
    int (*run)(int, char**);
};

const Group kGroups[] = {
    {"list", kcli::run_list},     {"read", kcli::run_read},   {"mode", kcli::run_mode},
    {"config", kcli::run_config}, {"stats", kcli::run_stats},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return kcli::usage_error("no command given");
    }
    const std::string first = argv[1];
    if (first == "-h" || first == "--help" || first == "help") {
        std::fputs(kcli::help_text(), stdout);
        return kcli::kOk;
    }
    if (first == "-V" || first == "--version") {
        std::printf("kestro %s\n", KESTRO_VERSION);
        return kcli::kOk;
    }
    for (const Group& g : kGroups) {
        if (first == g.word) {
            kcli::set_usage_group(g.word);
            return g.run(argc - 1, argv + 1);
        }
    }
    if (!first.empty() && first[0] == '-') {
        return kcli::usage_error("unknown option '" + first + "'");
    }
    return kcli::usage_error("unknown command '" + first + "'");
}
