// Counts heap allocations made through malloc, calloc, realloc and operator
// new in this process (glibc), so a benchmark can report allocations per call.
#pragma once

#include <cstdint>

namespace bench {
uint64_t allocations();
}
