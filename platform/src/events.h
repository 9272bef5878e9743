#pragma once

#include <memory>
#include <string>

#include "handles.h"

namespace kp {

// The state of an event, shared by every handle opened on the same name.
struct EventState {
    bool manual_reset = false;
    bool signalled = false;
    std::string name;
};

class Event : public Object {
  public:
    explicit Event(std::shared_ptr<EventState> state) : state_(std::move(state)) {}
    ~Event() override;
    EventState& state() { return *state_; }
    const std::shared_ptr<EventState>& shared() const { return state_; }

  private:
    std::shared_ptr<EventState> state_;
};

// Signals the event behind `h` if it is one (used by completing I/O).
void signal_event(HANDLE h);
// What a satisfied wait does to an event: an auto-reset one goes back to
// not signalled, a manual-reset one stays signalled.
void consume_signal(HANDLE h);

}  // namespace kp
