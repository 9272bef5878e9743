#include "alloc_counter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
}

namespace {
std::atomic<uint64_t> count{0};
}

namespace bench {
uint64_t allocations() {
    return count.load();
}
}  // namespace bench

extern "C" void* malloc(size_t n) {
    count.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}

extern "C" void* calloc(size_t n, size_t size) {
    count.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}

extern "C" void* realloc(void* p, size_t n) {
    count.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
