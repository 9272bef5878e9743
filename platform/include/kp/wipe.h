// Wiping what held card data. The input reports of a card reader carry
// track text and card numbers: every buffer of the platform that held one
// is zeroed before it is freed, dropped or reused, so that no card stays
// behind in freed memory (or in a core dump of it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <vector>

namespace kp {

// Zeroes `length` bytes at `data`, in a way the compiler keeps even when the
// memory is freed or goes out of scope right after.
void secure_wipe(void* data, size_t length);

// Wipes a block of report bytes, then frees it (::operator delete).
void free_wiped(void* data, size_t length) noexcept;

// Called by free_wiped with each block after its wipe, just before it is
// freed: what a test sees there is what freed memory keeps. Empty (the
// default): nothing is called.
using FreedReportHook = std::function<void(const uint8_t* data, size_t length)>;
void set_freed_report_hook(FreedReportHook hook);

// An allocator whose blocks are wiped when they are given back: a container
// of report bytes using it leaves nothing behind when it is popped,
// cleared, destroyed or grows.
template <typename T>
struct WipingAllocator {
    using value_type = T;

    WipingAllocator() = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}

    T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T))); }
    void deallocate(T* p, size_t n) noexcept { free_wiped(p, n * sizeof(T)); }
};

template <typename T, typename U>
bool operator==(const WipingAllocator<T>&, const WipingAllocator<U>&) {
    return true;
}
template <typename T, typename U>
bool operator!=(const WipingAllocator<T>&, const WipingAllocator<U>&) {
    return false;
}

// The bytes of one input report, or a buffer that receives them.
using ReportBytes = std::vector<uint8_t, WipingAllocator<uint8_t>>;

}  // namespace kp
