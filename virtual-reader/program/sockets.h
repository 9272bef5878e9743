// Local stream sockets and the private runtime directory of the program.
#pragma once

#include <string>

namespace vrp {

// Makes `dir` (mode 0700) if it is missing, tightens it to 0700 if it is
// ours and looser. False with a reason when it is not a directory of ours.
bool make_private_dir(const std::string& dir, std::string* error);

// A listening socket at `path`, readable and writable by this user only.
// A stale socket file left by a killed server is replaced; a live one is
// not (another server has that name). -1 with a reason on failure.
int listen_at(const std::string& path, std::string* error);

// Whether a server answers at `path`.
bool someone_listens(const std::string& path);

// A connected (blocking) socket, or -1.
int connect_to(const std::string& path);

}  // namespace vrp
