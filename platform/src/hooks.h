#pragma once

#include <functional>

namespace kp {

// The hook set by on_next_cancel, empty when none is set.
std::function<void()>& cancel_hook();

}  // namespace kp
