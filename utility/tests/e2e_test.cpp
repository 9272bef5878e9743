// The window logic with a recording view, the real libkestro.so and the real
// kestro-virtual-reader program: detection in each mode, cards swiped and
// shown on the next tick, and mode changes that the reader really makes.
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "../logic/form1_logic.h"
#include "e2e_fixture.h"
#include "fake_view.h"

namespace kestro::e2e {
namespace {

using testing::ControlState;
using testing::FakeView;
using testing::Trace;

constexpr Twips kHidBox{240, 1440, 9975, 1335};
constexpr Twips kFullFrame{0, 0, 10455, 5655};

class LogicE2eTest : public E2eTest {
  protected:
    void TearDown() override {
        // Close the session as closing the window does, before the reader stops.
        if (!logic.Ended()) {
            int cancel = 0;
            logic.Form_Unload(cancel);
        }
    }

    ControlState& At(const Control& c) { return view.at(c); }
    const std::vector<std::string>& Log() { return view.at(ctl::lstResults).items; }

    // Picks a mode in the combo as the operator does: its text and position.
    void Choose(const std::string& entry) {
        ControlState& combo = At(ctl::comboMsrType2);
        combo.text = entry;
        for (size_t i = 0; i < combo.items.size(); ++i) {
            if (combo.items[i] == entry) {
                combo.list_index = static_cast<int>(i);
            }
        }
    }

    // The card box's lines as the window shows them.
    static std::string Shown(const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& line : lines) {
            text += line + "\r\n";
        }
        return text;
    }

    Trace trace;
    FakeView view{trace};
    Form1Logic logic{view, library};
};

struct ModeCase {
    const char* word;  // the program's --mode
    const char* text;  // what the window shows
    size_t log_lines;  // detection's log lines: three per failed try, two for the hit
    Twips card_box;
    int16_t data_start;
    int16_t data_end;

    friend void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.word; }
};

class DetectE2eTest : public LogicE2eTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(DetectE2eTest, ShowsTheModeOfTheServedReader) {
    const ModeCase& c = GetParam();
    Serve(c.word);
    logic.Form_Load();

    EXPECT_TRUE(view.messages.empty()) << view.messages.front();
    ASSERT_FALSE(logic.Ended());
    EXPECT_EQ(At(ctl::txtMsrType).text, c.text);
    ASSERT_EQ(Log().size(), c.log_lines);
    EXPECT_EQ(Log().back(), " open usb -> 0");
    EXPECT_EQ(At(ctl::txtCardData).geometry, c.card_box);
    EXPECT_EQ(logic.DataStart, c.data_start);
    EXPECT_EQ(logic.DataEnd, c.data_end);
    EXPECT_TRUE(At(ctl::cmdChangeMode).enabled);
    // The reader sees this process as its host.
    EXPECT_NE(Status().find("hosts: 1 (pid " + std::to_string(getpid()) + ")"), std::string::npos)
        << Status();

    // Closing the window closes the session.
    int cancel = 0;
    logic.Form_Unload(cancel);
    EXPECT_EQ(Log().back(), " close usb -> 0");
}

INSTANTIATE_TEST_SUITE_P(
    Modes, DetectE2eTest,
    ::testing::Values(ModeCase{"idtech", "USB/HID IDTECH", 2, kHidBox, 12, 539},
                      ModeCase{"magtek", "USB/HID MAGTEK", 5, kHidBox, 10, 339},
                      ModeCase{"kb", "USB/KB", 8, kFullFrame, 0, 0}),
    [](const auto& info) { return std::string(info.param.word); });

TEST_F(LogicE2eTest, NoReaderTellsTheOperatorAndEnds) {
    // The private runtime directory holds no reader; a real reader on the
    // machine's bus would be found, so there is nothing to test then.
    logic.Form_Load();
    if (!logic.Ended()) {
        GTEST_SKIP() << "a reader is connected to this machine";
    }
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "Please connect TORVANEX USB MSR first !!");
    EXPECT_EQ(Log().size(), 9u);
    EXPECT_FALSE(At(ctl::Frame1).enabled);
    EXPECT_TRUE(view.ended);
}

class SwipeE2eTest : public LogicE2eTest, public ::testing::WithParamInterface<const char*> {
  protected:
    void SetUp() override {
        LogicE2eTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        Serve(GetParam());
        logic.Form_Load();
        ASSERT_FALSE(logic.Ended());
    }
};

TEST_P(SwipeE2eTest, ACardShowsOnTheNextTick) {
    ASSERT_EQ(reader->swipe(kCardA.track1, kCardA.track2), 0);
    logic.Timer1_Timer();

    const std::vector<std::string> lines{kCardA.track1, kCardA.track2};
    EXPECT_EQ(At(ctl::txtCardData).text, Shown(lines));
    EXPECT_EQ(At(ctl::lstCardData).items, lines);
    EXPECT_EQ(At(ctl::lstCardData).list_index, 1);
    EXPECT_EQ(At(ctl::lblBrushTimes).caption, "1");
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(At(ctl::chkStatusOK(n)).value, 1) << "track " << n + 1;
    }
    EXPECT_EQ(At(ctl::txtTrackLenght(0)).text, std::to_string(std::strlen(kCardA.track1)));
    EXPECT_EQ(At(ctl::txtTrackLenght(1)).text, std::to_string(std::strlen(kCardA.track2)));
    EXPECT_EQ(At(ctl::txtTrackLenght(2)).text, "0");
    EXPECT_TRUE(view.messages.empty());
}

TEST_P(SwipeE2eTest, TicksWithoutACardChangeNothing) {
    for (int i = 0; i < 5; ++i) {
        logic.Timer1_Timer();
    }
    EXPECT_EQ(At(ctl::lblBrushTimes).caption, "0");
    EXPECT_TRUE(At(ctl::lstCardData).items.empty());
    EXPECT_EQ(At(ctl::txtCardData).text, "");
    EXPECT_TRUE(view.messages.empty());
}

TEST_P(SwipeE2eTest, ThreeTracksAndABadTrack) {
    // Card C with all three tracks.
    ASSERT_EQ(reader->swipe(kCardC.track1, kCardC.track2, kCardC.track3), 0);
    logic.Timer1_Timer();
    EXPECT_EQ(At(ctl::txtCardData).text, Shown({kCardC.track1, kCardC.track2, kCardC.track3}));
    EXPECT_EQ(At(ctl::txtTrackLenght(2)).text, std::to_string(std::strlen(kCardC.track3)));

    // Card B with track 2 unreadable: its box clear, its length 0, no line.
    ASSERT_EQ(reader->swipe(kCardB.track1, kCardB.track2, "", "2"), 0);
    logic.Timer1_Timer();
    EXPECT_EQ(At(ctl::txtCardData).text, Shown({kCardB.track1}));
    EXPECT_EQ(At(ctl::chkStatusOK(0)).value, 1);
    EXPECT_EQ(At(ctl::chkStatusOK(1)).value, 0);
    EXPECT_EQ(At(ctl::txtTrackLenght(1)).text, "0");

    // The list keeps both cards, the last line selected; the counter at 2.
    const std::vector<std::string> listed{kCardC.track1, kCardC.track2, kCardC.track3,
                                          kCardB.track1};
    EXPECT_EQ(At(ctl::lstCardData).items, listed);
    EXPECT_EQ(At(ctl::lstCardData).list_index, 3);
    EXPECT_EQ(At(ctl::lblBrushTimes).caption, "2");
    EXPECT_TRUE(view.messages.empty());
}

TEST_P(SwipeE2eTest, UnpluggedReaderLeavesTheWindowQuiet) {
    ASSERT_EQ(reader->command("unplug"), 0);
    for (int i = 0; i < 5; ++i) {
        logic.Timer1_Timer();
    }
    // The reader tells that no application received the card.
    EXPECT_EQ(reader->swipe(kCardA.track1, kCardA.track2), 3);
    logic.Timer1_Timer();
    EXPECT_EQ(At(ctl::lblBrushTimes).caption, "0");
    EXPECT_TRUE(view.messages.empty());
    EXPECT_FALSE(logic.Ended());
}

INSTANTIATE_TEST_SUITE_P(HidModes, SwipeE2eTest, ::testing::Values("idtech", "magtek"),
                         [](const auto& info) { return std::string(info.param); });

TEST_F(LogicE2eTest, KeyboardModeDecodesNothingAndTheReaderTypes) {
    Serve("kb");
    logic.Form_Load();
    ASSERT_EQ(At(ctl::txtMsrType).text, "USB/KB");
    ASSERT_EQ(reader->swipe(kCardA.track1, kCardA.track2), 0);
    for (int i = 0; i < 3; ++i) {
        logic.Timer1_Timer();
    }
    EXPECT_EQ(At(ctl::lblBrushTimes).caption, "0");
    EXPECT_TRUE(At(ctl::lstCardData).items.empty());
    // Without an X display the reader types into its standard output.
    EXPECT_TRUE(Eventually(
        [&] { return reader->served_output().find(kCardA.track2) != std::string::npos; }, 2000));
}

// The mode change with the real waits: about 4.6 s each (the library's own
// 1.1 s and the window's 3.5 s).
TEST_F(LogicE2eTest, ChangeIdtechToKeyboardToMagtekDetectsEachMode) {
    Serve("idtech");
    // Ticks run while the change lets events run and while its message is up.
    view.on_events = [&] { logic.Timer1_Timer(); };
    // In place of each of the window's waits: until the reader is back on
    // the bus (the library's own waits are real).
    library.on_sleep = [&] {
        ASSERT_TRUE(
            Eventually([&] { return Status().find("bus: plugged\n") != std::string::npos; }, 5000));
    };
    logic.Form_Load();
    ASSERT_EQ(At(ctl::txtMsrType).text, "USB/HID IDTECH");

    struct Step {
        const char* entry;
        const char* status_mode;
        const char* previous;
    };
    const Step steps[] = {{"USB/KB", "mode: 1 ", "USB/HID IDTECH"},
                          {"USB/HID MAGTEK", "mode: 3 ", "USB/KB"}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.entry);
        const size_t messages_before = view.messages.size();
        const size_t log_before = Log().size();
        library.slept.clear();
        Choose(step.entry);
        logic.cmdChangeMode_Click();
        EXPECT_EQ(library.slept, (std::vector<int32_t>{500, 1000, 2000}));

        ASSERT_FALSE(logic.Ended());
        ASSERT_EQ(view.messages.size(), messages_before + 1);
        EXPECT_EQ(view.messages.back(),
                  std::string("USB MSR mode has been changed.\r\n\r\nFrom: ") + step.previous +
                      "\r\n  To  : " + step.entry);
        ASSERT_GT(Log().size(), log_before + 2);
        EXPECT_EQ(Log()[log_before], " ChangeMode = 0");
        EXPECT_EQ(Log()[log_before + 1], " ResetMSR = 0");
        EXPECT_EQ(Log().back(), " open usb -> 0");
        EXPECT_EQ(At(ctl::txtMsrType).text, step.entry);
        EXPECT_TRUE(At(ctl::cmdChangeMode).enabled);
        EXPECT_EQ(At(ctl::cmdChangeMode).caption, "Change Mode");
        EXPECT_TRUE(At(ctl::comboMsrType2).enabled);
        EXPECT_EQ(At(ctl::lblBrushTimes).caption, "0");
        EXPECT_NE(Status().find(step.status_mode), std::string::npos) << Status();
        // What the window sent: the mode change and the reset, accepted.
        const std::string n = std::to_string(&step - steps + 1);
        EXPECT_NE(Status().find("counts: 0 flushes, " + n + " resets, " + n + " mode changes"),
                  std::string::npos)
            << Status();
    }
    const std::string status = Status();
    const size_t change = status.find(" set MR_CMD_CHANGE_MODE accepted: 00 BE 33");
    EXPECT_NE(change, std::string::npos) << status;
    EXPECT_NE(status.find(" set MR_CMD_RESET accepted: 00 FF AA", change), std::string::npos)
        << status;

    // The card of the new mode's layout shows on the next tick.
    ASSERT_EQ(reader->swipe(kCardB.track1, kCardB.track2), 0);
    logic.Timer1_Timer();
    EXPECT_EQ(At(ctl::lstCardData).items, (std::vector<std::string>{kCardB.track1, kCardB.track2}));
    EXPECT_EQ(At(ctl::lblBrushTimes).caption, "1");
}

}  // namespace
}  // namespace kestro::e2e
