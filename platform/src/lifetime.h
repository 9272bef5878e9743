// Internal side of process_ending() (kp/backend.h).
#pragma once

namespace kp {

// Builds the registry's and the poller's tables, then registers the handler
// that marks the process as ending. Handlers registered with atexit and
// static objects built before them are undone in reverse order, so the flag
// is set before those tables are destroyed. Called before the first device
// is attached and the first poll source added; later calls do nothing.
void watch_process_end();

}  // namespace kp
