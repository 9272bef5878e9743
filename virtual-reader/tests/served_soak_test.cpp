// Soak: the reader program taken round its three modes again and again
// through the library (change mode, reset, close, find it again under its
// new product id). Handles, the library's heap and the program's memory
// stay flat. CI runs a short loop; KESTRO_SOAK=long runs a long one. The
// library's waits run on the virtual clock and the reader restarts at once
// (--restart-ms 0), so no cycle waits the 1.1 s a real mode change takes.
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "kp/clock.h"
#include "kp/platform.h"
#include "served_fixture.h"

using namespace served_test;

namespace {

using ServedSoakTest = ServedTest;

// Resident memory of a process in kB, from /proc.
long resident_kb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

TEST_F(ServedSoakTest, ModeChangeLoopKeepsHandlesAndMemoryFlat) {
    const char* soak = std::getenv("KESTRO_SOAK");
    const int cycles = soak != nullptr && std::string(soak) == "long" ? 60 : 6;
    struct Mode {
        int32_t number;
        uint16_t pid;
    };
    const Mode modes[] = {{2, MR_PID_IDTECH}, {1, MR_PID_KEYBOARD}, {3, MR_PID_MAGTEK}};
    pid_t reader = serve("soak", vr::Mode::Idtech, {"--restart-ms", "0"});
    kp::clock_use_virtual(1796650862);
    size_t handles = 0;
    size_t heap = 0;
    long rss = 0;
    for (int i = 0; i < cycles; ++i) {
        const Mode& now = modes[i % 3];
        const Mode& next = modes[(i + 1) % 3];
        // Back well within a second: the restart time is the program's.
        ASSERT_EQ(open_within(now.pid, 500), 0) << "cycle " << i;
        ASSERT_EQ(ChangeMode(next.number), 0) << "cycle " << i;
        ASSERT_EQ(ResetDevice(255), 0) << "cycle " << i;
        CloseUSB();
        if (i == 2) {  // after a first round of every mode
            handles = kp::open_handle_count();
            heap = mallinfo2().uordblks;
            rss = resident_kb(reader);
        }
    }
    ASSERT_EQ(open_within(modes[cycles % 3].pid, 500), 0);
    CloseUSB();
    // Each cycle waited 100 ms after the mode change and 1000 ms after the reset.
    EXPECT_EQ(kp::clock_slept_ms(), cycles * 1100);
    EXPECT_EQ(kp::open_handle_count(), handles);
    EXPECT_LT(mallinfo2().uordblks, heap + 256 * 1024);
    EXPECT_LT(resident_kb(reader), rss + 2048) << "the reader program grew";
    std::printf(
        "%d mode changes: handles %zu -> %zu, library heap %zu -> %zu bytes, reader %ld -> %ld "
        "kB\n",
        cycles, handles, kp::open_handle_count(), heap, mallinfo2().uordblks, rss,
        resident_kb(reader));
}

}  // namespace
