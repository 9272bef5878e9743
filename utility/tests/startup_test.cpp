// The window's design, start-up, detection, shut-down and the small
// commands.
#include <algorithm>
#include <numeric>
#include <optional>

#include "../logic/form1_design.h"
#include "form1_fixture.h"
#include "view_rules.h"

namespace kestro::testing {
namespace {

// The fake applies the views' rules, so a handler that used a property its
// control does not have would fail the logic's tests.
TEST(ViewRulesTest, TheFakeViewRefusesWhatEachKindDoesNotHave) {
    Trace trace;
    FakeView view{trace};
    ExpectViewRules(view);
}

// What the views cannot tell: every tab index 0 to 25 is given once, and
// every control lies within its container.
TEST(Form1DesignTest, TabIndicesOnceEachAndControlsWithinTheirContainers) {
    const Twips frame = FindDesign(ctl::Frame1)->place;
    std::vector<int> tab_indices;
    for (const ControlDesign& d : Form1Design()) {
        SCOPED_TRACE(std::string(d.control.name) + " " + std::to_string(d.control.index));
        if (d.tab_index >= 0) {
            tab_indices.push_back(d.tab_index);
        }
        EXPECT_LE(d.place.left + d.place.width, d.in_frame ? frame.width : kForm1Width);
        EXPECT_LE(d.place.top + d.place.height, d.in_frame ? frame.height : kForm1Height);
    }
    std::sort(tab_indices.begin(), tab_indices.end());
    std::vector<int> expected(26);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(tab_indices, expected);
    EXPECT_EQ(Form1Design().size(), 27u);
}

constexpr Twips kHidBox{240, 1440, 9975, 1335};
constexpr Twips kFullFrame{0, 0, 10455, 5655};

struct DetectCase {
    const char* name;
    int32_t pid;
    std::vector<std::string> log;
    const char* mode_text;
    int16_t data_start;
    int16_t data_end;
    Twips card_box;
};

class DetectTest : public Form1Test, public ::testing::WithParamInterface<DetectCase> {};

TEST_P(DetectTest, LogsEachTryShowsTheModeAndPreparesTheCardBox) {
    const DetectCase& c = GetParam();
    Start(c.pid);

    EXPECT_EQ(Log(), c.log);
    // The last open line is selected; a Close line after it is not.
    EXPECT_EQ(At(ctl::lstResults).list_index, static_cast<int>(c.log.size()) - 1);
    EXPECT_EQ(At(ctl::txtMsrType).text, c.mode_text);
    EXPECT_EQ(logic.DataStart, c.data_start);
    EXPECT_EQ(logic.DataEnd, c.data_end);
    EXPECT_EQ(At(ctl::txtCardData).geometry, c.card_box);
    EXPECT_TRUE(At(ctl::cmdChangeMode).enabled);
    EXPECT_TRUE(At(ctl::Frame1).enabled);
    EXPECT_TRUE(view.timer_enabled);
    EXPECT_EQ(view.timer_interval, 50);
    EXPECT_EQ(view.focus, ctl::txtCardData);
    EXPECT_TRUE(library.open);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_FALSE(logic.Ended());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, DetectTest,
    ::testing::Values(DetectCase{"Idtech",
                                 kPidIdtech,
                                 {" set pid -> 0", " open usb -> 0"},
                                 "USB/HID IDTECH",
                                 12,
                                 539,
                                 kHidBox},
                      DetectCase{"Magtek",
                                 kPidMagtek,
                                 {" set pid -> 0", " open usb -> 2", " Close usb -> 0",
                                  " set pid -> 0", " open usb -> 0"},
                                 "USB/HID MAGTEK",
                                 10,
                                 339,
                                 kHidBox},
                      DetectCase{
                          "Keyboard",
                          kPidKeyboard,
                          {" set pid -> 0", " open usb -> 2", " Close usb -> 0", " set pid -> 0",
                           " open usb -> 2", " Close usb -> 0", " set pid -> 0", " open usb -> 0"},
                          "USB/KB",
                          0,
                          0,
                          kFullFrame}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form1Test, NoReaderLogsNineLinesDisablesTheFrameTellsTheOperatorAndEnds) {
    Start(std::nullopt);

    const std::vector<std::string> one_try = {" set pid -> 0", " open usb -> 2", " Close usb -> 0"};
    std::vector<std::string> expected;
    for (int i = 0; i < 3; ++i) {
        expected.insert(expected.end(), one_try.begin(), one_try.end());
    }
    EXPECT_EQ(Log(), expected);
    EXPECT_FALSE(At(ctl::Frame1).enabled);
    EXPECT_FALSE(At(ctl::cmdChangeMode).enabled);
    ASSERT_EQ(view.messages, std::vector<std::string>{"Please connect TORVANEX USB MSR first !!"});
    EXPECT_EQ(view.message_titles[0], "");
    EXPECT_TRUE(view.ended);
    EXPECT_TRUE(logic.Ended());
    EXPECT_EQ(trace.back(), "End");
    EXPECT_FALSE(library.open);

    // Nothing runs after the end.
    const int reads = library.read_calls;
    logic.Timer1_Timer();
    EXPECT_EQ(library.read_calls, reads);
}

TEST_F(Form1Test, StartUpShowsTheWindowReadsOnceThenDetects) {
    library.trace_reads = true;
    Start(kPidIdtech);

    const std::vector<std::string> expected = {"Show", "ReadData(2,0)", "SetID(1440)",
                                               "OpenKestro"};
    EXPECT_EQ(trace, expected);
    EXPECT_EQ(At(ctl::txtCardData).back_color, (Rgb{255, 255, 192}));
    EXPECT_EQ(At(ctl::lblBrushTimes).caption, "0");
}

TEST_F(Form1Test, StartUpFillsTheTablesAndTheComboInItsOwnOrder) {
    Start(kPidIdtech);

    EXPECT_EQ(logic.MsrPid, (std::array<int32_t, 3>{0x05A0, 0x05B0, 0x0500}));
    EXPECT_EQ(logic.MsrTypeName,
              (std::array<std::string, 3>{"USB/HID IDTECH", "USB/HID MAGTEK", "USB/KB"}));
    EXPECT_EQ(At(ctl::comboMsrType2).items,
              (std::vector<std::string>{"USB/KB", "USB/HID IDTECH", "USB/HID MAGTEK"}));
    EXPECT_EQ(At(ctl::comboMsrType2).text, "");
    EXPECT_EQ(logic.ReadInterval, 50);
    EXPECT_EQ(logic.BrushTimes, 0);
}

TEST_F(Form1Test, KeyboardModeKeepsTheEarlierTextRange) {
    Start(kPidMagtek);
    library.CloseKestro();
    library.reader_pid = kPidKeyboard;
    logic.DetectReader();

    EXPECT_EQ(At(ctl::txtMsrType).text, "USB/KB");
    EXPECT_EQ(logic.DataStart, 10);
    EXPECT_EQ(logic.DataEnd, 339);
    EXPECT_EQ(At(ctl::txtCardData).geometry, kFullFrame);
}

TEST_F(Form1Test, DetectionClearsStoredTrackValues) {
    Start(kPidIdtech);
    logic.TrackStatus = {1, 2, 3};
    logic.TrackLength = {10, 20, 30};
    library.CloseKestro();
    logic.DetectReader();

    EXPECT_EQ(logic.TrackStatus, (std::array<uint8_t, 3>{}));
    EXPECT_EQ(logic.TrackLength, (std::array<uint8_t, 3>{}));
}

TEST_F(Form1Test, ExitClosesTheLibraryAndEndsWithoutALogLine) {
    Start(kPidIdtech);
    const std::size_t lines = Log().size();

    logic.cmdEXIT_Click();

    EXPECT_EQ(Log().size(), lines);
    EXPECT_FALSE(library.open);
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(std::vector<std::string>(trace.end() - 2, trace.end()),
              (std::vector<std::string>{"CloseKestro", "End"}));
}

TEST_F(Form1Test, ClosingTheWindowClosesTheLibraryAndLogsIt) {
    Start(kPidIdtech);
    int cancel = 0;

    logic.Form_Unload(cancel);

    EXPECT_EQ(cancel, 0);
    EXPECT_EQ(Log().back(), " close usb -> 0");
    EXPECT_EQ(At(ctl::lstResults).list_index, static_cast<int>(Log().size()) - 1);
    EXPECT_FALSE(library.open);
    EXPECT_FALSE(view.ended);  // the window closes by itself
    EXPECT_TRUE(logic.Ended());
}

TEST_F(Form1Test, ClearCardEmptiesTheCardDisplayOnly) {
    Start(kPidIdtech);
    At(ctl::comboMsrType2).text = "USB/KB";
    library.reports.push_back(CardBuffer({0, 1, 0}, {3, 4, 0}, 12, "ABC\r1234\r"));
    logic.Timer1_Timer();
    ASSERT_EQ(At(ctl::lblBrushTimes).caption, "1");
    const std::vector<std::string> log = Log();
    view.focus.reset();

    logic.cmdClearCard_Click();

    EXPECT_TRUE(At(ctl::lstCardData).items.empty());
    EXPECT_EQ(At(ctl::txtCardData).text, "");
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(At(ctl::txtTrackLenght(n)).text, "");
        EXPECT_EQ(At(ctl::chkStatusOK(n)).value, 0);
    }
    EXPECT_EQ(logic.BrushTimes, 0);
    EXPECT_EQ(At(ctl::lblBrushTimes).caption, "0");
    EXPECT_EQ(view.focus, ctl::txtCardData);
    EXPECT_EQ(At(ctl::txtMsrType).text, "USB/HID IDTECH");
    EXPECT_EQ(At(ctl::comboMsrType2).text, "USB/KB");
    EXPECT_EQ(Log(), log);
    EXPECT_TRUE(library.open);
}

TEST_F(Form1Test, HelpStartsTheViewerAndAFailureToStartItEnds) {
    Start(kPidIdtech);
    logic.cmdHELP_Click();
    EXPECT_EQ(view.viewer_starts, 1);
    EXPECT_FALSE(logic.Ended());

    view.viewer_failure = RunTimeError(53, "File not found");
    logic.cmdHELP_Click();
    EXPECT_EQ(view.messages.back(), "Run-time error '53':\r\n\r\nFile not found");
    EXPECT_TRUE(view.ended);
}

TEST_F(Form1Test, MissingLibraryIsReportedByTheFirstReadThenEndsInDetection) {
    library.library_missing = true;
    Start(kPidIdtech);

    const std::vector<std::string> expected = {
        "File not found: kestro.dll  53", "Run-time error '53':\r\n\r\nFile not found: kestro.dll"};
    EXPECT_EQ(view.messages, expected);
    EXPECT_EQ(view.message_titles, (std::vector<std::string>{kAppTitle, ""}));
    EXPECT_TRUE(Log().empty());
    EXPECT_TRUE(view.ended);
    EXPECT_FALSE(view.timer_enabled);
}

struct MissingExportCase {
    const char* name;
    std::vector<std::string> messages;
    bool ends;
};

class MissingExportTest : public Form1Test,
                          public ::testing::WithParamInterface<MissingExportCase> {};

TEST_P(MissingExportTest, OnlyTheCardReadTrapsTheFailure) {
    const MissingExportCase& c = GetParam();
    library.missing_exports = {c.name};
    Start(kPidIdtech);

    EXPECT_EQ(view.messages, c.messages);
    EXPECT_EQ(view.ended, c.ends);
}

INSTANTIATE_TEST_SUITE_P(
    Exports, MissingExportTest,
    ::testing::Values(
        MissingExportCase{
            "ReadData", {"Can't find DLL entry point ReadData in kestro.dll  453"}, false},
        MissingExportCase{
            "SetID",
            {"Run-time error '453':\r\n\r\nCan't find DLL entry point SetID in kestro.dll"},
            true},
        MissingExportCase{
            "OpenKestro",
            {"Run-time error '453':\r\n\r\nCan't find DLL entry point OpenKestro in kestro.dll"},
            true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form1Test, MissingCloseEndsTheProgramWhenTheWindowCloses) {
    Start(kPidIdtech);
    library.missing_exports = {"CloseKestro"};
    int cancel = 0;

    logic.Form_Unload(cancel);

    EXPECT_EQ(view.messages.back(),
              "Run-time error '453':\r\n\r\nCan't find DLL entry point CloseKestro in kestro.dll");
    EXPECT_TRUE(view.ended);
}

}  // namespace
}  // namespace kestro::testing
