#include "poller.h"

#include <poll.h>

#include <map>
#include <vector>

#include "lifetime.h"

namespace kp {
namespace {

struct Source {
    int fd;
    std::function<void()> on_ready;
};

std::map<PollSourceId, Source>& sources() {
    static std::map<PollSourceId, Source> s;
    return s;
}
PollSourceId next_id = 1;

}  // namespace

PollSourceId add_poll_source(int fd, std::function<void()> on_ready) {
    watch_process_end();
    PollSourceId id = next_id++;
    sources().emplace(id, Source{fd, std::move(on_ready)});
    return id;
}

void remove_poll_source(PollSourceId id) {
    sources().erase(id);
}

void poll_sources(int timeout_ms) {
    std::vector<pollfd> fds;
    std::vector<PollSourceId> ids;
    for (const auto& [id, src] : sources()) {
        fds.push_back(pollfd{src.fd, POLLIN, 0});
        ids.push_back(id);
    }
    if (fds.empty()) {
        if (timeout_ms > 0) {
            poll(nullptr, 0, timeout_ms);
        }
        return;
    }
    if (poll(fds.data(), fds.size(), timeout_ms) <= 0) {
        return;
    }
    for (size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        // A callback may remove sources, its own included: look it up again.
        auto it = sources().find(ids[i]);
        if (it != sources().end()) {
            auto cb = it->second.on_ready;
            cb();
        }
    }
}

}  // namespace kp
