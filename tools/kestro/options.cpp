#include "options.h"

#include <cstdio>

#include "cli.h"

namespace kcli {
namespace {

// getopt_long gives each long option the value 256 + its index, so that no
// letter stands for one: the groups take long options only (and -h).
constexpr int kFirstLong = 256;
constexpr int kHelp = 'h';

// The option an error is about, as it was written: a long one without its
// "=value", or a short one from its letter (argv[optind - 1] is not the
// option when the letter stood inside a cluster such as -xn).
std::string named_option(char** argv, const std::vector<option>& all) {
    if (optopt >= kFirstLong && optopt - kFirstLong < static_cast<int>(all.size())) {
        return std::string("--") + all[static_cast<size_t>(optopt - kFirstLong)].name;
    }
    if (optopt == kHelp) {
        return "--help";
    }
    if (optopt != 0) {
        return std::string("-") + static_cast<char>(optopt);
    }
    std::string written = argv[optind - 1];
    return written.substr(0, written.find('='));
}

}  // namespace

int parse_group(int argc, char** argv, const std::vector<option>& longopts,
                const std::function<std::string(int, const char*)>& on_option,
                std::vector<std::string>* operands) {
    std::vector<option> all;
    for (size_t i = 0; i < longopts.size(); ++i) {
        all.push_back(
            {longopts[i].name, longopts[i].has_arg, nullptr, kFirstLong + static_cast<int>(i)});
    }
    all.push_back({"help", no_argument, nullptr, kHelp});
    all.push_back({nullptr, 0, nullptr, 0});
    optind = 0;  // restart the scan for this argv
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":h", all.data(), nullptr)) != -1) {
        if (c == kHelp) {
            std::fputs(group_help(argv[0]), stdout);
            return kOk;
        }
        if (c == '?') {
            const std::string name = named_option(argv, all);
            if (optopt != 0 && name.compare(0, 2, "--") == 0) {
                return usage_error("option '" + name + "' takes no value");
            }
            return usage_error("unknown option '" + name + "' for " + argv[0]);
        }
        if (c == ':') {
            return usage_error("option '" + named_option(argv, all) + "' needs a value");
        }
        const std::string error =
            on_option(longopts[static_cast<size_t>(c - kFirstLong)].val, optarg);
        if (!error.empty()) {
            return usage_error(error);
        }
    }
    operands->assign(argv + optind, argv + argc);
    return -1;
}

}  // namespace kcli
