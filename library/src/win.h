// The Windows API as the library sees it: the real headers on Windows, the
// platform layer's stand-in elsewhere.
#pragma once

#ifdef _WIN32
#include <windows.h>
// windows.h first: the setup and HID headers build on its types.
#include <setupapi.h>
// MinGW's HID headers lack C linkage guards.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}
#else
#include "kp/winapi.h"
#endif

#include <stdint.h>
#include <time.h>

namespace kestro {

// The library's clock in whole seconds since 1970 (the platform's clock where
// it stands in for Windows, so tests can make it virtual).
inline int32_t clock_now() {
#ifdef _WIN32
    return static_cast<int32_t>(time(nullptr));
#else
    return static_cast<int32_t>(kp_time());
#endif
}

// Handles and addresses as the trace prints them: their low 32 bits, so every
// system shows eight hex digits and an invalid handle shows as FFFFFFFF.
inline uint32_t P(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

}  // namespace kestro
