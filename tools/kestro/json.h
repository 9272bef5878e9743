// JSON text for the commands' --format json.
#pragma once

#include <string>

namespace kcli {

// A JSON string: quotes and backslashes escaped, every byte outside
// printable ASCII as \u00XX (upper-case hex; bytes past ASCII taken as
// Latin-1 characters).
std::string json_string(const std::string& s);

}  // namespace kcli
