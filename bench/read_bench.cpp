// ReadData without a card on an in-process reader, with the real clock: the
// wall time should stay within 0.5 ms of the timeout, the CPU time under
// 20 microseconds a call, and no heap allocation should happen per call.
#include <benchmark/benchmark.h>

#include <memory>

#include "alloc_counter.h"
#include "kestro.h"
#include "kp/platform.h"
#include "vr/inprocess.h"

namespace {

void BM_ReadDataNoCard(benchmark::State& state) {
    kp::reset_platform();
    auto reader = vr::InProcessReader::plug_new(vr::Mode::Idtech);
    SetID(MR_PID_IDTECH);
    if (OpenUSB() != 0) {
        state.SkipWithError("OpenUSB failed");
        return;
    }
    const int32_t timeout = static_cast<int32_t>(state.range(0));
    unsigned char buf[MR_READ_BUF_LEN];
    ReadData(buf, timeout, 0);  // warm up
    uint64_t before = bench::allocations();
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadData(buf, timeout, 0));
    }
    uint64_t allocs = bench::allocations() - before;
    state.counters["allocs_per_call"] =
        benchmark::Counter(static_cast<double>(allocs) / static_cast<double>(state.iterations()));
    CloseUSB();
    kp::reset_platform();
}
BENCHMARK(BM_ReadDataNoCard)->Arg(0)->Arg(2)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_ReadDataWithCard(benchmark::State& state) {
    kp::reset_platform();
    auto reader = vr::InProcessReader::plug_new(vr::Mode::Idtech);
    SetID(MR_PID_IDTECH);
    if (OpenUSB() != 0) {
        state.SkipWithError("OpenUSB failed");
        return;
    }
    vr::Track tracks[3] = {{"%B4111111111111111^TEST/CARD A^30121010000000000000?", 0},
                           {";4111111111111111=30121010000000000?", 0},
                           {"", 0}};
    unsigned char buf[MR_READ_BUF_LEN];
    for (auto _ : state) {
        state.PauseTiming();
        reader->swipe(tracks);
        state.ResumeTiming();
        benchmark::DoNotOptimize(ReadData(buf, 2, 0));
    }
    CloseUSB();
    kp::reset_platform();
}
BENCHMARK(BM_ReadDataWithCard)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
