// What every feature command shares: the 25-byte frame and the walk over
// the matched slots (handle set, product id equal to the selected Pid), in
// slot order from slot 0.
#pragma once

#include <string.h>

#include "state.h"

namespace kestro {

// An all-zero frame with the command code in byte 1 (byte 0 is report id 0).
inline void frame_init(unsigned char frame[MR_FEATURE_LEN], unsigned char code) {
    memset(frame, 0, MR_FEATURE_LEN);
    frame[1] = code;
}

// Calls `visit(i)` for each matched slot i in order while it returns true.
template <typename Visit>
void for_each_matched_slot(Visit visit) {
    for (int32_t i = 0; i < hdc; ++i) {
        if (matched_slot(i) && !visit(i)) {
            return;
        }
    }
}

// Sends one frame to every matched slot; the outcome is that of the last
// one. `entry` is the per-slot trace format (slot, handle, outcome).
BOOL send_to_matched_slots(const unsigned char frame[MR_FEATURE_LEN], const char* entry);

// The access check of the statistics writes: 0 passes, 4 a value below the
// window, 5 above it. v = now + pw2 - idx - pw1, wrapping in 32 bits.
int32_t access_check(int32_t now, int32_t idx, int32_t pw1, int32_t pw2);

}  // namespace kestro
