// Sources of devices other than those attached in process: readers served
// by another process over a local socket, kernel hidraw nodes. Each backend
// brings its devices up to date (attaching new ones, detaching vanished
// ones) whenever the platform enumerates, and may watch descriptors while
// the platform waits (see add_poll_source).
#pragma once

#include <functional>
#include <memory>

namespace kp {

class Backend {
  public:
    virtual ~Backend() = default;
    // Called at the start of every enumeration.
    virtual void scan() = 0;
};

// Registers a backend; it scans from the next enumeration on.
void register_backend(std::shared_ptr<Backend> backend);
// Removes every backend (tests start from none).
void clear_backends();
// Runs every backend's scan (the enumeration calls this).
void scan_backends();

// The backends a program gets by default on this system (the served-reader
// sockets and hidraw). They are registered on first use of the platform
// unless a test cleared them first.
void register_system_backends();

// Descriptors watched while the platform waits: `on_ready` runs when `fd`
// is readable or hung up, from inside a wait, a sleep or a blocking read.
using PollSourceId = int;
PollSourceId add_poll_source(int fd, std::function<void()> on_ready);
void remove_poll_source(PollSourceId id);

}  // namespace kp
