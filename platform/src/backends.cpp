#include "kp/backend.h"

#include <vector>

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

void register_system_backends() {
    for (size_t i = 0; i < kSystemBackends.count; ++i) {
        const BackendKind& kind = kSystemBackends.kinds[i];
        if (kind.wanted == nullptr || kind.wanted()) {
            register_backend(kind.make());
        }
    }
}

}  // namespace kp
