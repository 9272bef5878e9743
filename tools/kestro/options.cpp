#include "options.h"

#include <cstdio>

#include "cli.h"

namespace kcli {

int parse_group(int argc, char** argv, const std::vector<option>& longopts,
                const std::function<std::string(int, const char*)>& on_option,
                std::vector<std::string>* operands) {
    std::vector<option> all = longopts;
    all.push_back({"help", no_argument, nullptr, 'h'});
    all.push_back({nullptr, 0, nullptr, 0});
    std::string shorts = ":h";
    for (const option& o : longopts) {
        if (o.val > 0 && o.val < 128) {
            shorts += static_cast<char>(o.val);
            if (o.has_arg == required_argument) {
                shorts += ':';
            }
        }
    }
    optind = 0;  // restart the scan for this argv
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, shorts.c_str(), all.data(), nullptr)) != -1) {
        if (c == 'h') {
            std::fputs(group_help(argv[0]), stdout);
            return kOk;
        }
        if (c == '?') {
            return usage_error(std::string("unknown option '") + argv[optind - 1] + "' for " +
                               argv[0]);
        }
        if (c == ':') {
            return usage_error(std::string("option '") + argv[optind - 1] + "' needs a value");
        }
        const std::string error = on_option(c, optarg);
        if (!error.empty()) {
            return usage_error(error);
        }
    }
    operands->assign(argv + optind, argv + argc);
    return -1;
}

}  // namespace kcli
