// The card read: decoding a report and showing it.
#include "form1_fixture.h"

namespace kestro::testing {
namespace {

constexpr const char* kBefore = "before";

struct DecodeCase {
    const char* name;
    int32_t pid;
    std::optional<std::vector<unsigned char>> report;
    bool decoded;
    std::vector<int> checks;
    std::vector<std::string> lengths;
    std::vector<std::string> lines;
    std::string report_text;  // the error report, empty for none
};

std::vector<unsigned char> Card(int start, const std::string& text) {
    return CardBuffer({0, 0, 0}, {1, 1, 1}, start, text);
}

const std::vector<int> kAllOk = {1, 1, 1};
const std::vector<std::string> kOnes = {"1", "1", "1"};

std::string CardText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

class DecodeTest : public Form1Test, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(DecodeTest, ShowsTheCard) {
    const DecodeCase& c = GetParam();
    Start(c.pid);
    At(ctl::txtCardData).text = kBefore;
    if (c.report) {
        library.reports.push_back(*c.report);
    }

    logic.Timer1_Timer();

    if (!c.decoded) {
        EXPECT_EQ(At(ctl::txtCardData).text, kBefore);
        EXPECT_TRUE(At(ctl::lstCardData).items.empty());
        EXPECT_EQ(logic.BrushTimes, 0);
        EXPECT_EQ(At(ctl::lblBrushTimes).caption, "0");
        for (int n = 0; n < 3; ++n) {
            EXPECT_EQ(At(ctl::chkStatusOK(n)).value, 0);
            EXPECT_EQ(At(ctl::txtTrackLenght(n)).text, "");
        }
        EXPECT_TRUE(view.messages.empty());
        return;
    }
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(At(ctl::chkStatusOK(n)).value, c.checks[n]) << "track " << n + 1;
        EXPECT_EQ(At(ctl::txtTrackLenght(n)).text, c.lengths[n]) << "track " << n + 1;
    }
    EXPECT_EQ(At(ctl::txtCardData).text, CardText(c.lines));
    EXPECT_EQ(At(ctl::lstCardData).items, c.lines);
    EXPECT_EQ(At(ctl::lstCardData).list_index, static_cast<int>(c.lines.size()) - 1);
    EXPECT_EQ(logic.BrushTimes, 1);
    EXPECT_EQ(At(ctl::lblBrushTimes).caption, "1");
    EXPECT_EQ(view.focus, ctl::txtCardData);
    if (c.report_text.empty()) {
        EXPECT_TRUE(view.messages.empty());
    } else {
        EXPECT_EQ(view.messages, std::vector<std::string>{c.report_text});
        EXPECT_EQ(view.message_titles, std::vector<std::string>{kAppTitle});
    }
}

const std::string kZeros("\0\0\0", 3);

INSTANTIATE_TEST_SUITE_P(
    Reports, DecodeTest,
    ::testing::Values(
        DecodeCase{"NoReport", kPidIdtech, std::nullopt, false, {}, {}, {}, ""},
        DecodeCase{"AllLengthsZero",
                   kPidIdtech,
                   CardBuffer({0, 0, 0}, {0, 0, 0}, 12, "AB\r12\r"),
                   false,
                   {},
                   {},
                   {},
                   ""},
        DecodeCase{"Statuses007Lengths10And20",
                   kPidIdtech,
                   CardBuffer({0, 0, 7}, {10, 20, 0}, 12, "%B41111^X?\r;4111=25?\r"),
                   true,
                   {1, 1, 0},
                   {"10", "20", "0"},
                   {"%B41111^X?", ";4111=25?"},
                   ""},
        DecodeCase{"CrZerosCr",
                   kPidIdtech,
                   Card(12, "AB\r" + kZeros + "12\r" + kZeros),
                   true,
                   kAllOk,
                   kOnes,
                   {"AB", "12"},
                   ""},
        DecodeCase{"ZerosWithoutCrJoinTracks",
                   kPidIdtech,
                   Card(12, "AB" + kZeros + "12"),
                   true,
                   kAllOk,
                   kOnes,
                   {"AB12"},
                   ""},
        DecodeCase{"CrLfStartsOneLine",
                   kPidIdtech,
                   Card(12, "AB\r\n12"),
                   true,
                   kAllOk,
                   kOnes,
                   {"AB", "12"},
                   ""},
        DecodeCase{
            "LoneLfIsDropped", kPidIdtech, Card(12, "AB\n12"), true, kAllOk, kOnes, {"AB12"}, ""},
        DecodeCase{"TwoCrsLeaveAnEmptyLine",
                   kPidIdtech,
                   Card(12, "AB\r\r12"),
                   true,
                   kAllOk,
                   kOnes,
                   {"AB", "", "12"},
                   ""},
        DecodeCase{"CrFirstLeavesLineOneEmpty",
                   kPidIdtech,
                   Card(12, "\rAB"),
                   true,
                   kAllOk,
                   kOnes,
                   {"", "AB"},
                   ""},
        DecodeCase{
            "CrLastAddsNoLine", kPidIdtech, Card(12, "AB\r"), true, kAllOk, kOnes, {"AB"}, ""},
        DecodeCase{"OnlyZerosInTheText", kPidIdtech, Card(12, ""), true, kAllOk, kOnes, {}, ""},
        DecodeCase{"NineLinesShowEightAndReport",
                   kPidIdtech,
                   Card(12, "1\r2\r3\r4\r5\r6\r7\r8\r9\r"),
                   true,
                   kAllOk,
                   kOnes,
                   {"1", "2", "3", "4", "5", "6", "7", "8"},
                   "Subscript out of range  9"},
        DecodeCase{"EmptyNinthLineStillReports",
                   kPidIdtech,
                   Card(12, "1\r2\r3\r4\r5\r6\r7\r8\r\r"),
                   true,
                   kAllOk,
                   kOnes,
                   {"1", "2", "3", "4", "5", "6", "7", "8"},
                   "Subscript out of range  9"},
        DecodeCase{"IdtechSkipsBytes10And11",
                   kPidIdtech,
                   Card(10, "XYAB"),
                   true,
                   kAllOk,
                   kOnes,
                   {"AB"},
                   ""},
        DecodeCase{
            "IdtechEndsAt539", kPidIdtech, Card(537, "ABCD"), true, kAllOk, kOnes, {"ABC"}, ""},
        DecodeCase{"MagtekStartsAt10", kPidMagtek, Card(9, "XAB"), true, kAllOk, kOnes, {"AB"}, ""},
        DecodeCase{
            "MagtekEndsAt339", kPidMagtek, Card(338, "ABC"), true, kAllOk, kOnes, {"AB"}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form1Test, CounterAtItsLimitStaysThereAndTheCardIsStillShown) {
    Start(kPidIdtech);
    logic.BrushTimes = 32767;
    library.reports.push_back(Card(12, "AB\r"));

    logic.Timer1_Timer();

    EXPECT_EQ(logic.BrushTimes, 32767);
    EXPECT_EQ(At(ctl::lblBrushTimes).caption, "32767");
    EXPECT_EQ(At(ctl::txtCardData).text, "AB\r\n");
    EXPECT_EQ(view.messages, std::vector<std::string>{"Overflow  6"});
}

TEST_F(Form1Test, TwoCardsInARowShowTheSecondAndListBoth) {
    Start(kPidIdtech);
    library.reports.push_back(Card(12, "A1\rA2\r"));
    library.reports.push_back(CardBuffer({5, 0, 0}, {2, 0, 0}, 12, "B1\r"));

    logic.Timer1_Timer();
    logic.Timer1_Timer();

    EXPECT_EQ(At(ctl::txtCardData).text, "B1\r\n");
    EXPECT_EQ(At(ctl::lstCardData).items, (std::vector<std::string>{"A1", "A2", "B1"}));
    EXPECT_EQ(At(ctl::lstCardData).list_index, 2);
    EXPECT_EQ(At(ctl::lblBrushTimes).caption, "2");
    EXPECT_EQ(At(ctl::chkStatusOK(0)).value, 0);
    EXPECT_EQ(At(ctl::txtTrackLenght(1)).text, "0");
}

TEST_F(Form1Test, KeyboardModeDecodesNothingAndKeepsTheTypedCard) {
    Start(kPidKeyboard);
    At(ctl::txtCardData).text = "%B4111111111111111^TEST/CARD^2512?";
    // Values left by an earlier HID mode must not count as a card.
    logic.TrackLength = {10, 0, 0};

    for (int tick = 0; tick < 3; ++tick) {
        logic.Timer1_Timer();
    }

    EXPECT_EQ(At(ctl::txtCardData).text, "%B4111111111111111^TEST/CARD^2512?");
    EXPECT_EQ(logic.BrushTimes, 0);
    EXPECT_TRUE(At(ctl::lstCardData).items.empty());
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(Form1Test, AFailingControlSkipsItsStepAndIsReported) {
    Start(kPidIdtech);
    view.failing = {"txtTrackLenght"};
    library.reports.push_back(Card(12, "AB\r"));

    logic.Timer1_Timer();

    EXPECT_EQ(At(ctl::txtCardData).text, "AB\r\n");
    EXPECT_EQ(At(ctl::chkStatusOK(2)).value, 1);
    EXPECT_EQ(logic.BrushTimes, 1);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Invalid property value  380"});
    EXPECT_FALSE(logic.Ended());
}

TEST_F(Form1Test, ATickDuringACardReadIsSkipped) {
    Start(kPidIdtech);
    library.reports.push_back(Card(12, "A\r"));
    library.reports.push_back(Card(12, "B\r"));
    const int reads = library.read_calls;
    view.on_events = [&] { logic.Timer1_Timer(); };

    logic.Timer1_Timer();

    EXPECT_EQ(library.read_calls, reads + 1);
    EXPECT_EQ(At(ctl::lstCardData).items, std::vector<std::string>{"A"});
}

TEST_F(Form1Test, TicksWhileAnErrorReportIsOpenDoNotStackReports) {
    Start(kPidIdtech);
    library.missing_exports = {"ReadData"};
    view.on_events = [&] { logic.Timer1_Timer(); };

    logic.Timer1_Timer();

    EXPECT_EQ(view.messages,
              std::vector<std::string>{"Can't find DLL entry point ReadData in kestro.dll  453"});
}

}  // namespace
}  // namespace kestro::testing
