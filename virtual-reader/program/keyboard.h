// Keyboard-mode output: what the reader types for a swipe goes to the
// focused window through the X server's test extension when a display
// answers, and otherwise to standard output.
#pragma once

#include <string>

namespace vrp {

// Types `keys` (a carriage return is the Enter key). Returns where it went:
// "display" or "stdout".
const char* type_keys(const std::string& keys);

// Types into the X display named by $DISPLAY; false when there is none, it
// does not answer, or it lacks the test extension.
bool type_on_display(const std::string& keys);

}  // namespace vrp
