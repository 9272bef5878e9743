// Where served readers put their sockets, and which of those directories and
// sockets a process may trust. Socket names in the directory: NAME.sock for
// hosts (the platform's served backend), NAME.ctl for the reader program's
// own command line.
#pragma once

#include <string>

namespace served {

// The environment variable that asks a process to look for served readers,
// and whether it does ("1"). Read with secure_getenv, so a set-user-id
// program never takes card data from sockets because its caller asked.
inline constexpr const char kRequestVariable[] = "KESTRO_VIRTUAL_READERS";
bool readers_requested();

// How long a host waits for a reader's answer: 2000 ms, or what the
// environment variable KESTRO_SERVED_TIMEOUT_MS gives (1 to 60000, read
// with secure_getenv). A value that is not such a number is not used: the
// default then, and *problem says why in one sentence ("" otherwise).
inline constexpr const char kTimeoutVariable[] = "KESTRO_SERVED_TIMEOUT_MS";
constexpr int kDefaultAnswerMs = 2000;
constexpr int kMaxAnswerMs = 60000;
int answer_timeout_ms(std::string* problem);

// The directory set with set_reader_dir, else $XDG_RUNTIME_DIR/kestro,
// else /tmp/kestro-<uid>.
std::string reader_dir();
// Overrides that directory ("" goes back to the default).
void set_reader_dir(const std::string& dir);

// The socket paths of the reader called `name` in `dir`.
std::string host_socket(const std::string& dir, const std::string& name);
std::string control_socket(const std::string& dir, const std::string& name);

// Whether a reader name is acceptable: 1 to 32 of A-Z a-z 0-9 _ - and ., not
// starting with a dot.
bool name_valid(const std::string& name);

// Whether `path` may be trusted as a served reader's directory (a real
// directory) or socket: owned by this user and writable by no one else. A
// reader found elsewhere could feed forged cards into a host's session.
bool dir_trusted(const std::string& path);
bool socket_trusted(const std::string& path);

// Why `dir` cannot serve as the readers' directory, in words for the user:
// which folder, what is wrong with it and whose it is, and how to avoid it
// (a private XDG_RUNTIME_DIR, when the folder is the fallback in /tmp that
// any user could have made first). "" when it is trusted or missing.
std::string dir_problem(const std::string& dir);

}  // namespace served
