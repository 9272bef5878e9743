// The reader program's scenario faults as the command line sets them, the
// faults of the bus and the input reports that the program itself acts on,
// and the status it reports.
#include <algorithm>

#include "server.h"

namespace vrp {

namespace {

// Whether `value` suits the fault: a duration of 0 ms or more, a count of 0
// to 255, or nothing; -1 is always "none given".
bool value_fits(const vr::FaultInfo& info, int32_t value) {
    switch (info.value) {
        case vr::FaultValue::None:
            return value == -1;
        case vr::FaultValue::Duration:
            return value >= -1;
        case vr::FaultValue::Count:
            return value >= -1 && value <= 255;
    }
    return false;
}

}  // namespace

bool Server::apply_fault(const served::FaultRequest& f) {
    if (!f.set && f.name.empty()) {
        model_.scenario.clear_all();
        away_until_ms_ = -1;
        update_bus();
        end_stall();
        return true;
    }
    const vr::FaultInfo* info = vr::find_fault(f.name);
    if (info == nullptr) {
        return false;
    }
    if (!f.set) {
        model_.scenario.clear(info->fault);
        if (info->fault == vr::Fault::LeaveBus) {
            away_until_ms_ = -1;
            update_bus();
        } else if (info->fault == vr::Fault::StallReads) {
            end_stall();
        }
        return true;
    }
    if (!value_fits(*info, f.value) || (f.once && !info->once_allowed)) {
        return false;
    }
    model_.scenario.set(info->fault, f.once, f.value);
    const int64_t until = f.value >= 0 ? now_ms() + f.value : kForever;
    if (info->fault == vr::Fault::LeaveBus) {
        away_until_ms_ = until;
        update_bus();
    } else if (info->fault == vr::Fault::StallReads) {
        stall_until_ms_ = until;
    }
    return true;
}

void Server::end_timed_faults() {
    const int64_t now = now_ms();
    if (away_until_ms_ >= 0 && now >= away_until_ms_) {
        model_.scenario.clear(vr::Fault::LeaveBus);
        away_until_ms_ = -1;
        update_bus();
    }
    if (stall_until_ms_ >= 0 && now >= stall_until_ms_) {
        model_.scenario.clear(vr::Fault::StallReads);
        end_stall();
    }
}

void Server::end_stall() {
    stall_until_ms_ = -1;
    served::Swipes held;
    held.swap(held_);
    for (const served::Swipe& card : held) {
        swipe(card);
    }
}

int64_t Server::next_deadline() const {
    int64_t next = -1;
    for (int64_t t : {restart_at_ms_, away_until_ms_, stall_until_ms_}) {
        if (t >= 0 && t != kForever && (next < 0 || t < next)) {
            next = t;
        }
    }
    return next;
}

served::Status Server::status() const {
    served::Status s;
    s.mode = static_cast<uint8_t>(model_.mode());
    s.product_id = model_.product_id();
    s.plugged = plugged_;
    s.restarting = restart_at_ms_ >= 0;
    s.away = away_until_ms_ >= 0;
    std::copy(model_.state().begin(), model_.state().end(), s.state.begin());
    for (int i = 1; i <= vr::kStatRecords; ++i) {
        s.records[static_cast<size_t>(i - 1)] = model_.statistics(i);
    }
    for (const Client& c : clients_) {
        if (c.role == Role::Host && c.connection->hello_done && !c.closing &&
            s.host_pids.size() < served::kStatusMaxHosts) {
            s.host_pids.push_back(c.connection->peer_pid());
        }
    }
    s.pending_mode = static_cast<uint8_t>(model_.pending_mode());
    s.flushes = model_.flush_count();
    s.resets = model_.reset_count();
    s.mode_changes = model_.mode_change_count();
    s.cards_swiped = cards_swiped_;
    s.cards_delivered = cards_delivered_;
    for (const vr::FeatureRecord& r : model_.history()) {
        served::StatusReport h;
        h.time_ms = static_cast<uint32_t>(r.time_ms);
        h.get = r.get;
        h.accepted = r.accepted;
        h.unanswered = r.unanswered;
        h.length = static_cast<uint16_t>(std::min<size_t>(r.length, UINT16_MAX));
        h.bytes.assign(r.bytes.begin(),
                       r.bytes.begin() + std::min(r.bytes.size(), served::kStatusMaxReport));
        h.command = r.command;
        s.history.push_back(std::move(h));
    }
    for (const vr::FaultInfo& info : vr::fault_catalogue()) {
        const vr::FaultSetting& set = model_.scenario[info.fault];
        if (set.on) {
            s.faults.push_back(served::StatusFault{info.name, set.once, set.value});
        }
    }
    return s;
}

}  // namespace vrp
