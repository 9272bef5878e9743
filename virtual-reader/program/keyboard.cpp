#include "keyboard.h"

#include <cstdio>
#include <cstdlib>

namespace vrp {

const char* type_keys(const std::string& keys) {
    if (type_on_display(keys)) {
        return "display";
    }
    // On a terminal the Enter key ends a line.
    for (char c : keys) {
        std::fputc(c == '\r' ? '\n' : c, stdout);
    }
    std::fflush(stdout);
    return "stdout";
}

}  // namespace vrp
