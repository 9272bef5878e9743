// Feature commands: the frames that reach the reader, the matched-slot rule,
// results with and without a session, and the fixed waits (asserted on the
// virtual clock, never slept).
#include <vector>

#include "fixture.h"

using namespace kestro_test;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes frame(std::initializer_list<uint8_t> head, size_t length = MR_FEATURE_LEN) {
    Bytes f(length, 0);
    std::copy(head.begin(), head.end(), f.begin());
    return f;
}

class CommandTest : public LibraryTest {};

TEST_F(CommandTest, FramesReachTheReaderByteForByte) {
    struct Case {
        const char* name;
        int32_t (*call)();
        Bytes sent;
        int32_t result;
        int64_t wait_ms;
    };
    // The library sends any mode as computed; the reader rejects those it
    // does not know, and a rejected command returns at once.
    const Case cases[] = {
        {"ChangeMode(2)", [] { return ChangeMode(2); }, frame({0x00, 0xBE, 0x32}), 0, 100},
        {"ChangeMode(10)", [] { return ChangeMode(10); }, frame({0x00, 0xBE, 0x3A}), 6, 0},
        {"ChangeMode(-1)", [] { return ChangeMode(-1); }, frame({0x00, 0xBE, 0x2F}), 6, 0},
        {"ResetDevice(255)", [] { return ResetDevice(255); }, frame({0x00, 0xFF, 0xAA, 0xFF}), 0,
         1000},
        {"FlushCounter", [] { return FlushCounter(); }, frame({0x00, 0xBF}), 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto reader = plug(vr::Mode::Idtech);
        open_session(vr::Mode::Idtech);
        int64_t slept = kp::clock_slept_ms();
        EXPECT_EQ(c.call(), c.result);
        EXPECT_EQ(kp::clock_slept_ms() - slept, c.wait_ms);
        ASSERT_EQ(reader->model().received.size(), 1u);
        EXPECT_EQ(reader->model().received[0], c.sent);
        CloseUSB();
        reader->unplug();
    }
}

TEST_F(CommandTest, WithoutSessionEachCommandHasItsOwnResultAndNoWait) {
    auto reader = plug(vr::Mode::Idtech);
    unsigned char state[7] = {1, 2, 3, 4, 5, 6, 7};
    unsigned char report[25];
    std::fill(std::begin(report), std::end(report), 0xEE);
    unsigned char stats[8] = {};
    int32_t now = gtime();
    EXPECT_EQ(ChangeMode(2), 5);
    EXPECT_EQ(ResetDevice(255), 3);
    EXPECT_EQ(FlushCounter(), 1);
    EXPECT_EQ(SetMrStateEx(state), 4);
    EXPECT_EQ(SetMrStateBuf(state), 1);
    EXPECT_EQ(SetMrState(), 1);
    EXPECT_EQ(GetMrState(report), 1);
    EXPECT_EQ(report[0], 0xEE);
    EXPECT_EQ(RetrieveStatistics(1, stats, 8), 1);
    // The access and index checks pass; then no reader is found.
    EXPECT_EQ(ResetStatistics(1, now - 1, 0), 1);
    EXPECT_EQ(UpdateStatistics(1, stats, 4, now - 1, 0), 1);
    EXPECT_EQ(kp::clock_now_ms(), 0);
    EXPECT_TRUE(reader->model().received.empty());
}

TEST_F(CommandTest, EverySlotReceivesAndTheLastOneDecides) {
    auto first = plug(vr::Mode::Idtech);
    auto second = plug(vr::Mode::Idtech);
    second->model().faults.reject_all = true;
    open_session(vr::Mode::Idtech);
    struct Case {
        const char* name;
        int32_t (*call)();
        int32_t failure;
    };
    // The accepting reader leaves on the reset, so that one comes last.
    const Case cases[] = {
        {"ChangeMode", [] { return ChangeMode(3); }, 6},
        {"FlushCounter", [] { return FlushCounter(); }, 1},
        {"ResetDevice", [] { return ResetDevice(255); }, 4},
    };
    // The other way round the last reader accepts, and so does the command.
    second->model().faults.reject_all = false;
    first->model().faults.reject_all = true;
    EXPECT_EQ(FlushCounter(), 0);
    first->model().faults.reject_all = false;
    second->model().faults.reject_all = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        first->model().received.clear();
        second->model().received.clear();
        int64_t slept = kp::clock_slept_ms();
        EXPECT_EQ(c.call(), c.failure);
        EXPECT_EQ(kp::clock_slept_ms(), slept) << "no wait after a failure";
        EXPECT_EQ(first->model().received.size(), 1u);
        EXPECT_EQ(second->model().received.size(), 1u);
    }
}

TEST_F(CommandTest, NoMatchedSlotAfterSetIdChangesThePid) {
    auto reader = plug(vr::Mode::Idtech);
    open_session(vr::Mode::Idtech);
    SetID(MR_PID_MAGTEK);
    unsigned char state[7] = {};
    unsigned char report[25];
    std::fill(std::begin(report), std::end(report), 0xEE);
    EXPECT_EQ(ChangeMode(1), 6);
    EXPECT_EQ(ResetDevice(255), 4);
    EXPECT_EQ(FlushCounter(), 1);
    EXPECT_EQ(SetMrStateEx(state), 5);
    EXPECT_EQ(GetMrState(report), 3);
    EXPECT_EQ(report[0], 0xEE);
    EXPECT_EQ(report[24], 0xEE);
    EXPECT_TRUE(reader->model().received.empty());
}

TEST_F(CommandTest, ModeChangeAndResetBringTheReaderBackUnderItsNewProductId) {
    auto reader = plug(vr::Mode::Idtech);
    open_session(vr::Mode::Idtech);
    EXPECT_EQ(ChangeMode(3), 0);
    EXPECT_EQ(ResetDevice(255), 0);
    // The open session now points at a reader that left.
    EXPECT_EQ(FlushCounter(), 1);
    CloseUSB();
    SetID(MR_PID_IDTECH);
    EXPECT_EQ(OpenUSB(), 2);
    SetID(MR_PID_MAGTEK);
    EXPECT_EQ(OpenUSB(), 0);
    EXPECT_EQ(kestro::hdi[0], MR_PID_MAGTEK);
}

TEST_F(CommandTest, TraceEntriesOfTheCommands) {
    auto reader = plug(vr::Mode::Idtech);
    enable_trace();
    open_session(vr::Mode::Idtech);
    size_t start = trace_text().size();
    std::string hd = hex8(kestro::hd[0]);
    ASSERT_EQ(ChangeMode(2), 0);
    ASSERT_EQ(FlushCounter(), 0);
    reader->model().faults.reject_all = true;
    ASSERT_EQ(ResetDevice(255), 4);
    std::string expected = std::string("\r\n MrChangeMode ------------------ ") + kTimeText +
                           "\r\n mode=2 \r\n ChangeMode: hd[0]=" + hd + ", ok=1 " +
                           "\r\n Flush: ------ Mon Dec  7 13:41:02 2026\n" + " setf: hd[0]=" + hd +
                           ", good_f=1 \r\n" + "\r\n MrReset ------------------ " + kTimeText +
                           "\r\n mode=255 \r\n reset: hd[0]=" + hd + ", ok=0 ";
    EXPECT_EQ(trace_text().substr(start), expected);
}

}  // namespace
