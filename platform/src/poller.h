// Sources of events outside the process (sockets of served readers, hidraw
// nodes) that the platform watches while it waits, so that no thread is
// needed: a wait polls their descriptors and lets them pump what arrived.
#pragma once

#include <functional>

namespace kp {

using PollSourceId = int;

// `fd` is watched for input; `on_ready` runs when it is readable or hung up.
PollSourceId add_poll_source(int fd, std::function<void()> on_ready);
void remove_poll_source(PollSourceId id);

// Waits up to `timeout_ms` (0: just look) for any source to become ready and
// runs the callbacks of those that are. With no sources it just sleeps.
void poll_sources(int timeout_ms);

}  // namespace kp
