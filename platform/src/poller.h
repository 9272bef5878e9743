// Internal side of the poll sources of kp/backend.h.
#pragma once

#include "kp/backend.h"

namespace kp {

// Waits up to `timeout_ms` (0: just look) for any source to become ready and
// runs the callbacks of those that are. With no sources it just sleeps.
void poll_sources(int timeout_ms);

}  // namespace kp
