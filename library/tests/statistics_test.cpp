// Statistics records: the retrieve count rules, the clock-based access
// check, the index and length checks, and the frames sent.
#include <array>
#include <vector>

#include "fixture.h"

using namespace kestro_test;

namespace {

using Bytes = std::vector<uint8_t>;

class StatisticsTest : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        reader = plug(vr::Mode::Magtek);
        open_session(vr::Mode::Magtek);
    }
    // pw1 and pw2 such that v = now + pw2 - idx - pw1 equals `v`.
    static void passwords(int32_t idx, int32_t v, int32_t* pw1, int32_t* pw2) {
        *pw2 = 1000;
        *pw1 = static_cast<int32_t>(kEpoch) + *pw2 - idx - v;
    }
    std::shared_ptr<vr::InProcessReader> reader;
};

TEST_F(StatisticsTest, RetrieveCopiesAtMostLenBytesAndReportsAShortBuffer) {
    Bytes record = {1, 2, 3, 4, 5, 6, 7, 8};
    int32_t pw1, pw2;
    passwords(4, 0, &pw1, &pw2);
    ASSERT_EQ(UpdateStatistics(4, record.data(), 8, pw1, pw2), 0);
    struct Case {
        int32_t len;
        int32_t result;
        size_t copied;
    };
    for (const Case& c : {Case{3, 2, 0}, Case{6, 3, 6}, Case{8, 0, 8}, Case{20, 0, 8}}) {
        SCOPED_TRACE(c.len);
        reader->model().received.clear();
        std::array<unsigned char, 32> buf;
        buf.fill(0xEE);
        EXPECT_EQ(RetrieveStatistics(4, buf.data(), c.len), c.result);
        EXPECT_EQ(Bytes(buf.begin(), buf.begin() + c.copied),
                  Bytes(record.begin(), record.begin() + c.copied));
        for (size_t i = c.copied; i < buf.size(); ++i) {
            ASSERT_EQ(buf[i], 0xEE) << "byte " << i << " was touched";
        }
        EXPECT_EQ(reader->model().received.size(), c.len < 4 ? 0u : 1u);
    }
}

TEST_F(StatisticsTest, ForcedAnswerCountsAreHandledSafely) {
    struct Case {
        int count;
        int32_t len;
        int32_t result;
        size_t copied;
    };
    // A count above the 23 bytes the report holds copies at most 23.
    for (const Case& c : {Case{0, 8, 0, 0}, Case{8, 8, 0, 8}, Case{40, 64, 0, 23},
                          Case{40, 30, 3, 23}, Case{255, 300, 0, 23}}) {
        SCOPED_TRACE(c.count);
        reader->model().faults.retrieve_count = c.count;
        std::vector<unsigned char> buf(static_cast<size_t>(c.len) + 8, 0xEE);
        EXPECT_EQ(RetrieveStatistics(2, buf.data(), c.len), c.result);
        for (size_t i = c.copied; i < buf.size(); ++i) {
            ASSERT_EQ(buf[i], 0xEE) << "byte " << i << " was touched";
        }
    }
}

TEST_F(StatisticsTest, RetrieveSkipsAReaderThatRejectsAndWaitsPerAnsweringSet) {
    auto second = plug(vr::Mode::Magtek);
    CloseUSB();
    open_session(vr::Mode::Magtek);
    reader->model().faults.reject_all = true;
    second->model().faults.retrieve_count = 3;
    unsigned char buf[8] = {};
    int64_t slept = kp::clock_slept_ms();
    EXPECT_EQ(RetrieveStatistics(1, buf, 8), 0);
    EXPECT_EQ(kp::clock_slept_ms() - slept, 100);
    EXPECT_EQ(buf[0], 0xA0);
    Bytes request(25, 0);
    request[1] = 0xD0;
    request[2] = 1;
    EXPECT_EQ(second->model().received.back(), request);
}

TEST_F(StatisticsTest, TheAccessCheckAdmitsZeroToThreeSecondsAndSendsNothingOtherwise) {
    struct Case {
        int32_t v;
        int32_t reset;
        int32_t update;
    };
    for (const Case& c : {Case{-1, 4, 4}, Case{0, 0, 0}, Case{3, 0, 0}, Case{4, 5, 5}}) {
        SCOPED_TRACE(c.v);
        reader->model().received.clear();
        int32_t pw1, pw2;
        passwords(5, c.v, &pw1, &pw2);
        unsigned char data[2] = {1, 2};
        EXPECT_EQ(ResetStatistics(5, pw1, pw2), c.reset);
        EXPECT_EQ(UpdateStatistics(5, data, 2, pw1, pw2), c.update);
        EXPECT_EQ(reader->model().received.size(), c.reset == 0 ? 2u : 0u);
    }
    // The sum wraps in 32 bits: it may pass through the wrap either way.
    EXPECT_EQ(ResetStatistics(1, -5, INT32_MAX), 4);
    int32_t wrapped = static_cast<int32_t>(static_cast<uint32_t>(kEpoch) + 0x7FFFFFFFu - 1u);
    EXPECT_EQ(ResetStatistics(1, wrapped, INT32_MAX), 0);
}

TEST_F(StatisticsTest, IndexAndLengthChecksComeAfterTheAccessCheck) {
    unsigned char data[32] = {};
    for (int32_t idx : {0, 16, -1}) {
        int32_t pw1, pw2;
        passwords(idx, 0, &pw1, &pw2);
        EXPECT_EQ(ResetStatistics(idx, pw1, pw2), 2) << idx;
        EXPECT_EQ(UpdateStatistics(idx, data, 1, pw1, pw2), 3) << idx;
    }
    int32_t pw1, pw2;
    passwords(1, 0, &pw1, &pw2);
    EXPECT_EQ(UpdateStatistics(1, data, 22, pw1, pw2), 3);
    EXPECT_EQ(UpdateStatistics(1, data, -1, pw1, pw2), 3);
    EXPECT_TRUE(reader->model().received.empty());
    EXPECT_EQ(UpdateStatistics(1, data, 21, pw1, pw2), 0);
}

TEST_F(StatisticsTest, UpdateAndResetFrames) {
    int32_t pw1, pw2;
    passwords(9, 2, &pw1, &pw2);
    EXPECT_EQ(UpdateStatistics(9, nullptr, 0, pw1, pw2), 0);  // len 0 reads nothing
    Bytes empty_update(25, 0);
    empty_update[1] = 0xE0;
    empty_update[2] = 9;
    EXPECT_EQ(reader->model().received.back(), empty_update);
    unsigned char data[3] = {0xAB, 0x00, 0xCD};
    EXPECT_EQ(UpdateStatistics(9, data, 3, pw1, pw2), 0);
    Bytes update = empty_update;
    update[3] = 3;
    update[4] = 0xAB;
    update[6] = 0xCD;
    EXPECT_EQ(reader->model().received.back(), update);
    EXPECT_EQ(ResetStatistics(9, pw1, pw2), 0);
    Bytes reset(25, 0);
    reset[1] = 0xC0;
    reset[2] = 9;
    EXPECT_EQ(reader->model().received.back(), reset);
    EXPECT_TRUE(reader->model().statistics(9).empty());
}

}  // namespace
