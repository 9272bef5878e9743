// Readers served by another process (the kestro-virtual-reader program)
// over local stream sockets in a private runtime directory. The backend
// connects to every reader socket it finds there at each enumeration and
// attaches one HID device per reader; a reader whose connection ends leaves
// the enumeration and its pending reads fail. No thread: input reports are
// read inside the platform's waits, and feature reports are synchronous
// request/answer exchanges with a bounded wait.
//
// The directory and its socket names: served/paths.h.
#pragma once

#include <memory>
#include <string>

#include "kp/backend.h"

namespace kp {

// The backend. With an empty `dir` it looks in served::reader_dir() at each
// scan; register it with register_backend (the system backends include one).
std::shared_ptr<Backend> make_served_backend(const std::string& dir = "");

// Longest real-time wait for a reader's answer to a hello or a feature
// report (default 2000 ms, or KESTRO_SERVED_TIMEOUT_MS); a reader that does
// not answer in time is taken as gone. Tests shorten it; 0 goes back to the
// default.
void set_served_timeout_ms(int ms);
int served_timeout_ms();

}  // namespace kp
