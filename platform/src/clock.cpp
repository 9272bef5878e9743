#include "kp/clock.h"

#include <chrono>
#include <map>
#include <utility>

#include "poller.h"

namespace kp {
namespace {

struct ClockState {
    bool is_virtual = false;
    int64_t virtual_ms = 0;
    int64_t epoch_seconds = 0;
    int64_t slept_ms = 0;
    uint64_t next_seq = 0;
    // Ordered by due time, then by the order of scheduling.
    std::map<std::pair<int64_t, uint64_t>, std::function<void()>> agenda;
};

ClockState& state() {
    static ClockState s;
    return s;
}

int64_t real_now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Runs the first scheduled action if it is due at `limit_ms` or earlier.
bool run_one_due(int64_t limit_ms) {
    auto& s = state();
    if (s.agenda.empty() || s.agenda.begin()->first.first > limit_ms) {
        return false;
    }
    auto node = s.agenda.extract(s.agenda.begin());
    if (s.is_virtual && node.key().first > s.virtual_ms) {
        s.virtual_ms = node.key().first;
    }
    node.mapped()();
    return true;
}

}  // namespace

void clock_use_virtual(int64_t epoch_seconds) {
    auto& s = state();
    s.is_virtual = true;
    s.virtual_ms = 0;
    s.epoch_seconds = epoch_seconds;
    s.slept_ms = 0;
    s.agenda.clear();
}

void clock_use_real() {
    auto& s = state();
    s.is_virtual = false;
    s.slept_ms = 0;
    s.agenda.clear();
}

bool clock_is_virtual() {
    return state().is_virtual;
}

int64_t clock_now_ms() {
    return state().is_virtual ? state().virtual_ms : real_now_ms();
}

int64_t clock_time() {
    auto& s = state();
    if (s.is_virtual) {
        return s.epoch_seconds + s.virtual_ms / 1000;
    }
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

int64_t clock_slept_ms() {
    return state().slept_ms;
}

void clock_schedule(int64_t at_ms, std::function<void()> action) {
    auto& s = state();
    s.agenda.emplace(std::make_pair(at_ms, s.next_seq++), std::move(action));
}

void clock_schedule_in(int64_t delay_ms, std::function<void()> action) {
    clock_schedule(clock_now_ms() + delay_ms, std::move(action));
}

void clock_advance(int64_t ms) {
    int64_t deadline = clock_now_ms() + ms;
    clock_run_until([] { return false; }, deadline);
}

void clock_sleep(int64_t ms) {
    state().slept_ms += ms;
    clock_advance(ms);
}

bool clock_run_until(const std::function<bool()>& done, int64_t deadline_ms) {
    auto& s = state();
    for (;;) {
        poll_sources(0);
        if (done()) {
            return true;
        }
        if (s.is_virtual) {
            int64_t limit = deadline_ms < 0 ? INT64_MAX : deadline_ms;
            if (run_one_due(limit)) {
                continue;
            }
            if (deadline_ms < 0) {
                return false;  // nothing left that could ever end the wait
            }
            if (s.virtual_ms < deadline_ms) {
                s.virtual_ms = deadline_ms;
            }
            return done();
        }
        int64_t now = real_now_ms();
        if (run_one_due(now)) {
            continue;
        }
        if (deadline_ms >= 0 && now >= deadline_ms) {
            return done();
        }
        int64_t wake = deadline_ms < 0 ? INT64_MAX : deadline_ms;
        if (!s.agenda.empty() && s.agenda.begin()->first.first < wake) {
            wake = s.agenda.begin()->first.first;
        }
        int64_t span = wake == INT64_MAX ? -1 : wake - now;
        if (span > 1000) {
            span = 1000;  // look again at least once a second
        }
        poll_sources(static_cast<int>(span < 0 ? 1000 : span));
    }
}

}  // namespace kp
