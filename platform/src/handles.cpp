#include "handles.h"

#include <cstdint>
#include <set>
#include <vector>

#include "kp/platform.h"

namespace kp {
namespace {

std::vector<std::unique_ptr<Object>>& table() {
    static std::vector<std::unique_ptr<Object>> objects;
    return objects;
}

// Free slots below table().size(), lowest first.
std::set<size_t>& free_slots() {
    static std::set<size_t> slots;
    return slots;
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
    size_t slot = t.size();
    if (!free_slots().empty()) {
        slot = *free_slots().begin();
        free_slots().erase(free_slots().begin());
    } else {
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
    free_slots().insert(slot);
    doomed.reset();
    return true;
}

size_t& live_preparsed_data();

size_t open_handle_count() {
    return live_preparsed_data() + table().size() - free_slots().size();
}

}  // namespace kp
