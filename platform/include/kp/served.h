// Readers served by another process (the kestro-virtual-reader program)
// over local stream sockets in a private runtime directory. The backend
// connects to every reader socket it finds there at each enumeration and
// attaches one HID device per reader; a reader whose connection ends leaves
// the enumeration and its pending reads fail. No thread: input reports are
// read inside the platform's waits, and feature reports are synchronous
// request/answer exchanges with a bounded wait.
//
// Socket names in the directory: NAME.sock for hosts (this backend), and
// NAME.ctl for the program's own command line.
#pragma once

#include <memory>
#include <string>

#include "kp/backend.h"

namespace kp {

// Where served readers put their sockets: the directory set with
// set_served_reader_dir, else $XDG_RUNTIME_DIR/kestro, else
// /tmp/kestro-<uid>.
std::string served_reader_dir();
// Overrides that directory ("" goes back to the default).
void set_served_reader_dir(const std::string& dir);

// The socket paths of the reader called `name` in `dir`.
std::string served_host_socket(const std::string& dir, const std::string& name);
std::string served_control_socket(const std::string& dir, const std::string& name);

// Whether a reader name is acceptable: 1 to 32 of A-Z a-z 0-9 _ - and ., not
// starting with a dot.
bool served_name_valid(const std::string& name);

// Whether `path` may be trusted as a served reader's directory (a real
// directory) or socket: owned by this user and writable by no one else. A
// reader found elsewhere could feed forged cards into this session.
bool served_dir_trusted(const std::string& path);
bool served_socket_trusted(const std::string& path);

// The backend. With an empty `dir` it looks in served_reader_dir() at each
// scan; register it with register_backend (the system backends include one).
std::shared_ptr<Backend> make_served_backend(const std::string& dir = "");

// Longest real-time wait for a reader's answer to a hello or a feature
// report (default 2000 ms); a reader that does not answer in time is taken
// as gone. Tests shorten it.
void set_served_timeout_ms(int ms);
int served_timeout_ms();

}  // namespace kp
