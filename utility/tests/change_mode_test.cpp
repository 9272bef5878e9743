// The mode change command.
#include "form1_fixture.h"

namespace kestro::testing {
namespace {

constexpr const char* kRefusal = "Please choice correct USB MSR mode before Change Mode.";

// Picks an entry from the combo's list, as the operator would.
void Choose(FakeView& view, int position) {
    ControlState& combo = view.at(ctl::comboMsrType2);
    combo.list_index = position;
    combo.text = combo.items.at(position);
}

// Types a text into the combo: no list position is selected.
void Type(FakeView& view, const std::string& text) {
    ControlState& combo = view.at(ctl::comboMsrType2);
    combo.list_index = -1;
    combo.text = text;
}

class RefusalTest : public Form1Test, public ::testing::WithParamInterface<const char*> {};

TEST_P(RefusalTest, RefusesWithoutCallingTheLibrary) {
    Start(kPidIdtech);
    Type(view, GetParam());
    const Trace before = trace;
    const std::vector<std::string> log = Log();

    logic.cmdChangeMode_Click();

    EXPECT_EQ(view.messages, std::vector<std::string>{kRefusal});
    EXPECT_EQ(view.message_titles, std::vector<std::string>{""});
    EXPECT_EQ(TraceWithout("MsgBox: " + std::string(kRefusal)), before);
    EXPECT_EQ(Log(), log);
    EXPECT_TRUE(At(ctl::cmdChangeMode).enabled);
    EXPECT_TRUE(At(ctl::comboMsrType2).enabled);
}

INSTANTIATE_TEST_SUITE_P(Choices, RefusalTest,
                         ::testing::Values("USB/HID IDTECH", "", "usb/kb", "USB/HID magtek",
                                           "USB/KB ", "USB"));

TEST_F(Form1Test, ChangeToKeyboardRunsTheWholeSequence) {
    Start(kPidIdtech);
    library.reports.push_back(CardBuffer({0, 0, 0}, {2, 0, 0}, 12, "AB\r"));
    logic.Timer1_Timer();
    ASSERT_EQ(At(ctl::lblBrushTimes).caption, "1");
    Choose(view, 0);
    const std::size_t log_before = Log().size();
    const std::size_t trace_before = trace.size();
    const int64_t clock_before = library.clock_ms;

    struct Locked {
        bool button;
        std::string caption;
        bool label1, label5, mode_box, combo;
    };
    std::optional<Locked> while_running;
    view.on_events = [&] {
        if (!while_running) {
            while_running = Locked{At(ctl::cmdChangeMode).enabled, At(ctl::cmdChangeMode).caption,
                                   At(ctl::Label1).enabled,        At(ctl::Label5).enabled,
                                   At(ctl::txtMsrType).enabled,    At(ctl::comboMsrType2).enabled};
        }
    };

    logic.cmdChangeMode_Click();

    const std::string confirmation =
        "USB MSR mode has been changed.\r\n\r\nFrom: USB/HID IDTECH\r\n  To  : USB/KB";
    const std::vector<std::string> expected_trace = {"DoEvents",
                                                     "ChangeMode(1)",
                                                     "ResetDevice(255)",
                                                     "Sleep(500)",
                                                     "CloseKestro",
                                                     "Sleep(1000)",
                                                     "MsgBox: " + confirmation,
                                                     "Sleep(2000)",
                                                     "SetID(1440)",
                                                     "OpenKestro",
                                                     "CloseKestro",
                                                     "SetID(1456)",
                                                     "OpenKestro",
                                                     "CloseKestro",
                                                     "SetID(1280)",
                                                     "OpenKestro"};
    EXPECT_EQ(Trace(trace.begin() + static_cast<std::ptrdiff_t>(trace_before), trace.end()),
              expected_trace);
    EXPECT_EQ(library.clock_ms - clock_before, 3500);

    const std::vector<std::string> expected_log = {
        " ChangeMode = 0", " ResetMSR = 0",  " set pid -> 0",   " open usb -> 2", " Close usb -> 0",
        " set pid -> 0",   " open usb -> 2", " Close usb -> 0", " set pid -> 0",  " open usb -> 0"};
    EXPECT_EQ(std::vector<std::string>(Log().begin() + static_cast<std::ptrdiff_t>(log_before),
                                       Log().end()),
              expected_log);
    EXPECT_EQ(view.message_titles, std::vector<std::string>{""});

    ASSERT_TRUE(while_running);
    EXPECT_FALSE(while_running->button);
    EXPECT_EQ(while_running->caption, "Changing mode");
    EXPECT_FALSE(while_running->label1);
    EXPECT_FALSE(while_running->label5);
    EXPECT_FALSE(while_running->mode_box);
    EXPECT_FALSE(while_running->combo);

    EXPECT_EQ(At(ctl::txtMsrType).text, "USB/KB");
    EXPECT_EQ(At(ctl::comboMsrType2).text, "USB/KB");
    EXPECT_EQ(At(ctl::txtCardData).geometry, (Twips{0, 0, 10455, 5655}));
    EXPECT_EQ(At(ctl::lblBrushTimes).caption, "0");
    EXPECT_TRUE(At(ctl::lstCardData).items.empty());
    EXPECT_TRUE(At(ctl::cmdChangeMode).enabled);
    EXPECT_EQ(At(ctl::cmdChangeMode).caption, "Change Mode");
    for (const Control& c : {ctl::Label1, ctl::Label5, ctl::txtMsrType, ctl::comboMsrType2}) {
        EXPECT_TRUE(At(c).enabled) << c.name;
    }
    EXPECT_TRUE(library.open);
    EXPECT_FALSE(logic.Ended());
}

TEST_F(Form1Test, ATypedNameSendsTheModeOfTheEntryItMatches) {
    Start(kPidIdtech);
    Type(view, "USB/HID MAGTEK");

    logic.cmdChangeMode_Click();

    EXPECT_NE(std::find(trace.begin(), trace.end(), "ChangeMode(3)"), trace.end());
    EXPECT_EQ(At(ctl::txtMsrType).text, "USB/HID MAGTEK");
    EXPECT_EQ(logic.DataStart, 10);
    EXPECT_EQ(logic.DataEnd, 339);
}

TEST_F(Form1Test, RejectedCommandsAreReportedAsAFailure) {
    Start(kPidIdtech);
    library.change_mode_result = 6;
    library.reset_result = 4;
    Choose(view, 0);

    logic.cmdChangeMode_Click();

    EXPECT_EQ(view.messages, std::vector<std::string>{
                                 "USB MSR mode change failed.\r\n\r\nFrom: USB/HID IDTECH\r\n  To  "
                                 ": USB/KB\r\n\r\nChangeMode = 6\r\nResetMSR = 4"});
    EXPECT_NE(std::find(Log().begin(), Log().end(), " ChangeMode = 6"), Log().end());
    EXPECT_NE(std::find(Log().begin(), Log().end(), " ResetMSR = 4"), Log().end());
    // Detection runs as after any change and finds the mode still in force.
    EXPECT_EQ(At(ctl::txtMsrType).text, "USB/HID IDTECH");
    EXPECT_TRUE(At(ctl::cmdChangeMode).enabled);
}

TEST_F(Form1Test, AReaderThatDoesNotComeBackEndsTheProgramWithControlsLocked) {
    Start(kPidIdtech);
    library.returns_after_reset = false;
    Choose(view, 2);

    logic.cmdChangeMode_Click();

    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[1], "Please connect TORVANEX USB MSR first !!");
    EXPECT_TRUE(view.ended);
    EXPECT_FALSE(At(ctl::Frame1).enabled);
    EXPECT_FALSE(At(ctl::cmdChangeMode).enabled);
    EXPECT_EQ(At(ctl::cmdChangeMode).caption, "Changing mode");
    EXPECT_FALSE(At(ctl::comboMsrType2).enabled);
    EXPECT_EQ(At(ctl::txtMsrType).text, "USB/HID IDTECH");
}

TEST_F(Form1Test, AMissingCommandEndsTheProgramWithControlsLocked) {
    Start(kPidIdtech);
    library.missing_exports = {"ChangeMode"};
    Choose(view, 0);

    logic.cmdChangeMode_Click();

    EXPECT_EQ(
        view.messages,
        std::vector<std::string>{
            "Run-time error '453':\r\n\r\nCan't find DLL entry point ChangeMode in kestro.dll"});
    EXPECT_TRUE(view.ended);
    EXPECT_FALSE(At(ctl::cmdChangeMode).enabled);
}

}  // namespace
}  // namespace kestro::testing
