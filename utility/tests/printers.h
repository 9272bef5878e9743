// Readable test failure output for the logic's value types.
#ifndef KESTRO_UTILITY_TESTS_PRINTERS_H
#define KESTRO_UTILITY_TESTS_PRINTERS_H

#include <ostream>

#include "../logic/controls.h"

namespace kestro {

inline void PrintTo(const Control& c, std::ostream* os) {
    *os << c.name;
    if (c.index >= 0) {
        *os << '(' << c.index << ')';
    }
}

inline void PrintTo(const Twips& t, std::ostream* os) {
    *os << '{' << t.left << ", " << t.top << ", " << t.width << ", " << t.height << '}';
}

inline void PrintTo(const Rgb& c, std::ostream* os) {
    *os << "RGB(" << int{c.red} << ", " << int{c.green} << ", " << int{c.blue} << ')';
}

}  // namespace kestro

#endif
