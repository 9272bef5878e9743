#include "handles.h"

#include <cstdint>
#include <vector>

#include "kp/platform.h"

namespace kp {
namespace {

std::vector<std::unique_ptr<Object>>& table() {
    static std::vector<std::unique_ptr<Object>> objects;
    return objects;
}

// Handle value of slot i is 4 * (i + 1); null and odd values are never used.
bool slot_of(HANDLE h, size_t* slot) {
    auto v = reinterpret_cast<uintptr_t>(h);
    if (v == 0 || v % 4 != 0) {
        return false;
    }
    *slot = v / 4 - 1;
    return *slot < table().size() && table()[*slot] != nullptr;
}

}  // namespace

HANDLE handle_insert(std::unique_ptr<Object> object) {
    auto& t = table();
    size_t slot = 0;
    while (slot < t.size() && t[slot] != nullptr) {
        ++slot;
    }
    if (slot == t.size()) {
        t.emplace_back();
    }
    t[slot] = std::move(object);
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(4 * (slot + 1)));
}

Object* handle_object(HANDLE h) {
    size_t slot = 0;
    return slot_of(h, &slot) ? table()[slot].get() : nullptr;
}

bool handle_erase(HANDLE h) {
    size_t slot = 0;
    if (!slot_of(h, &slot)) {
        return false;
    }
    // Move out first: the destructor may look at the table.
    std::unique_ptr<Object> doomed = std::move(table()[slot]);
    doomed.reset();
    return true;
}

size_t& live_preparsed_data();

size_t open_handle_count() {
    size_t n = live_preparsed_data();
    for (const auto& o : table()) {
        n += o != nullptr;
    }
    return n;
}

}  // namespace kp
