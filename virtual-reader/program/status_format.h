// The reader's status as the command line shows it: text for people, JSON
// for scripts and tests.
#pragma once

#include <string>

#include "served/protocol.h"

namespace vrp {

std::string format_status(const std::string& name, const served::Status& status);
std::string format_status_json(const std::string& name, const served::Status& status);

// Text for a terminal: every byte outside printable ASCII, and the
// backslash, as \xNN.
std::string printable(const std::string& text);

}  // namespace vrp
