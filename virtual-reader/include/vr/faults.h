// The reader's scenario faults: what a test or a user can make it do wrong,
// each by name, set once or until cleared. The model acts on the faults of
// its feature commands itself; the host of the model (the reader program)
// acts on those of the bus and the input reports.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace vr {

enum class Fault {
    LeaveBus,           // leave the bus, for a time or until cleared
    StallReads,         // hold swiped cards back, for a time or until cleared
    ReadError,          // complete the host's read with an error instead of a card
    RejectLongConfig,   // refuse the 25-byte set-configuration report
    RejectShortConfig,  // refuse the 10-byte set-configuration report
    RejectCommands,     // refuse every set-feature report
    FailGet,            // fail every get-feature request
    BadRetrieveCount,   // answer statistics requests with a wrong count byte
    NoAnswer,           // leave feature requests unanswered
};
constexpr size_t kFaultCount = 9;

// How a fault takes its number.
enum class FaultValue {
    None,      // takes none
    Duration,  // milliseconds it lasts; without one it lasts until cleared
    Count,     // the count byte, 0 to 255 (default 255)
};

struct FaultInfo {
    Fault fault;
    const char* name;  // its name on the command line
    FaultValue value;
    bool once_allowed;   // whether it can be set for its next hit only
    const char* effect;  // one line on what an application sees
};

// Every fault, in the order of the enum.
const std::array<FaultInfo, kFaultCount>& fault_catalogue();
const FaultInfo& fault_info(Fault fault);
// The fault of that name, or nullptr.
const FaultInfo* find_fault(const std::string& name);

// How one fault is set.
struct FaultSetting {
    bool on = false;
    bool once = false;  // cleared by its first hit
    int value = -1;     // its number; -1 when none was given
};

// The faults set on one reader.
class FaultTable {
  public:
    void set(Fault fault, bool once, int value);
    void clear(Fault fault) { settings_[index(fault)] = FaultSetting{}; }
    void clear_all() { settings_ = {}; }
    const FaultSetting& operator[](Fault fault) const { return settings_[index(fault)]; }
    bool on(Fault fault) const { return settings_[index(fault)].on; }
    // Whether the fault is on; this counts as its hit, so a fault set once is
    // cleared. Its value goes to *value when given.
    bool hit(Fault fault, int* value = nullptr);

  private:
    static size_t index(Fault fault) { return static_cast<size_t>(fault); }
    std::array<FaultSetting, kFaultCount> settings_{};
};

}  // namespace vr
