#include "kp/faults.h"

#include <array>
#include <cstddef>

namespace kp {
namespace {

struct Armed {
    std::array<int, static_cast<std::size_t>(Call::Count)> made{};
    std::array<int, static_cast<std::size_t>(Call::Count)> fail_at{};
};

Armed& armed() {
    static Armed a;
    return a;
}

}  // namespace

const char* call_name(Call kind) {
    static const char* const names[] = {
        "device set", "enumerate interface", "interface detail", "device open",    "parser data",
        "attributes", "capabilities",        "set feature",      "get feature",    "read start",
        "wait",       "completion",          "cancel",           "event creation", "file open",
        "file write",
    };
    static_assert(sizeof names / sizeof names[0] == static_cast<std::size_t>(Call::Count));
    return names[static_cast<std::size_t>(kind)];
}

void fail_call(Call kind, int nth) {
    auto k = static_cast<std::size_t>(kind);
    armed().fail_at[k] = nth <= 0 ? 0 : armed().made[k] + nth;
}

void clear_faults() {
    armed() = Armed{};
}

int calls_made(Call kind) {
    return armed().made[static_cast<std::size_t>(kind)];
}

bool fault_due(Call kind) {
    auto k = static_cast<std::size_t>(kind);
    int n = ++armed().made[k];
    return armed().fail_at[k] != 0 && n == armed().fail_at[k];
}

}  // namespace kp
