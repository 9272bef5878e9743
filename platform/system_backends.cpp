// The composition of the system's backends: which kinds of backend a
// program gets by default, in the order they scan. The core declares the
// table (kp/backend.h) and registers its rows at the first enumeration; it
// names no backend itself.
#include "kp/backend.h"

#include <memory>

#include "kp/hidraw.h"
#include "kp/served.h"
#include "served/paths.h"

namespace kp {
namespace {

// Served readers only when the environment asks for them: a program that
// loads the library does not expect card data from local sockets.
const BackendKind kKinds[] = {
    {"served", [] { return served::readers_requested(); },
     []() -> std::shared_ptr<Backend> { return make_served_backend(); }},
    {"hidraw", nullptr, []() -> std::shared_ptr<Backend> { return make_hidraw_backend(); }},
};

}  // namespace

const BackendTable kSystemBackends = {kKinds, sizeof kKinds / sizeof kKinds[0]};

}  // namespace kp
