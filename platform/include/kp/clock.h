// The platform's clock: real by default, virtual in tests. In virtual mode
// time only moves when someone waits or sleeps, and things scheduled on the
// clock (a card swipe, a reader coming back after a reset) run at their exact
// virtual moment, so timing is asserted instead of waited for.
#pragma once

#include <cstdint>
#include <functional>

namespace kp {

// Switches to a virtual clock that starts at the given calendar second and
// at 0 milliseconds of monotonic time. Drops every scheduled action.
void clock_use_virtual(int64_t epoch_seconds);
// Switches back to the machine's clock. Drops every scheduled action.
void clock_use_real();
bool clock_is_virtual();

// Monotonic milliseconds (virtual: since clock_use_virtual).
int64_t clock_now_ms();
// Calendar seconds since 1970-01-01 00:00:00 UTC.
int64_t clock_time();
// Total virtual milliseconds spent in Sleep calls (tests assert waits with it).
int64_t clock_slept_ms();

// Runs `action` once the monotonic clock reaches `at_ms`, from inside a wait,
// a sleep or a blocking read of the platform.
void clock_schedule(int64_t at_ms, std::function<void()> action);
void clock_schedule_in(int64_t delay_ms, std::function<void()> action);

// Moves time forward by `ms`, running what falls due (tests).
void clock_advance(int64_t ms);

// What Sleep does: like clock_advance, and counted in clock_slept_ms.
void clock_sleep(int64_t ms);

// Runs the platform's event loop until `done` returns true or the deadline
// passes (deadline_ms < 0: no deadline). Returns the last value of `done`.
// A virtual clock with no deadline and nothing scheduled would wait for ever;
// it returns false at once instead.
bool clock_run_until(const std::function<bool()>& done, int64_t deadline_ms);

}  // namespace kp
