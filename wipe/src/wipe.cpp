#include "wipe/wipe.h"

#include <string.h>

#include <new>

namespace wipe {
namespace {

// Never destroyed: blocks are still freed while static destructors run
// (the handle table's handles, the registry's devices). Made in static
// storage, not on the heap: a library unloaded with dlclose would leave
// that block behind.
FreedBlockHook& freed_hook() {
    alignas(FreedBlockHook) static unsigned char storage[sizeof(FreedBlockHook)];
    static auto* hook = new (storage) FreedBlockHook;
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
    if (FreedBlockHook& hook = freed_hook()) {
        hook(static_cast<const uint8_t*>(data), length);
    }
    ::operator delete(data);
}

void set_freed_block_hook(FreedBlockHook hook) {
    freed_hook() = std::move(hook);
}

void clear(Bytes& bytes) {
    secure_wipe(bytes.data(), bytes.size());
    bytes.clear();
}

void erase_front(Bytes& bytes, size_t n) {
    const size_t size = bytes.size();
    if (n >= size) {
        clear(bytes);
        return;
    }
    if (n == 0) {
        return;
    }
    const size_t keep = size - n;
    memmove(bytes.data(), bytes.data() + n, keep);
    // Behind the kept bytes lie the dropped ones or a second copy of the
    // kept ones' tail: both go while they are still inside the size.
    secure_wipe(bytes.data() + keep, n);
    bytes.resize(keep);
}

}  // namespace wipe
