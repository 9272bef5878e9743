// The command line's side of the control socket: swipe, status, unplug and
// plug on a running reader.
#pragma once

#include <string>

#include "options.h"

namespace vrp {

// Runs a command on the reader `options.name` in `dir`, printing status to
// standard output and errors in one line to standard error. Returns the
// exit code.
int run_control_command(const std::string& dir, const Options& options);

}  // namespace vrp
