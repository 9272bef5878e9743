// The names, values and effects of the reader's scenario faults.
#include "vr/faults.h"

namespace vr {

namespace {

const std::array<FaultInfo, kFaultCount> kCatalogue = {{
    {Fault::LeaveBus, "leave-bus", FaultValue::Duration, false,
     "the reader is gone for MS ms (until cleared without MS): a waiting ReadData returns 3, "
     "commands fail, OpenUSB returns 2 until it is back"},
    {Fault::StallReads, "stall-reads", FaultValue::Duration, false,
     "swiped cards are held back for MS ms (until cleared without MS): ReadData returns 3 "
     "on its time-out, the held cards arrive afterwards in order"},
    {Fault::ReadError, "read-error", FaultValue::None, true,
     "the next swipe (HID modes) completes the read with a device error instead of the "
     "card: ReadData returns 3 with a zeroed buffer"},
    {Fault::RejectLongConfig, "reject-long-config", FaultValue::None, true,
     "the 25-byte set-configuration report is refused: SetMrStateEx returns 5, unless the "
     "reader announces 10-byte feature reports (serve --feature-length 10) and takes the "
     "10-byte form the library then tries"},
    {Fault::RejectShortConfig, "reject-short-config", FaultValue::None, true,
     "the 10-byte set-configuration report (sent only to a reader announcing 10-byte "
     "feature reports, after a refused 25-byte one) is refused: SetMrStateEx returns 5"},
    {Fault::RejectCommands, "reject-commands", FaultValue::None, true,
     "every set-feature report is refused: SetMrStateEx 5, ChangeMode 6, ResetDevice 4, "
     "FlushCounter 1, statistics commands 1"},
    {Fault::FailGet, "fail-get", FaultValue::None, true,
     "get-feature requests fail: GetMrState returns 3, RetrieveStatistics 1"},
    {Fault::BadRetrieveCount, "bad-retrieve-count", FaultValue::Count, true,
     "statistics answers carry count N (default 255) whatever the record holds: "
     "RetrieveStatistics returns 3 when N exceeds the buffer, and at most 23 bytes"},
    {Fault::NoAnswer, "no-answer", FaultValue::None, true,
     "feature requests are not answered: the call fails after the library's time limit "
     "(2 s) and the reader counts as gone until the next OpenUSB"},
}};

}  // namespace

const std::array<FaultInfo, kFaultCount>& fault_catalogue() {
    return kCatalogue;
}

const FaultInfo& fault_info(Fault fault) {
    return kCatalogue[static_cast<size_t>(fault)];
}

const FaultInfo* find_fault(const std::string& name) {
    for (const FaultInfo& f : kCatalogue) {
        if (name == f.name) {
            return &f;
        }
    }
    return nullptr;
}

void FaultTable::set(Fault fault, bool once, int value) {
    settings_[index(fault)] = FaultSetting{true, once, value};
}

bool FaultTable::hit(Fault fault, int* value) {
    FaultSetting& s = settings_[index(fault)];
    if (!s.on) {
        return false;
    }
    if (value != nullptr) {
        *value = s.value;
    }
    if (s.once) {
        s = FaultSetting{};
    }
    return true;
}

}  // namespace vr
