#include "kp/platform.h"

#include "hooks.h"
#include "kp/backend.h"
#include "kp/clock.h"
#include "kp/device.h"
#include "kp/faults.h"
#include "kp/wipe.h"

namespace kp {

std::function<void()>& cancel_hook() {
    static std::function<void()> hook;
    return hook;
}

void on_next_cancel(std::function<void()> hook) {
    cancel_hook() = std::move(hook);
}

void reset_platform() {
    clear_backends();
    clock_use_real();
    set_drive_root("/");
    detach_all_devices();
    cancel_hook() = nullptr;
    clear_faults();
    set_freed_report_hook(nullptr);
}

}  // namespace kp

int64_t kp_time(void) {
    return kp::clock_time();
}
