// The configuration bytes: the set-configuration frame and its short
// fallback, the profile file, and the configuration answer.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "fixture.h"

using namespace kestro_test;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes set_state_frame(const Bytes& state, size_t length) {
    Bytes f(MR_FEATURE_LEN, 0);
    f[1] = 0xB2;
    std::copy(state.begin(), state.end(), f.begin() + 2);
    f.resize(length);
    return f;
}

class ConfigTest : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        reader = plug(vr::Mode::Idtech);
        open_session(vr::Mode::Idtech);
        // The profile files are looked for in the current directory.
        ASSERT_EQ(getcwd(old_cwd, sizeof old_cwd), old_cwd);
        ASSERT_EQ(chdir(dir().c_str()), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(old_cwd), 0);
        LibraryTest::TearDown();
    }
    void write_file(const std::string& name, const Bytes& content) {
        std::ofstream(name, std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()), content.size());
    }
    std::shared_ptr<vr::InProcessReader> reader;
    char old_cwd[4096];
};

TEST_F(ConfigTest, TheSevenBytesGoUnchangedIntoBytesTwoToEight) {
    for (const Bytes& state :
         {Bytes{0, 0, 0, 0, 0, 0, 0}, Bytes{0xFF, 0, 0xFF, 1, 0x80, 0x7F, 0xFF}}) {
        reader->model().received.clear();
        EXPECT_EQ(SetMrStateEx(state.data()), 0);
        ASSERT_EQ(reader->model().received.size(), 1u);
        EXPECT_EQ(reader->model().received[0], set_state_frame(state, 25));
        EXPECT_EQ(SetMrStateBuf(state.data()), 0);
        EXPECT_EQ(reader->model().received.back(), set_state_frame(state, 25));
    }
}

TEST_F(ConfigTest, ARejectedLongFormIsFollowedByTheShortForm) {
    // A reader that takes only the short form announces a 10-byte report.
    reader->unplug();
    reader->feature_length_override = 10;
    reader->model().faults.reject_long_set_state = true;
    reader->plug();
    CloseUSB();
    open_session(vr::Mode::Idtech);
    Bytes state = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(SetMrStateEx(state.data()), 0);
    ASSERT_EQ(reader->model().received.size(), 2u);
    EXPECT_EQ(reader->model().received[0], set_state_frame(state, 25));
    EXPECT_EQ(reader->model().received[1], set_state_frame(state, 10));
    EXPECT_EQ(reader->model().state()[6], 7);

    reader->model().faults.reject_short_set_state = true;
    EXPECT_EQ(SetMrStateEx(state.data()), 5);
}

TEST_F(ConfigTest, TwoSlotsBothReceiveAndTheLastDecides) {
    auto second = plug(vr::Mode::Idtech);
    second->model().faults.reject_all = true;
    CloseUSB();
    open_session(vr::Mode::Idtech);
    reader->model().received.clear();
    Bytes state = {9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(SetMrStateEx(state.data()), 5);
    EXPECT_EQ(reader->model().received.size(), 1u);
    // The short form is tried too, but the platform refuses a buffer shorter
    // than the reader's 25-byte report before it reaches the reader.
    EXPECT_EQ(second->model().received.size(), 1u);
}

TEST_F(ConfigTest, TheProfileFileGivesTheBytes) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, Bytes>> files;
        int32_t result;
        Bytes sent;
    };
    const Case cases[] = {
        {"no file", {}, 2, {}},
        {"three bytes", {{"msr.ini", {1, 2, 3}}}, 0, {1, 2, 3, 0, 0, 0, 0}},
        {"more than seven", {{"msr.ini", {1, 2, 3, 4, 5, 6, 7, 8, 9}}}, 0, {1, 2, 3, 4, 5, 6, 7}},
        {"empty msr.ini wins",
         {{"msr.ini", {}}, {"torvanexmsr.ini", {5, 5, 5}}},
         0,
         {0, 0, 0, 0, 0, 0, 0}},
        {"second name",
         {{"torvanexmsr.ini", {0xFF, 0x0D, 0x0A, 0x1A}}},
         0,
         {0xFF, 0x0D, 0x0A, 0x1A, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove("msr.ini");
        std::remove("torvanexmsr.ini");
        for (const auto& [name, content] : c.files) {
            write_file(name, content);
        }
        reader->model().received.clear();
        EXPECT_EQ(SetMrState(), c.result);
        if (c.sent.empty()) {
            EXPECT_TRUE(reader->model().received.empty());
        } else {
            ASSERT_EQ(reader->model().received.size(), 1u);
            EXPECT_EQ(reader->model().received[0], set_state_frame(c.sent, 25));
        }
    }
    std::remove("msr.ini");
    std::remove("torvanexmsr.ini");
}

TEST_F(ConfigTest, GetMrStateAsksTheFirstAnsweringReaderOnly) {
    auto second = plug(vr::Mode::Idtech);
    CloseUSB();
    open_session(vr::Mode::Idtech);
    Bytes state = {7, 6, 5, 4, 3, 2, 1};
    ASSERT_EQ(SetMrStateEx(state.data()), 0);
    reader->model().received.clear();
    second->model().received.clear();
    unsigned char report[25];
    int64_t slept = kp::clock_slept_ms();
    ASSERT_EQ(GetMrState(report), 0);
    EXPECT_EQ(kp::clock_slept_ms() - slept, 100);
    EXPECT_EQ(report[1], 0xB3);
    EXPECT_EQ(Bytes(report + 2, report + 9), state);
    ASSERT_EQ(reader->model().received.size(), 1u);
    Bytes request(25, 0);
    request[1] = 0xB3;
    EXPECT_EQ(reader->model().received[0], request);
    EXPECT_TRUE(second->model().received.empty());

    // A reader whose get fails hands the search to the next one.
    reader->model().faults.fail_get = true;
    ASSERT_EQ(GetMrState(report), 0);
    EXPECT_EQ(second->model().received.size(), 1u);
    second->model().faults.fail_get = true;
    EXPECT_EQ(GetMrState(report), 3);
}

}  // namespace
