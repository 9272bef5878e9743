// The library and the served reader program end to end: detection in each
// mode, configuration and statistics through feature reports, card reads in
// both report layouts, and a mode change with the reader coming back under
// its new product id.
#include <cstring>
#include <string>

#include "served_fixture.h"
#include "state.h"

using namespace served_test;

namespace {

using LibraryServedTest = ServedTest;

std::string path_of_slot(int i) {
    return kestro::vp[i]->DevicePath;
}

TEST_F(LibraryServedTest, DetectedInEachModeUnderItsProductIdOnly) {
    struct Case {
        vr::Mode mode;
        uint16_t pid;
        const char* path_ids;
        bool read_handle;  // keyboard mode refuses read/write opens
    };
    for (const Case& c : {Case{vr::Mode::Keyboard, MR_PID_KEYBOARD, "vid_3e7a&pid_0500", false},
                          Case{vr::Mode::Idtech, MR_PID_IDTECH, "vid_3e7a&pid_05a0", true},
                          Case{vr::Mode::Magtek, MR_PID_MAGTEK, "vid_3e7a&pid_05b0", true}}) {
        SCOPED_TRACE(vr::mode_name(c.mode));
        pid_t server = serve("detect", c.mode);
        for (uint16_t other : {MR_PID_KEYBOARD, MR_PID_IDTECH, MR_PID_MAGTEK}) {
            if (other != c.pid) {
                SetID(other);
                EXPECT_EQ(OpenUSB(), 2);
                CloseUSB();
            }
        }
        SetID(c.pid);
        ASSERT_EQ(OpenUSB(), 0);
        ASSERT_EQ(kestro::hdc, 1);
        EXPECT_NE(path_of_slot(0).find(c.path_ids), std::string::npos) << path_of_slot(0);
        EXPECT_NE(path_of_slot(0).find(socket_path("detect")), std::string::npos);
        EXPECT_EQ(kestro::hdr[0] != INVALID_HANDLE_VALUE, c.read_handle);
        CloseUSB();
        EXPECT_EQ(WEXITSTATUS(stop(server)), 0);
    }
}

TEST_F(LibraryServedTest, SeveralReadersAtOnceAreSeveralSlots) {
    serve("one");
    serve("two");
    SetID(MR_PID_IDTECH);
    ASSERT_EQ(OpenUSB(), 0);
    ASSERT_EQ(kestro::hdc, 2);
    EXPECT_NE(path_of_slot(0).find(socket_path("one")), std::string::npos);
    EXPECT_NE(path_of_slot(1).find(socket_path("two")), std::string::npos);
}

TEST_F(LibraryServedTest, ConfigurationRoundTripAndStatusShowsIt) {
    serve("config");
    ASSERT_EQ(open_within(MR_PID_IDTECH, 0), 0);
    const unsigned char state[MR_STATE_LEN] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    ASSERT_EQ(SetMrStateEx(state), 0);
    unsigned char report[MR_FEATURE_LEN] = {};
    ASSERT_EQ(GetMrState(report), 0);
    EXPECT_EQ(report[1], MR_CMD_GET_STATE);
    EXPECT_EQ(std::memcmp(report + 2, state, sizeof state), 0);
    EXPECT_EQ(report[9], 2);  // IDTECH
    EXPECT_EQ(report[10] | (report[11] << 8), MR_PID_IDTECH);

    std::string out;
    ASSERT_EQ(run({"status", "--name", "config"}, &out), 0);
    EXPECT_NE(out.find("configuration: 11 22 33 44 55 66 77"), std::string::npos) << out;
    EXPECT_NE(out.find("hosts: 1 (pid " + std::to_string(getpid()) + ")"), std::string::npos)
        << out;
    // What the library sent and got, in order, with the counts.
    ASSERT_EQ(FlushCounter(), 0);
    ASSERT_EQ(run({"status", "--name", "config"}, &out), 0);
    const char* const lines[] = {
        "counts: 1 flushes, 0 resets, 0 mode changes\n",
        "faults: none\n",
        " set MR_CMD_SET_STATE accepted: 00 B2 11 22 33 44 55 66 77 00",
        " set MR_CMD_GET_STATE accepted: 00 B3 00",
        " get MR_CMD_GET_STATE answered: 00 B3 11 22 33 44 55 66 77 02 A0 05 00 01 00",
        " set MR_CMD_FLUSH_COUNTER accepted: 00 BF 00",
    };
    size_t at = 0;
    for (const char* line : lines) {
        size_t found = out.find(line, at);
        EXPECT_NE(found, std::string::npos) << line << " in order in\n" << out;
        at = found == std::string::npos ? at : found;
    }
}

TEST_F(LibraryServedTest, StatisticsWrittenThenReadBack) {
    serve("stats");
    ASSERT_EQ(open_within(MR_PID_IDTECH, 0), 0);
    const unsigned char data[5] = {1, 2, 3, 0xFE, 0xFF};
    const int32_t idx = 7;
    // The access check: pw1 - pw2 + idx equals the library's clock.
    ASSERT_EQ(UpdateStatistics(idx, data, sizeof data, gtime(), idx), 0);
    unsigned char buf[MR_STAT_ANSWER_MAX] = {};
    ASSERT_EQ(RetrieveStatistics(idx, buf, sizeof buf), 0);
    EXPECT_EQ(std::memcmp(buf, data, sizeof data), 0);
    EXPECT_EQ(RetrieveStatistics(idx, buf, 4), 3) << "5 bytes do not fit in 4";

    std::string out;
    ASSERT_EQ(run({"status", "--name", "stats"}, &out), 0);
    EXPECT_NE(out.find("statistics 7: 01 02 03 FE FF"), std::string::npos) << out;
}

TEST_F(LibraryServedTest, SwipeIsReadInBothReportLayouts) {
    struct Case {
        vr::Mode mode;
        uint16_t pid;
        int length;
        int text_at;  // report byte where the track text starts
    };
    for (const Case& c : {Case{vr::Mode::Idtech, MR_PID_IDTECH, 538, 10},
                          Case{vr::Mode::Magtek, MR_PID_MAGTEK, 338, 8}}) {
        SCOPED_TRACE(vr::mode_name(c.mode));
        pid_t server = serve("layout", c.mode);
        ASSERT_EQ(open_within(c.pid, 0), 0);
        ASSERT_EQ(run({"swipe", "--name", "layout", "--track3", ";0123?", "--bad", "1"}), 0);
        unsigned char buf[MR_READ_BUF_LEN];
        ASSERT_EQ(ReadData(buf, 2000, 0), 0);
        EXPECT_EQ(buf[0] | (buf[1] << 8), c.length);
        const unsigned char* report = buf + 2;
        EXPECT_NE(report[1], 0) << "track 1 was swiped bad";
        EXPECT_EQ(report[2], 0);
        EXPECT_EQ(report[3], 0);
        EXPECT_EQ(report[4], 0);
        EXPECT_EQ(report[5], 0) << "a given track replaces the default card";
        EXPECT_EQ(report[6], 6);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(report + c.text_at), 7), ";0123?\r");

        // The default card: tracks 1 and 2 of test card A.
        ASSERT_EQ(run({"swipe", "--name", "layout"}), 0);
        ASSERT_EQ(ReadData(buf, 2000, 0), 0);
        std::string text(reinterpret_cast<const char*>(report + c.text_at));
        EXPECT_EQ(text, std::string(kCardA.track1) + "\r" + kCardA.track2 + "\r");
        EXPECT_EQ(report[4], std::strlen(kCardA.track1));
        EXPECT_EQ(report[5], std::strlen(kCardA.track2));

        EXPECT_EQ(ReadData(buf, 0, 0), 3) << "one swipe, one report";
        CloseUSB();
        stop(server);
    }
}

TEST_F(LibraryServedTest, ModeChangeAndResetBringTheReaderBackUnderTheNewProductId) {
    serve("modes");
    ASSERT_EQ(open_within(MR_PID_IDTECH, 0), 0);
    ASSERT_EQ(ChangeMode(3), 0);
    ASSERT_EQ(ResetDevice(255), 0);
    // The reader left the bus: the open session fails cleanly until closed.
    unsigned char report[MR_FEATURE_LEN] = {};
    EXPECT_EQ(GetMrState(report), 3);
    unsigned char buf[MR_READ_BUF_LEN];
    EXPECT_EQ(ReadData(buf, 0, 0), 3);
    CloseUSB();

    ASSERT_EQ(open_within(MR_PID_MAGTEK, 3000), 0);
    ASSERT_EQ(GetMrState(report), 0);
    EXPECT_EQ(report[9], 3);
    EXPECT_EQ(report[10] | (report[11] << 8), MR_PID_MAGTEK);
    CloseUSB();
    SetID(MR_PID_IDTECH);
    EXPECT_EQ(OpenUSB(), 2);

    std::string out;
    ASSERT_EQ(run({"status", "--name", "modes"}, &out), 0);
    EXPECT_NE(out.find("product id: 0x05B0"), std::string::npos) << out;
}

}  // namespace
