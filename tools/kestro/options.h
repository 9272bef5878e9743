// Options of one command group, parsed with getopt_long.
#pragma once

#include <getopt.h>

#include <functional>
#include <string>
#include <vector>

namespace kcli {

// Parses argv (argv[0] the group's word) against `longopts` (without
// --help, which every group has, also as -h). Options are long ones only;
// an abbreviation that names one option alone stands for it. `on_option`
// gets each option's `val` from `longopts` and its value, and returns an
// error text, empty when the value is good. Errors name the option as
// written. The operands land in
// *operands. Returns -1 to go on, else the exit code (help printed, or bad
// usage reported).
int parse_group(int argc, char** argv, const std::vector<option>& longopts,
                const std::function<std::string(int, const char*)>& on_option,
                std::vector<std::string>* operands);

}  // namespace kcli
