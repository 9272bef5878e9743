#include "events.h"

#include <map>

#include "kp/clock.h"
#include "kp/faults.h"

namespace kp {
namespace {

// Named events of this process, by name; the entry lives while a handle does.
std::map<std::string, std::weak_ptr<EventState>>& named_events() {
    static std::map<std::string, std::weak_ptr<EventState>> m;
    return m;
}

}  // namespace

Event::~Event() {
    if (!state_->name.empty() && state_.use_count() == 1) {
        named_events().erase(state_->name);
    }
}

void signal_event(HANDLE h) {
    if (auto* e = handle_as<Event>(h)) {
        e->state().signalled = true;
    }
}

void consume_signal(HANDLE h) {
    if (auto* e = handle_as<Event>(h); e != nullptr && !e->state().manual_reset) {
        e->state().signalled = false;
    }
}

}  // namespace kp

using kp::Event;
using kp::EventState;

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manual_reset, BOOL initial_state, LPCSTR name) {
    if (kp::fault_due(kp::Call::EventCreate)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::shared_ptr<EventState> state;
    bool existed = false;
    if (name != nullptr && *name != '\0') {
        auto& named = kp::named_events();
        auto it = named.find(name);
        if (it != named.end()) {
            state = it->second.lock();
            existed = state != nullptr;
        }
    }
    if (!state) {
        state = std::make_shared<EventState>();
        state->manual_reset = manual_reset != 0;
        state->signalled = initial_state != 0;
        if (name != nullptr && *name != '\0') {
            state->name = name;
            kp::named_events()[name] = state;
        }
    }
    HANDLE h = kp::handle_insert(std::make_unique<Event>(state));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

BOOL SetEvent(HANDLE h) {
    auto* e = kp::handle_as<Event>(h);
    if (e == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    e->state().signalled = true;
    return TRUE;
}

BOOL ResetEvent(HANDLE h) {
    auto* e = kp::handle_as<Event>(h);
    if (e == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    e->state().signalled = false;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) {
    auto* e = kp::handle_as<Event>(h);
    if (e == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (kp::fault_due(kp::Call::Wait)) {
        SetLastError(ERROR_GEN_FAILURE);
        return WAIT_FAILED;
    }
    // Keep the state alive even if an action run during the wait closes h.
    std::shared_ptr<EventState> state = e->shared();
    int64_t deadline = milliseconds == INFINITE ? -1 : kp::clock_now_ms() + milliseconds;
    bool signalled = kp::clock_run_until([&] { return state->signalled; }, deadline);
    if (!signalled) {
        if (milliseconds == INFINITE) {
            // Only a virtual clock with nothing scheduled gets here: the wait
            // could never end, so it fails instead of hanging the test.
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        return WAIT_TIMEOUT;
    }
    if (!state->manual_reset) {
        state->signalled = false;
    }
    return WAIT_OBJECT_0;
}

void Sleep(DWORD milliseconds) {
    kp::clock_sleep(milliseconds);
}
