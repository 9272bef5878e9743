#include "lifetime.h"

#include <cstdlib>

#include "kp/backend.h"
#include "registry.h"

namespace kp {
namespace {

bool ending = false;

}  // namespace

bool process_ending() {
    return ending;
}

void watch_process_end() {
    static bool watching = false;
    if (watching) {
        return;
    }
    watching = true;
    // Each of these builds a table it looks at.
    attached_devices();
    find_device("");
    device_attached(nullptr);
    remove_poll_source(0);
    std::atexit([] { ending = true; });
}

}  // namespace kp
