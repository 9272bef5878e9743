// The virtual clock: scheduled actions run at their exact moment and in
// order, waits end at their deadline, sleeps are counted.
#include <gtest/gtest.h>

#include <vector>

#include "kp/clock.h"
#include "kp/platform.h"
#include "kp/winapi.h"

namespace {

class ClockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kp::reset_platform();
        kp::clock_use_virtual(1000000);
    }
    void TearDown() override { kp::reset_platform(); }
};

TEST_F(ClockTest, ActionsRunAtTheirMomentInOrder) {
    std::vector<std::pair<int, int64_t>> ran;
    kp::clock_schedule(30, [&] { ran.push_back({3, kp::clock_now_ms()}); });
    kp::clock_schedule(10, [&] { ran.push_back({1, kp::clock_now_ms()}); });
    kp::clock_schedule(10, [&] {
        ran.push_back({2, kp::clock_now_ms()});
        kp::clock_schedule_in(5, [&] { ran.push_back({4, kp::clock_now_ms()}); });
    });
    kp::clock_advance(29);
    EXPECT_EQ(kp::clock_now_ms(), 29);
    kp::clock_advance(1);
    std::vector<std::pair<int, int64_t>> want = {{1, 10}, {2, 10}, {4, 15}, {3, 30}};
    EXPECT_EQ(ran, want);
}

TEST_F(ClockTest, CalendarTimeFollowsVirtualMilliseconds) {
    EXPECT_EQ(kp::clock_time(), 1000000);
    EXPECT_EQ(kp_time(), 1000000);
    kp::clock_advance(999);
    EXPECT_EQ(kp::clock_time(), 1000000);
    kp::clock_advance(1);
    EXPECT_EQ(kp::clock_time(), 1000001);
}

TEST_F(ClockTest, SleepAdvancesAndIsCounted) {
    Sleep(100);
    Sleep(1000);
    EXPECT_EQ(kp::clock_now_ms(), 1100);
    EXPECT_EQ(kp::clock_slept_ms(), 1100);
}

TEST_F(ClockTest, WaitTimesOutAtItsDeadlineOrEndsWhenSignalled) {
    HANDLE ev = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(ev, 2), WAIT_TIMEOUT);
    EXPECT_EQ(kp::clock_now_ms(), 2);
    EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);
    EXPECT_EQ(kp::clock_now_ms(), 2);

    kp::clock_schedule(7, [ev] { SetEvent(ev); });
    EXPECT_EQ(WaitForSingleObject(ev, 100), WAIT_OBJECT_0);
    EXPECT_EQ(kp::clock_now_ms(), 7);
    // Auto-reset: the wait consumed the signal.
    EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);
    // Nothing could ever signal it: an infinite wait fails instead of hanging.
    EXPECT_EQ(WaitForSingleObject(ev, INFINITE), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(0x1230), 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(ev);
}

TEST_F(ClockTest, NamedEventsAreSharedAndReportThatTheyExisted) {
    HANDLE a = CreateEventA(nullptr, FALSE, FALSE, "shared");
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    HANDLE b = CreateEventA(nullptr, FALSE, FALSE, "shared");
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    HANDLE c = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    SetEvent(a);
    EXPECT_EQ(WaitForSingleObject(c, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);
    for (HANDLE h : {a, b, c}) {
        EXPECT_TRUE(CloseHandle(h));
    }
    EXPECT_FALSE(CloseHandle(a));
    EXPECT_EQ(kp::open_handle_count(), 0u);
}

}  // namespace
