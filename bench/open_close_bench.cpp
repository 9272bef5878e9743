// OpenUSB plus CloseUSB over 1, 64 and 1024 virtual HID interfaces (half of
// them readers, half mice): the time per interface should stay flat.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "kestro.h"
#include "kp/platform.h"
#include "vr/inprocess.h"

namespace {

void BM_OpenClose(benchmark::State& state) {
    kp::reset_platform();
    const int n = static_cast<int>(state.range(0));
    std::vector<std::shared_ptr<kp::HidDevice>> devices;
    for (int i = 0; i < n; ++i) {
        if (i % 2 == 0) {
            devices.push_back(vr::InProcessReader::plug_new(vr::Mode::Idtech));
        } else {
            devices.push_back(vr::make_mouse());
            kp::attach_device(devices.back());
        }
    }
    SetID(MR_PID_IDTECH);
    for (auto _ : state) {
        if (OpenUSB() != 0) {
            state.SkipWithError("OpenUSB failed");
            break;
        }
        CloseUSB();
    }
    state.counters["interfaces"] = n;
    state.counters["per_interface"] = benchmark::Counter(
        n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    kp::reset_platform();
}
BENCHMARK(BM_OpenClose)->Arg(1)->Arg(64)->Arg(1024)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
