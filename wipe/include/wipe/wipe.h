// Wiping what held card data. Input reports of a card reader and the swipes
// of a virtual one carry track text and card numbers: every buffer that held
// them is zeroed before it is freed, dropped or reused, so that no card
// stays behind in freed memory (or in a core dump of it). Shared by the
// platform layer, the served readers' protocol and the virtual reader; it
// needs nothing but the C++ standard library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <vector>

namespace wipe {

// Zeroes `length` bytes at `data`, in a way the compiler keeps even when the
// memory is freed or goes out of scope right after.
void secure_wipe(void* data, size_t length);

// Wipes a block, then frees it (::operator delete).
void free_wiped(void* data, size_t length) noexcept;

// Called by free_wiped with each block after its wipe, just before it is
// freed: what a test sees there is what freed memory keeps. Empty (the
// default): nothing is called.
using FreedBlockHook = std::function<void(const uint8_t* data, size_t length)>;
void set_freed_block_hook(FreedBlockHook hook);

// An allocator whose blocks are wiped when they are given back: a container
// of card data using it leaves nothing behind when it is popped, cleared,
// destroyed or grows.
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

// Bytes that may hold card data (an input report, a frame, a buffer that
// receives them), and text that may (a track).
using Bytes = std::vector<uint8_t, WipingAllocator<uint8_t>>;
using Text = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;

// Empties `bytes` after wiping them; the block stays, all zeros.
void clear(Bytes& bytes);
// Drops the first `n` bytes (all of them if there are fewer): the rest moves
// to the front and nothing of what was dropped, nor the copy the move
// leaves behind the new end, stays in the block.
void erase_front(Bytes& bytes, size_t n);

}  // namespace wipe
