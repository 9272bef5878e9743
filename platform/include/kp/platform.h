// Controls of the platform layer that tests and tools use: where the current
// drive's root lies, how many handles are open, and a hook that runs inside
// CancelIo to reproduce a report that arrives just before the cancel.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace kp {

// Directory that stands for the root of the current drive ("\\name" paths).
// At first use it is what the environment gives; tests point it at their own
// temporary directory.
void set_drive_root(const std::string& dir);
const std::string& drive_root();

// KESTRO_TRACE_DIR names the drive root, so that a user who cannot write to
// "/" can still have a trace (the trace file must exist there, as always).
inline constexpr const char kDriveRootVariable[] = "KESTRO_TRACE_DIR";
// That variable's value when it is an absolute path, else "/". Read with
// secure_getenv: a set-user-id program keeps "/".
std::string drive_root_from_environment();

// Number of handles of any kind (devices, files, events, device sets) open.
size_t open_handle_count();

// Runs `hook` once, at the start of the next CancelIo call.
void on_next_cancel(std::function<void()> hook);

// Puts the platform in the state tests start from: real clock, drive root
// "/", no devices, no backends (not even the system's), no hooks, no
// armed faults. Open
// handles stay open.
void reset_platform();

}  // namespace kp
