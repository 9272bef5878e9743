#include "kp/wipe.h"

#include <string.h>

namespace kp {
namespace {

// Never destroyed: blocks are still freed while static destructors run
// (the handle table's handles, the registry's devices).
FreedReportHook& freed_hook() {
    static auto* hook = new FreedReportHook;
    return *hook;
}

}  // namespace

void secure_wipe(void* data, size_t length) {
    if (data == nullptr || length == 0) {
        return;
    }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 25))
    explicit_bzero(data, length);
#else
    // Stores through a volatile pointer are never dropped as dead.
    volatile auto* p = static_cast<volatile unsigned char*>(data);
    for (size_t i = 0; i < length; ++i) {
        p[i] = 0;
    }
#endif
}

void free_wiped(void* data, size_t length) noexcept {
    secure_wipe(data, length);
    if (FreedReportHook& hook = freed_hook()) {
        hook(static_cast<const uint8_t*>(data), length);
    }
    ::operator delete(data);
}

void set_freed_report_hook(FreedReportHook hook) {
    freed_hook() = std::move(hook);
}

}  // namespace kp
