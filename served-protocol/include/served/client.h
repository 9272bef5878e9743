// The client side of a served reader's sockets, written once for every
// client: the platform's served backend, the reader program's command line
// and its start-up check, the kestro command's listing and the test harness.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "served/protocol.h"

namespace served {

// What became of a connect.
enum class Connect {
    Connected,
    Missing,  // no socket file at that path
    Refused,  // the file is there but no one listens: a socket left behind
    Busy,     // someone listens but took no connection in time (a full backlog)
    Failed,   // anything else (a path too long, no permission, ...)
};

// Connects to the local stream socket at `path`, waiting at most
// `timeout_ms` for a listener whose backlog is full (0: one try). Never
// blocks longer than that, whatever the server does, and a signal does not
// cut the wait short. The socket is non-blocking and close-on-exec; -1 when
// not connected, with the reason in *result when given.
int connect_socket(const std::string& path, int timeout_ms, Connect* result = nullptr);

// The user the process at the other end of a connected local socket ran as
// when it connected or listened (SO_PEERCRED). False when it cannot be told.
bool peer_uid(int fd, uid_t* uid);
// Whether that is this process's effective user. A socket file can be ours
// while another user's process listens behind it: that reader could feed
// forged cards, so it is never trusted.
bool peer_is_us(int fd);

// The names of the readers whose host socket (NAME.sock) is in `dir`, valid
// names only, sorted so that the order does not depend on the file system.
std::vector<std::string> reader_names(const std::string& dir);
// Whether `dir` holds a host socket of any name.
inline bool has_readers(const std::string& dir) {
    return !reader_names(dir).empty();
}

// The hello exchange from the client's side.
enum class Probe {
    Answered,      // *theirs holds the reader's hello
    OtherVersion,  // the reader speaks *version, not ours
    Closed,        // it closed the connection without a hello
    Silent,        // no hello within the time, or something else than one
};
// Sends this side's hello on `fd` (a socket from connect_socket) and waits
// at most `timeout_ms` for the reader's. Nothing but a hello is expected
// first, so other messages make it Silent.
Probe probe_hello(int fd, int timeout_ms, Hello* theirs, uint16_t* version = nullptr);

// Sends a whole frame on a non-blocking socket, waiting for room at most
// until `timeout_ms` have passed. False when the peer is gone or too slow.
bool send_all(int fd, const Bytes& frame, int timeout_ms);

// Milliseconds of a steady clock, for deadlines.
int64_t steady_ms();

}  // namespace served
