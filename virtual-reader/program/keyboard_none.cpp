// Built without the X libraries: keyboard mode always types to standard
// output.
#include "keyboard.h"

namespace vrp {

bool type_on_display(const std::string&) {
    return false;
}

}  // namespace vrp
