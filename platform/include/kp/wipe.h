// Wiping what held card data, under the platform's names: the input reports
// of a card reader carry track text and card numbers, and every buffer of
// the platform that held one is zeroed before it is freed, dropped or
// reused. The wiping itself is the shared one of wipe/wipe.h (the served
// readers' protocol and the virtual reader use it too).
#pragma once

#include <utility>

#include "wipe/wipe.h"

namespace kp {

using wipe::free_wiped;
using wipe::secure_wipe;

// Sees each freed block after its wipe (wipe::set_freed_block_hook).
using FreedReportHook = wipe::FreedBlockHook;
inline void set_freed_report_hook(FreedReportHook hook) {
    wipe::set_freed_block_hook(std::move(hook));
}

template <typename T>
using WipingAllocator = wipe::WipingAllocator<T>;

// The bytes of one input report, or a buffer that receives them.
using ReportBytes = wipe::Bytes;

}  // namespace kp
