// Sources of devices other than those attached in process: readers served
// by another process over a local socket, kernel hidraw nodes. Each backend
// brings its devices up to date (attaching new ones, detaching vanished
// ones) whenever the platform enumerates, and may watch descriptors while
// the platform waits (see add_poll_source).
#pragma once

#include <cstddef>
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

// One row of the system's backend table: a kind of backend that a program
// gets by default. Like a USB library's per-system backend structure, the
// table is declared here and defined outside the core, by the composition
// of the system's backends (platform/system_backends.cpp), so the core
// names no backend and calls none of their functions.
struct BackendKind {
    const char* name;                    // "hidraw", "served": for diagnosis
    bool (*wanted)();                    // whether this process gets it; null: always
    std::shared_ptr<Backend> (*make)();  // a new backend of this kind
};
struct BackendTable {
    const BackendKind* kinds;  // in the order they scan
    size_t count;
};
extern const BackendTable kSystemBackends;

// Registers a backend of every wanted kind of kSystemBackends. The platform
// does this at its first enumeration, unless a test cleared the backends
// first.
void register_system_backends();

// Whether the process is ending: static destructors are running, and the
// device registry and the poll sources may already be gone. A backend's
// devices and channels then only release their own descriptors (close
// their files and sockets) and leave the registry and the poller alone.
// Reliable for every device attached and every poll source added.
bool process_ending();

// Descriptors watched while the platform waits: `on_ready` runs when `fd`
// is readable or hung up, from inside a wait, a sleep or a blocking read.
using PollSourceId = int;
PollSourceId add_poll_source(int fd, std::function<void()> on_ready);
void remove_poll_source(PollSourceId id);

}  // namespace kp
