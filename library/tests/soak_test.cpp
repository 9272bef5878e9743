// Soak: many sessions and many polls with cards arriving at random must
// leave handle and memory use flat and lose no card. CI runs the short form;
// KESTRO_SOAK=long runs the full counts.
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

#include "fixture.h"

using namespace kestro_test;

namespace {

bool long_form() {
    const char* v = std::getenv("KESTRO_SOAK");
    return v != nullptr && std::string(v) == "long";
}

size_t heap_in_use() {
    return mallinfo2().uordblks;
}

using SoakTest = LibraryTest;

TEST_F(SoakTest, OpenCloseCyclesKeepHandlesAndMemoryFlat) {
    const int cycles = long_form() ? 10000 : 1000;
    kp::attach_device(vr::make_mouse());
    auto reader = plug(vr::Mode::Idtech);
    plug(vr::Mode::Idtech);
    SetID(MR_PID_IDTECH);
    ASSERT_EQ(OpenUSB(), 0);
    CloseUSB();
    size_t handles = kp::open_handle_count();
    size_t heap = heap_in_use();
    for (int i = 0; i < cycles; ++i) {
        ASSERT_EQ(OpenUSB(), 0);
        ASSERT_EQ(kestro::hdc, 2);
        ASSERT_EQ(CloseUSB(), 0);
    }
    EXPECT_EQ(kp::open_handle_count(), handles);
    EXPECT_LT(heap_in_use(), heap + 64 * 1024) << "heap grew over " << cycles << " sessions";
}

TEST_F(SoakTest, PollsWithCardsArrivingAtRandomLoseNone) {
    const int polls = long_form() ? 1000000 : 100000;
    auto reader = plug(vr::Mode::Magtek);
    open_session(vr::Mode::Magtek);
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> chance(0, 99);
    std::uniform_int_distribution<int> when(0, 3);
    unsigned char buf[MR_READ_BUF_LEN];
    int sent = 0;
    int received = 0;
    size_t handles = kp::open_handle_count();
    size_t heap = 0;
    int64_t last_at = 0;
    for (int i = 0; i < polls; ++i) {
        if (chance(rng) < 3) {
            // A card with its number in track 2, arriving during the poll.
            vr::Track tracks[3] = {
                {"", 0}, {";" + std::to_string(100000 + sent) + "?", 0}, {"", 0}};
            ++sent;
            // Cards leave the reader in the order they were swiped.
            last_at = std::max(last_at, kp::clock_now_ms() + when(rng));
            kp::clock_schedule(last_at, [reader, tracks] { reader->swipe(tracks); });
        }
        int32_t r = ReadData(buf, 2, i);
        ASSERT_TRUE(r == 0 || r == 3) << r;
        if (r == 0) {
            // Cards come out in order, each once.
            std::string expected = ";" + std::to_string(100000 + received) + "?\r";
            ASSERT_EQ(std::string(reinterpret_cast<char*>(buf) + 2 + 8, expected.size()), expected);
            ++received;
        }
        if (i == 1000) {
            heap = heap_in_use();
        }
    }
    // Cards still on their way or queued come out with a few more polls.
    for (int i = 0; i < 10 && received < sent; ++i) {
        if (ReadData(buf, 5, 0) == 0) {
            ++received;
        }
    }
    EXPECT_EQ(received, sent);
    EXPECT_EQ(kp::open_handle_count(), handles);
    EXPECT_LT(heap_in_use(), heap + 64 * 1024);
    RecordProperty("cards", sent);
}

}  // namespace
