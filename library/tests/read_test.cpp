// ReadData and ReadData1: results, the caller's buffer, the waits on the
// virtual clock, the cancel race and failed reads.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "fixture.h"
#include "kp/faults.h"
#include "trace.h"

using namespace kestro_test;

namespace {

using Buffer = std::array<unsigned char, MR_READ_BUF_LEN>;

const vr::Track kCardA[3] = {{"%B4111111111111111^TEST/CARD A^30121010000000000000?", 0},
                             {";4111111111111111=30121010000000000?", 0},
                             {"", 0}};

Buffer filled(unsigned char v) {
    Buffer b;
    b.fill(v);
    return b;
}

bool all_zero(const Buffer& b) {
    return std::all_of(b.begin(), b.end(), [](unsigned char c) { return c == 0; });
}

// The report as the caller's buffer holds it: two length bytes, the report,
// zeros to the end.
Buffer expected_buffer(const std::vector<uint8_t>& report) {
    Buffer b{};
    b[0] = static_cast<unsigned char>(report.size() & 0xFF);
    b[1] = static_cast<unsigned char>(report.size() >> 8);
    std::copy(report.begin(), report.end(), b.begin() + 2);
    return b;
}

class ReadTest : public LibraryTest {};

TEST_F(ReadTest, WithoutSessionReadDataLeavesTheBufferAndReadData1ClearsIt) {
    Buffer b = filled(0x5A);
    EXPECT_EQ(ReadData(b.data(), 2, 0), 1);
    EXPECT_EQ(b, filled(0x5A));
    EXPECT_EQ(ReadData1(b.data()), 1);
    EXPECT_TRUE(all_zero(b));
    EXPECT_EQ(kp::clock_now_ms(), 0);
}

TEST_F(ReadTest, NoCardTimesOutAfterTheTimeoutWithAZeroBuffer) {
    plug(vr::Mode::Idtech);
    open_session(vr::Mode::Idtech);
    for (int32_t timeout : {0, 2, 50}) {
        Buffer b = filled(0xEE);
        int64_t start = kp::clock_now_ms();
        EXPECT_EQ(ReadData(b.data(), timeout, 7), 3);
        EXPECT_EQ(kp::clock_now_ms() - start, timeout);
        EXPECT_TRUE(all_zero(b));
        EXPECT_EQ(kestro::rd_f, 0);
    }
}

TEST_F(ReadTest, ASwipeComesBackBehindItsLengthInBothLayouts) {
    for (vr::Mode mode : {vr::Mode::Idtech, vr::Mode::Magtek}) {
        auto reader = plug(mode);
        open_session(mode);
        std::vector<uint8_t> report;
        int64_t start = kp::clock_now_ms();
        kp::clock_schedule_in(1, [&] { report = reader->swipe(kCardA); });
        Buffer b = filled(0xEE);
        EXPECT_EQ(ReadData(b.data(), 2, 0), 0);
        ASSERT_EQ(report.size(), mode == vr::Mode::Idtech ? 538u : 338u);
        EXPECT_EQ(b, expected_buffer(report));
        EXPECT_EQ(kp::clock_now_ms() - start, 1);  // ended when the report came
        CloseUSB();
        reader->unplug();
    }
}

TEST_F(ReadTest, AShortReportIsZeroFilledAfterIt) {
    auto reader = plug(vr::Mode::Idtech);
    reader->unplug();
    reader->input_length_override = 300;
    reader->plug();
    open_session(vr::Mode::Idtech);
    std::vector<uint8_t> report(300, 0x41);
    report[0] = 0x00;
    kp::deliver_input(reader.get(), report.data(), report.size());
    Buffer b = filled(0xEE);
    ASSERT_EQ(ReadData(b.data(), 2, 0), 0);
    EXPECT_EQ(b[0], 0x2C);
    EXPECT_EQ(b[1], 0x01);
    EXPECT_TRUE(std::equal(report.begin(), report.end(), b.begin() + 2));
    EXPECT_TRUE(std::all_of(b.begin() + 302, b.end(), [](unsigned char c) { return c == 0; }));
}

// Neither read leaves the card in the library once the session is closed.
TEST_F(ReadTest, CloseLeavesNoByteOfTheLastCardInTheLibrary) {
    const std::string number = "4111111111111111";
    for (bool blocking : {false, true}) {
        SCOPED_TRACE(blocking ? "ReadData1" : "ReadData");
        auto reader = plug(vr::Mode::Idtech);
        open_session(vr::Mode::Idtech);
        auto report = reader->swipe(kCardA);
        Buffer b{};
        ASSERT_EQ(blocking ? ReadData1(b.data()) : ReadData(b.data(), 2, 0), 0);
        const std::string held(reinterpret_cast<const char*>(kestro::rbuf), MR_READ_LEN);
        ASSERT_NE(held.find(number), std::string::npos);  // the card was there
        CloseUSB();
        Buffer left;
        std::copy(std::begin(kestro::rbuf), std::end(kestro::rbuf), left.begin());
        EXPECT_TRUE(all_zero(left));
        reader->unplug();
    }
}

TEST_F(ReadTest, OnlyTheFirstUsableSlotIsRead) {
    auto broken = plug(vr::Mode::Idtech);
    broken->open_faults.refuse_overlapped = true;
    auto first = plug(vr::Mode::Idtech);
    auto second = plug(vr::Mode::Idtech);
    open_session(vr::Mode::Idtech);
    ASSERT_EQ(kestro::hdc, 3);
    second->swipe(kCardA);
    Buffer b{};
    EXPECT_EQ(ReadData(b.data(), 2, 0), 3);  // the second reader's card is not looked at
    auto report = first->swipe(kCardA);
    EXPECT_EQ(ReadData(b.data(), 2, 0), 0);
    EXPECT_EQ(b, expected_buffer(report));
}

TEST_F(ReadTest, AfterSetIdChangesThePidBothReadsReturnTwo) {
    plug(vr::Mode::Idtech);
    open_session(vr::Mode::Idtech);
    SetID(MR_PID_MAGTEK);
    Buffer b = filled(0xEE);
    EXPECT_EQ(ReadData(b.data(), 2, 0), 2);
    EXPECT_TRUE(all_zero(b));
    b = filled(0xEE);
    EXPECT_EQ(ReadData1(b.data()), 2);
    EXPECT_TRUE(all_zero(b));
}

TEST_F(ReadTest, KeyboardModeHasNoReadHandle) {
    plug(vr::Mode::Keyboard);
    open_session(vr::Mode::Keyboard);
    Buffer b = filled(0xEE);
    EXPECT_EQ(ReadData(b.data(), 2, 0), 2);
    EXPECT_TRUE(all_zero(b));
    // ReadData1 goes through the query handle, which cannot read.
    EXPECT_EQ(ReadData1(b.data()), 2);
}

TEST_F(ReadTest, ReadData1BlocksUntilAReportArrives) {
    auto reader = plug(vr::Mode::Magtek);
    open_session(vr::Mode::Magtek);
    std::vector<uint8_t> report;
    kp::clock_schedule_in(750, [&] { report = reader->swipe(kCardA); });
    Buffer b{};
    ASSERT_EQ(ReadData1(b.data()), 0);
    EXPECT_EQ(kp::clock_now_ms(), 750);
    EXPECT_EQ(b, expected_buffer(report));
}

TEST_F(ReadTest, AStaleSignalDoesNotEndTheWait) {
    plug(vr::Mode::Idtech);
    open_session(vr::Mode::Idtech);
    SetEvent(kestro::hov.hEvent);
    Buffer b{};
    EXPECT_EQ(ReadData(b.data(), 2, 0), 3);
    EXPECT_EQ(kp::clock_now_ms(), 2);
}

TEST_F(ReadTest, ReportsInARowComeOutInOrderNoneLostNoneDuplicated) {
    auto reader = plug(vr::Mode::Idtech);
    open_session(vr::Mode::Idtech);
    std::vector<std::vector<uint8_t>> sent;
    for (int i = 0; i < 5; ++i) {
        vr::Track t[3] = {{"%B" + std::to_string(1000 + i) + "?", 0}, {"", 0}, {"", 0}};
        sent.push_back(reader->swipe(t));
    }
    Buffer b{};
    for (const auto& report : sent) {
        ASSERT_EQ(ReadData(b.data(), 0, 0), 0);
        EXPECT_EQ(b, expected_buffer(report));
    }
    EXPECT_EQ(ReadData(b.data(), 0, 0), 3);
}

TEST_F(ReadTest, AReportArrivingJustBeforeTheCancelIsDelivered) {
    auto reader = plug(vr::Mode::Idtech);
    open_session(vr::Mode::Idtech);
    std::vector<uint8_t> report;
    kp::on_next_cancel([&] { report = reader->swipe(kCardA); });
    Buffer b{};
    EXPECT_EQ(ReadData(b.data(), 2, 0), 0);
    EXPECT_EQ(b, expected_buffer(report));
    // Nothing is left behind: the next poll times out cleanly.
    EXPECT_EQ(ReadData(b.data(), 2, 0), 3);
    EXPECT_TRUE(all_zero(b));
}

// After a cancel the completion entry shows what the platform's query gave;
// a cancel that ended the read as usual (every poll without a card) writes
// none.
TEST_F(ReadTest, TheEntryAfterACancelIsWhatTheCompletionQueryGave) {
    struct Case {
        const char* name;
        void (*arrange)(vr::InProcessReader&, std::vector<uint8_t>*);
        int32_t result;
        const char* entry;  // with "%N" for the report's length; null: no entry
    };
    const Case cases[] = {
        {"a report just before the cancel",
         [](vr::InProcessReader& r, std::vector<uint8_t>* report) {
             kp::on_next_cancel([&r, report] { *report = r.swipe(kCardA); });
         },
         0, "GOVLR=1, nob=%N, lerr=0 "},
        {"the cancel fails",
         [](vr::InProcessReader&, std::vector<uint8_t>*) { kp::fail_call(kp::Call::Cancel, 1); }, 3,
         "GOVLR=0, nob=0, lerr=996 "},
        {"the query fails",
         [](vr::InProcessReader&, std::vector<uint8_t>*) {
             kp::fail_call(kp::Call::Completion, 1);
         },
         3, "GOVLR=0, nob=0, lerr=31 "},
        {"nothing came", [](vr::InProcessReader&, std::vector<uint8_t>*) {}, 3, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto reader = plug(vr::Mode::Idtech);
        enable_trace();
        open_session(vr::Mode::Idtech);
        std::vector<uint8_t> report;
        c.arrange(*reader, &report);
        size_t start = trace_text().size();
        Buffer b{};
        EXPECT_EQ(ReadData(b.data(), 2, 0), c.result);
        std::string t = trace_text().substr(start);
        if (c.entry == nullptr) {
            EXPECT_EQ(t.find("GOVLR"), std::string::npos) << t;
        } else {
            std::string entry = c.entry;
            size_t at = entry.find("%N");
            if (at != std::string::npos) {
                entry.replace(at, 2, std::to_string(report.size()));
            }
            EXPECT_TRUE(t.size() >= entry.size() &&
                        t.compare(t.size() - entry.size(), entry.size(), entry) == 0)
                << t;
        }
        CloseUSB();
        kp::clear_faults();
        reader->unplug();
    }
}

TEST_F(ReadTest, AReadTheCancelCouldNotStopIsContinuedByTheNextCall) {
    auto reader = plug(vr::Mode::Idtech);
    open_session(vr::Mode::Idtech);
    kp::fail_call(kp::Call::Cancel, 1);
    Buffer b{};
    int64_t start = kp::clock_now_ms();
    EXPECT_EQ(ReadData(b.data(), 2, 0), 3);
    // It waited a bounded time for the read, and left it with the handle.
    EXPECT_EQ(kp::clock_now_ms() - start, 102);
    EXPECT_EQ(kestro::rd_pending, kestro::hdr[0]);
    auto report = reader->swipe(kCardA);
    EXPECT_EQ(ReadData(b.data(), 2, 0), 0);
    EXPECT_EQ(b, expected_buffer(report));
    EXPECT_EQ(kestro::rd_pending, nullptr);
    EXPECT_EQ(ReadData(b.data(), 2, 0), 3);  // delivered once, not twice

    // Closing the session ends such a read too.
    kp::fail_call(kp::Call::Cancel, 1);
    EXPECT_EQ(ReadData(b.data(), 2, 0), 3);
    CloseUSB();
    EXPECT_EQ(kestro::rd_pending, nullptr);
}

TEST_F(ReadTest, AReadCompletingWithAnErrorIsNoCard) {
    struct Case {
        const char* name;
        void (*fault)(vr::InProcessReader&);
    };
    const Case cases[] = {
        {"transfer error", [](vr::InProcessReader& r) { r.fail_pending_reads(); }},
        {"unplugged", [](vr::InProcessReader& r) { r.unplug(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto reader = plug(vr::Mode::Idtech);
        enable_trace();
        open_session(vr::Mode::Idtech);
        kp::clock_schedule_in(1, [&] { c.fault(*reader); });
        Buffer b = filled(0xEE);
        EXPECT_EQ(ReadData(b.data(), 2, 0), 3);
        EXPECT_TRUE(all_zero(b));
        // The trace still shows what the platform said.
        std::string t = trace_text();
        EXPECT_NE(t.find("\r\n GOVLR=0, nob=0, lerr="), std::string::npos) << t;
        Buffer again{};
        EXPECT_EQ(ReadData(again.data(), 2, 0), 3);
        CloseUSB();
        reader->unplug();
    }
}

TEST_F(ReadTest, TraceEntriesOfAPollAndOfARead) {
    auto reader = plug(vr::Mode::Idtech);
    open_session(vr::Mode::Idtech);
    enable_trace();
    CloseUSB();
    open_session(vr::Mode::Idtech);
    size_t start = trace_text().size();
    Buffer b{};
    ASSERT_EQ(ReadData(b.data(), 2, 9), 3);
    std::string hdr = hex8(kestro::hdr[0]);
    std::string poll = std::string("\r\n MrRead( ") + hex8(b.data()) +
                       ",2,9 ), 0 ------------------ " + kTimeText +
                       "\r\n ReadData: hdr[0]=" + hdr + ", ok=0, nob=0, lerr=997 " +
                       "\r\n i=0, RF=0, nob=0, WFSO=258, lerr=997 ";
    EXPECT_EQ(trace_text().substr(start), poll);

    start = trace_text().size();
    reader->swipe(kCardA);
    ASSERT_EQ(ReadData(b.data(), 2, 0), 0);
    std::string read =
        std::string("\r\n MrRead( ") + hex8(b.data()) + ",2,0 ), 0 ------------------ " +
        kTimeText + "\r\n ReadData: hdr[0]=" + hdr + ", ok=1, nob=538, lerr=0 " +
        "\r\n i=0, RF=1, nob=538, WFSO=0, lerr=0 " + "\r\n GOVLR=1, nob=538, lerr=0 ";
    EXPECT_EQ(trace_text().substr(start), read);

    start = trace_text().size();
    reader->swipe(kCardA);
    ASSERT_EQ(ReadData1(b.data()), 0);
    std::string read1 = std::string("\r\n MrRead1 ------------------ ") + kTimeText +
                        "\r\n pbuf=" + hex8(b.data()) +
                        " \r\n ReadData1: hd[0]=" + hex8(kestro::hd[0]) +
                        ", ok=1, nob=538, lerr=0 ";
    EXPECT_EQ(trace_text().substr(start), read1);
}

TEST_F(ReadTest, ManyPollsLeaveNoPendingReadAndNoHandle) {
    auto reader = plug(vr::Mode::Idtech);
    open_session(vr::Mode::Idtech);
    size_t handles = kp::open_handle_count();
    Buffer b{};
    for (int i = 0; i < 10000; ++i) {
        ASSERT_EQ(ReadData(b.data(), 0, i), 3);
    }
    EXPECT_EQ(kp::open_handle_count(), handles);
    EXPECT_NE(kestro::hov.Internal, STATUS_PENDING);
    auto report = reader->swipe(kCardA);
    ASSERT_EQ(ReadData(b.data(), 0, 0), 0);
    EXPECT_EQ(b, expected_buffer(report));
}

}  // namespace
