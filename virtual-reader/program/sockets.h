// Local stream sockets and the private runtime directory of the program.
#pragma once

#include <sys/types.h>

#include <string>

namespace vrp {

// Makes `dir` (mode 0700) if it is missing, tightens it to 0700 if it is
// ours and looser. False with a reason when it is not a directory of ours:
// which folder, whose it is, and how to avoid it.
bool make_private_dir(const std::string& dir, std::string* error);

// How long a server already at a socket gets to take the connection that
// tells it is alive, and how long a command waits to reach its reader.
constexpr int kConnectTimeoutMs = 2000;

// A listening socket at `path`, readable and writable by this user only;
// *inode is the socket file's. A socket file that refuses connections
// (left by a killed server) is replaced. One whose server is alive is
// never touched, even when it takes no connection in time (stopped, its
// backlog full) or the check is interrupted by a signal. -1 with a reason
// on failure.
int listen_at(const std::string& path, ino_t* inode, std::string* error);

// Removes the socket file at `path` if it is still the one with `inode`
// (a later server may have replaced it).
void unlink_socket(const std::string& path, ino_t inode);

// A connected non-blocking socket, waiting at most kConnectTimeoutMs for a
// busy server; -1 when no reader takes the connection.
int connect_to(const std::string& path);

}  // namespace vrp
