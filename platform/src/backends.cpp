#include <vector>

#include "kp/backend.h"
#include "kp/hidraw.h"
#include "kp/served.h"
#include "served/paths.h"

namespace kp {
namespace {

struct Backends {
    std::vector<std::shared_ptr<Backend>> list;
    bool system_registered = false;
};

Backends& backends() {
    static Backends b;
    return b;
}

}  // namespace

void register_backend(std::shared_ptr<Backend> backend) {
    backends().list.push_back(std::move(backend));
}

void clear_backends() {
    backends().list.clear();
    backends().system_registered = true;  // and keep the system's away
}

void scan_backends() {
    if (!backends().system_registered) {
        backends().system_registered = true;
        register_system_backends();
    }
    // A scan may register nothing new, but copy in case it does.
    auto list = backends().list;
    for (const auto& b : list) {
        b->scan();
    }
}

// The kernel's hidraw nodes, and served readers only when the environment
// asks for them: a program that loads the library does not expect card data
// from local sockets.
void register_system_backends() {
    if (served::readers_requested()) {
        register_backend(make_served_backend());
    }
    register_backend(make_hidraw_backend());
}

}  // namespace kp
