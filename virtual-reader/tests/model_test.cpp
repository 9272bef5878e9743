// Tests of the reader's device model: identity, swipe reports and keystrokes,
// and the feature commands with their faults.
#include "vr/model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace vr {
namespace {

using Bytes = std::vector<uint8_t>;

const std::string kCardAT1 = "%B4111111111111111^TEST/CARD A^30121010000000000000?";
const std::string kCardAT2 = ";4111111111111111=30121010000000000?";

// A 25-byte command frame: report id 0, the code, the parameters, zeros.
Bytes frame(uint8_t code, std::initializer_list<uint8_t> params = {}) {
    Bytes f(kFeatureLength, 0);
    f[1] = code;
    size_t i = 2;
    for (uint8_t p : params) {
        f[i++] = p;
    }
    return f;
}

bool send(ReaderModel& m, const Bytes& report, Effect* effect = nullptr) {
    return m.set_feature(report.data(), report.size(), effect);
}

Bytes get(ReaderModel& m, size_t length = kFeatureLength) {
    Bytes out(length, 0xEE);
    EXPECT_TRUE(m.get_feature(out.data(), out.size()));
    return out;
}

Bytes update_frame(uint8_t index, const Bytes& data) {
    Bytes f = frame(0xE0, {index, static_cast<uint8_t>(data.size())});
    std::copy(data.begin(), data.end(), f.begin() + 4);
    return f;
}

// Report bytes from `at` on, as text, up to `count` bytes.
std::string text_at(const Bytes& report, size_t at, size_t count) {
    return std::string(report.begin() + at, report.begin() + at + count);
}

TEST(ModelIdentity, EachModeHasItsIdNameAndReportLength) {
    struct Case {
        Mode mode;
        uint16_t pid;
        std::string name;
        size_t report_length;
    };
    for (const Case& c : {Case{Mode::Keyboard, 0x0500, "USB/KB", 0},
                          Case{Mode::Idtech, 0x05A0, "USB/HID IDTECH", 538},
                          Case{Mode::Magtek, 0x05B0, "USB/HID MAGTEK", 338}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(product_id(c.mode), c.pid);
        EXPECT_EQ(std::string(mode_name(c.mode)), c.name);
        EXPECT_EQ(input_report_length(c.mode), c.report_length);
        ReaderModel m(c.mode);
        EXPECT_EQ(m.mode(), c.mode);
        EXPECT_EQ(m.pending_mode(), c.mode);
        EXPECT_EQ(m.product_id(), c.pid);
    }
}

TEST(ModelIdentity, StartsWithZeroStateAndEmptyRecords) {
    ReaderModel m;
    EXPECT_EQ(m.mode(), Mode::Idtech);
    for (uint8_t b : m.state()) {
        EXPECT_EQ(b, 0);
    }
    for (int i = -1; i <= kStatRecords + 1; ++i) {
        EXPECT_TRUE(m.statistics(i).empty()) << i;
    }
    EXPECT_EQ(m.flush_count(), 0u);
    EXPECT_EQ(get(m), Bytes(kFeatureLength, 0));  // nothing requested yet
}

struct HidLayout {
    Mode mode;
    size_t text_at;
    size_t length;
};
const HidLayout kHidLayouts[] = {{Mode::Idtech, 10, 538}, {Mode::Magtek, 8, 338}};

TEST(ModelSwipe, CardAIsLaidOutByteForByteInBothHidModes) {
    const Track tracks[3] = {{kCardAT1, 0}, {kCardAT2, 0}, {}};
    for (const HidLayout& l : kHidLayouts) {
        SCOPED_TRACE(mode_name(l.mode));
        Bytes expected(l.length, 0);
        expected[4] = 52;  // track 1 length
        expected[5] = 36;  // track 2 length
        const std::string text = kCardAT1 + "\r" + kCardAT2 + "\r";
        std::copy(text.begin(), text.end(), expected.begin() + l.text_at);
        EXPECT_EQ(ReaderModel(l.mode).swipe_report(tracks), expected);
    }
    EXPECT_TRUE(ReaderModel(Mode::Keyboard).swipe_report(tracks).empty());
}

TEST(ModelSwipe, FailedAndEmptyTracksSendStatusButNoText) {
    const Track tracks[3] = {{kCardAT1, 0x07}, {}, {"+123?", 0}};
    for (const HidLayout& l : kHidLayouts) {
        SCOPED_TRACE(mode_name(l.mode));
        Bytes r = ReaderModel(l.mode).swipe_report(tracks);
        ASSERT_EQ(r.size(), l.length);
        Bytes head(l.text_at, 0);
        head[1] = 7;
        head[6] = 5;
        EXPECT_EQ(Bytes(r.begin(), r.begin() + l.text_at), head);
        // Track 3 comes first in the text; nothing of the failed track 1.
        Bytes expected_rest(l.length - l.text_at, 0);
        const std::string text = "+123?\r";
        std::copy(text.begin(), text.end(), expected_rest.begin());
        EXPECT_EQ(Bytes(r.begin() + l.text_at, r.end()), expected_rest);
    }
}

TEST(ModelSwipe, OverlongTextIsCutAtTheEndOfTheReport) {
    const std::string long_track(300, '7');
    const Track tracks[3] = {{std::string(250, 'a'), 0}, {long_track, 0}, {"zz", 0}};
    for (const HidLayout& l : kHidLayouts) {
        SCOPED_TRACE(mode_name(l.mode));
        Bytes r = ReaderModel(l.mode).swipe_report(tracks);
        ASSERT_EQ(r.size(), l.length);
        EXPECT_EQ(r[4], 250);
        EXPECT_EQ(r[5], 255);  // capped, not wrapped to 300 - 256
        const size_t room = l.length - l.text_at;
        EXPECT_EQ(text_at(r, l.text_at, 251), std::string(250, 'a') + "\r");
        // Track 2 fills the rest; its carriage return and track 3 do not fit.
        const size_t second = l.text_at + 251;
        EXPECT_EQ(text_at(r, second, l.length - second), long_track.substr(0, room - 251));
        EXPECT_EQ(r[6], 2);
    }
}

TEST(ModelKeystrokes, TypesEachTrackWithCarriageReturns) {
    struct Case {
        const char* name;
        Track tracks[3];
        std::string typed;
    };
    const Case cases[] = {
        {"card A", {{kCardAT1, 0}, {kCardAT2, 0}, {}}, kCardAT1 + "\r" + kCardAT2 + "\r"},
        {"failed track 1", {{kCardAT1, 3}, {kCardAT2, 0}, {}}, "%E?\r" + kCardAT2 + "\r"},
        {"failed tracks 2 and 3", {{}, {"x", 1}, {"", 9}}, ";E?\r;E?\r"},
        {"track 3 only", {{}, {}, {";0112?", 0}}, ";0112?\r"},
        {"nothing read", {{}, {}, {}}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReaderModel::keystrokes(c.tracks), c.typed) << c.name;
    }
}

// Each command with well-formed and malformed parameters, on a fresh reader.
TEST(ModelCommands, AcceptsWellFormedAndRejectsMalformedReports) {
    struct Case {
        const char* name;
        Bytes report;
        bool accepted;
    };
    Bytes not_report_id_0 = frame(0xBF);
    not_report_id_0[0] = 0x01;
    const Case cases[] = {
        {"set state", frame(0xB2, {1, 2, 3, 4, 5, 6, 7}), true},
        {"set state short", Bytes{0, 0xB2, 1, 2, 3, 4, 5, 6, 7, 0}, true},
        {"set state 9 bytes", Bytes{0, 0xB2, 1, 2, 3, 4, 5, 6, 7}, false},
        {"get state", frame(0xB3), true},
        {"change mode 1", frame(0xBE, {'1'}), true},
        {"change mode 3", frame(0xBE, {'3'}), true},
        {"change mode 0", frame(0xBE, {'0'}), false},
        {"change mode 4", frame(0xBE, {'4'}), false},
        {"change mode binary 2", frame(0xBE, {2}), false},
        {"change mode without mode byte", Bytes{0, 0xBE}, false},
        {"flush", frame(0xBF), true},
        {"reset", frame(0xFF, {0xAA, 0xFF}), true},
        {"reset without mark", frame(0xFF, {0xAB, 0xFF}), false},
        {"reset cut short", Bytes{0, 0xFF}, false},
        {"reset statistics 1", frame(0xC0, {1}), true},
        {"reset statistics 15", frame(0xC0, {15}), true},
        {"reset statistics 0", frame(0xC0, {0}), false},
        {"reset statistics 16", frame(0xC0, {16}), false},
        {"retrieve 15", frame(0xD0, {15}), true},
        {"retrieve 0", frame(0xD0, {0}), false},
        {"retrieve 16", frame(0xD0, {16}), false},
        {"update len 0", frame(0xE0, {1, 0}), true},
        {"update len 21", update_frame(15, Bytes(21, 0x5A)), true},
        {"update len 22", frame(0xE0, {1, 22}), false},
        {"update 0", frame(0xE0, {0, 1, 9}), false},
        {"update 16", frame(0xE0, {16, 1, 9}), false},
        {"update data beyond the report", Bytes{0, 0xE0, 1, 3, 9, 9}, false},
        {"unknown code", frame(0xB4), false},
        {"code 0", frame(0x00), false},
        {"report id 1", not_report_id_0, false},
        {"report id only", Bytes{0}, false},
        {"empty report", Bytes{}, false},
    };
    for (const Case& c : cases) {
        ReaderModel m;
        EXPECT_EQ(send(m, c.report), c.accepted) << c.name;
        ASSERT_EQ(m.received.size(), 1u) << c.name;
        EXPECT_EQ(m.received[0], c.report) << c.name;
    }
}

TEST(ModelCommands, RejectAllRefusesEveryCommandAndChangesNothing) {
    ReaderModel m;
    m.faults.reject_all = true;
    const Bytes reports[] = {frame(0xB2, {9, 9, 9, 9, 9, 9, 9}),
                             frame(0xB3),
                             frame(0xBE, {'3'}),
                             frame(0xBF),
                             frame(0xFF, {0xAA, 0xFF}),
                             update_frame(2, {1, 2}),
                             frame(0xD0, {2})};
    for (const Bytes& r : reports) {
        Effect effect = Effect::Restart;
        EXPECT_FALSE(send(m, r, &effect));
        EXPECT_EQ(effect, Effect::None);
    }
    EXPECT_EQ(m.received.size(), std::size(reports));
    EXPECT_EQ(m.state()[0], 0);
    EXPECT_EQ(m.pending_mode(), Mode::Idtech);
    EXPECT_EQ(m.flush_count(), 0u);
    EXPECT_TRUE(m.statistics(2).empty());
    EXPECT_EQ(get(m), Bytes(kFeatureLength, 0));
}

TEST(ModelCommands, OnlyAnAcceptedResetAsksForARestart) {
    ReaderModel m;
    Effect effect = Effect::None;
    EXPECT_TRUE(send(m, frame(0xFF, {0xAA, 0xFF}), &effect));
    EXPECT_EQ(effect, Effect::Restart);
    EXPECT_TRUE(send(m, frame(0xBF), &effect));
    EXPECT_EQ(effect, Effect::None);
    effect = Effect::Restart;
    EXPECT_FALSE(send(m, frame(0xFF, {0x00, 0xFF}), &effect));
    EXPECT_EQ(effect, Effect::None);
    EXPECT_TRUE(send(m, frame(0xFF, {0xAA, 0x01})));  // no effect pointer
}

TEST(ModelCommands, ReceivedKeepsEveryReportWhole) {
    ReaderModel m;
    Bytes oversized = frame(0xBF);
    oversized.resize(40, 0x77);
    const Bytes reports[] = {frame(0xBE, {'1'}), Bytes{0, 0xB2, 1, 2, 3, 4, 5, 6, 7, 0}, Bytes{5},
                             oversized};
    for (const Bytes& r : reports) {
        send(m, r);
    }
    ASSERT_EQ(m.received.size(), std::size(reports));
    for (size_t i = 0; i < std::size(reports); ++i) {
        EXPECT_EQ(m.received[i], reports[i]) << i;
    }
    EXPECT_EQ(m.flush_count(), 1u);  // the 40-byte flush is read as its frame
    EXPECT_TRUE(send(m, frame(0xBF)));
    EXPECT_EQ(m.flush_count(), 2u);
}

TEST(ModelSetState, StoresTheSevenBytesUnchanged) {
    const Bytes state = {0x00, 0xFF, 0x01, 0x80, 0x7F, 0xFF, 0x00};
    for (size_t length : {size_t{25}, size_t{10}, size_t{17}, size_t{32}}) {
        ReaderModel m;
        Bytes r = frame(0xB2, {0x00, 0xFF, 0x01, 0x80, 0x7F, 0xFF, 0x00});
        r.resize(length, 0);
        ASSERT_TRUE(send(m, r)) << length;
        EXPECT_EQ(Bytes(m.state().begin(), m.state().end()), state) << length;
    }
}

TEST(ModelSetState, LongAndShortFormFaults) {
    struct Case {
        bool reject_long;
        bool reject_short;
        bool long_accepted;
        bool short_accepted;
        bool odd_accepted;  // 17 bytes, treated like the long form
    };
    const Case cases[] = {{false, false, true, true, true},
                          {true, false, false, true, false},
                          {false, true, true, false, true},
                          {true, true, false, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.reject_long << c.reject_short);
        ReaderModel m;
        m.faults.reject_long_set_state = c.reject_long;
        m.faults.reject_short_set_state = c.reject_short;
        Bytes r = frame(0xB2, {1, 2, 3, 4, 5, 6, 7});
        EXPECT_EQ(send(m, r), c.long_accepted);
        EXPECT_EQ(m.set_feature(r.data(), 10, nullptr), c.short_accepted);
        EXPECT_EQ(m.set_feature(r.data(), 17, nullptr), c.odd_accepted);
        const bool any = c.long_accepted || c.short_accepted;
        EXPECT_EQ(m.state()[6], any ? 7 : 0);
    }
}

TEST(ModelGetState, AnswerLayoutInEachMode) {
    struct Case {
        Mode mode;
        uint8_t number;
        uint8_t pid_low;
        uint8_t pid_high;
    };
    for (const Case& c : {Case{Mode::Keyboard, 1, 0x00, 0x05}, Case{Mode::Idtech, 2, 0xA0, 0x05},
                          Case{Mode::Magtek, 3, 0xB0, 0x05}}) {
        SCOPED_TRACE(mode_name(c.mode));
        ReaderModel m(c.mode);
        ASSERT_TRUE(send(m, frame(0xB2, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xFF})));
        ASSERT_TRUE(send(m, frame(0xB3)));
        Bytes expected(kFeatureLength, 0);
        const Bytes head = {0x00, 0xB3, 0x11,     0x22,      0x33,       0x44, 0x55,
                            0x66, 0xFF, c.number, c.pid_low, c.pid_high, 0x00, 0x01};
        std::copy(head.begin(), head.end(), expected.begin());
        EXPECT_EQ(get(m), expected);
        EXPECT_EQ(get(m), expected);  // a second get answers the same
    }
}

TEST(ModelGetFeature, WritesNoMoreThanTheFrameAndTheBuffer) {
    ReaderModel m(Mode::Magtek);
    ASSERT_TRUE(send(m, frame(0xB3)));
    Bytes big = get(m, 40);
    EXPECT_EQ(big[11], 0x05);
    EXPECT_EQ(Bytes(big.begin() + 25, big.end()), Bytes(15, 0xEE));
    Bytes small = get(m, 11);
    EXPECT_EQ(small, (Bytes{0, 0xB3, 0, 0, 0, 0, 0, 0, 0, 3, 0xB0}));
}

TEST(ModelGetFeature, FailGetFailsWithoutTouchingTheBuffer) {
    ReaderModel m;
    ASSERT_TRUE(send(m, frame(0xB3)));
    m.faults.fail_get = true;
    Bytes out(kFeatureLength, 0xEE);
    EXPECT_FALSE(m.get_feature(out.data(), out.size()));
    EXPECT_EQ(out, Bytes(kFeatureLength, 0xEE));
    m.faults.fail_get = false;
    EXPECT_EQ(get(m)[1], 0xB3);  // the answer is still there
}

TEST(ModelStatistics, UpdateRetrieveAndResetRoundTrip) {
    ReaderModel m;
    const Bytes data = {0x00, 0xFF, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60};
    ASSERT_TRUE(send(m, update_frame(1, data)));
    ASSERT_TRUE(send(m, update_frame(15, Bytes(21, 0x42))));
    EXPECT_EQ(m.statistics(1), data);
    EXPECT_EQ(m.statistics(15), Bytes(21, 0x42));

    ASSERT_TRUE(send(m, frame(0xD0, {1})));
    Bytes expected(kFeatureLength, 0);
    expected[1] = 8;
    std::copy(data.begin(), data.end(), expected.begin() + 2);
    EXPECT_EQ(get(m), expected);

    ASSERT_TRUE(send(m, frame(0xD0, {15})));
    Bytes full = get(m);
    EXPECT_EQ(full[1], 21);
    EXPECT_EQ(Bytes(full.begin() + 2, full.begin() + 23), Bytes(21, 0x42));
    EXPECT_EQ(full[23], 0);
    EXPECT_EQ(full[24], 0);

    EXPECT_FALSE(send(m, frame(0xD0, {16})));  // a rejected request keeps the answer
    EXPECT_EQ(get(m)[1], 21);

    ASSERT_TRUE(send(m, frame(0xC0, {1})));
    EXPECT_TRUE(m.statistics(1).empty());
    EXPECT_EQ(m.statistics(15), Bytes(21, 0x42));  // other records untouched
    ASSERT_TRUE(send(m, frame(0xD0, {1})));
    Bytes cleared(kFeatureLength, 0);
    EXPECT_EQ(get(m), cleared);

    // An update replaces the record, also with fewer bytes.
    ASSERT_TRUE(send(m, update_frame(15, {7})));
    EXPECT_EQ(m.statistics(15), Bytes{7});
}

TEST(ModelStatistics, ForcedRetrieveCountFillsWithAPattern) {
    const Bytes record = {1, 2, 3};
    for (int count : {0, 8, 23, 40, 300}) {
        SCOPED_TRACE(count);
        ReaderModel m;
        m.faults.retrieve_count = count;
        ASSERT_TRUE(send(m, update_frame(9, record)));
        ASSERT_TRUE(send(m, frame(0xD0, {9})));
        Bytes r = get(m);
        EXPECT_EQ(r[0], 0);
        EXPECT_EQ(r[1], count > 255 ? 255 : count);
        EXPECT_EQ(Bytes(r.begin() + 2, r.begin() + 5), record);
        for (size_t at = 5; at < kFeatureLength; ++at) {
            EXPECT_EQ(r[at], 0xA0 + (at - 2)) << at;
        }
    }
}

TEST(ModelModeChange, TakesEffectOnlyAtRestart) {
    ReaderModel m(Mode::Idtech);
    ASSERT_TRUE(send(m, frame(0xB2, {4, 4, 4, 4, 4, 4, 4})));
    ASSERT_TRUE(send(m, update_frame(3, {8})));
    ASSERT_TRUE(send(m, frame(0xBE, {'3'})));
    EXPECT_EQ(m.mode(), Mode::Idtech);
    EXPECT_EQ(m.pending_mode(), Mode::Magtek);
    EXPECT_EQ(m.product_id(), 0x05A0);
    const Track tracks[3] = {{kCardAT1, 0}, {}, {}};
    EXPECT_EQ(m.swipe_report(tracks).size(), 538u);

    Effect effect = Effect::None;
    ASSERT_TRUE(send(m, frame(0xFF, {0xAA, 0xFF}), &effect));
    ASSERT_EQ(effect, Effect::Restart);
    EXPECT_EQ(m.mode(), Mode::Idtech);  // not until the host restarts it

    ASSERT_TRUE(send(m, frame(0xB3)));
    m.restart();
    EXPECT_EQ(m.mode(), Mode::Magtek);
    EXPECT_EQ(m.product_id(), 0x05B0);
    EXPECT_EQ(m.swipe_report(tracks).size(), 338u);
    EXPECT_EQ(get(m), Bytes(kFeatureLength, 0));  // the answer went with the restart
    EXPECT_EQ(m.state()[0], 4);                   // configuration and records survive
    EXPECT_EQ(m.statistics(3), Bytes{8});

    ASSERT_TRUE(send(m, frame(0xBE, {'1'})));
    ASSERT_TRUE(send(m, frame(0xBE, {'2'})));  // the last request wins
    m.restart();
    EXPECT_EQ(m.mode(), Mode::Idtech);
    m.restart();  // a restart without a request keeps the mode
    EXPECT_EQ(m.mode(), Mode::Idtech);
}

// Each fault the model acts on, set once or until cleared: the first
// matching request meets it, the second only when it stays; a request it
// does not apply to leaves a fault set once in place.
TEST(ModelScenario, FaultsSetOnceHitOnceAndOthersStay) {
    const Bytes long_state = frame(0xB2, {1, 2, 3, 4, 5, 6, 7});
    const Bytes short_state(long_state.begin(), long_state.begin() + 10);
    auto accepted = [](ReaderModel& m, const Bytes& r) { return send(m, r); };
    auto answered = [](ReaderModel& m, const Bytes& r) {
        Bytes out(kFeatureLength, 0);
        return send(m, r) && m.get_feature(out.data(), out.size());
    };
    auto count_ok = [](ReaderModel& m, const Bytes& r) {
        Bytes out(kFeatureLength, 0);
        return send(m, r) && m.get_feature(out.data(), out.size()) && out[1] == 0;
    };
    struct Case {
        Fault fault;
        Bytes hits;    // a request the fault applies to
        Bytes misses;  // one it does not apply to
        std::function<bool(ReaderModel&, const Bytes&)> works;
    };
    const Case cases[] = {
        {Fault::RejectLongConfig, long_state, short_state, accepted},
        {Fault::RejectShortConfig, short_state, long_state, accepted},
        {Fault::RejectCommands, frame(0xBF), Bytes{}, accepted},
        {Fault::FailGet, frame(0xB3), Bytes{}, answered},
        {Fault::BadRetrieveCount, frame(0xD0, {4}), frame(0xB3), count_ok},
    };
    for (const Case& c : cases) {
        for (bool once : {true, false}) {
            SCOPED_TRACE(testing::Message() << fault_info(c.fault).name << " once " << once);
            ReaderModel m;
            m.scenario.set(c.fault, once, -1);
            if (!c.misses.empty()) {
                c.works(m, c.misses);
                EXPECT_TRUE(m.scenario.on(c.fault)) << "a request it does not apply to";
            }
            EXPECT_FALSE(c.works(m, c.hits));
            EXPECT_EQ(c.works(m, c.hits), once);
            m.scenario.clear(c.fault);
            EXPECT_TRUE(c.works(m, c.hits));
        }
    }
    ReaderModel m;  // a bad count given, instead of the default 255
    m.scenario.set(Fault::BadRetrieveCount, true, 30);
    ASSERT_TRUE(send(m, frame(0xD0, {4})));
    EXPECT_EQ(get(m)[1], 30);
}

TEST(ModelScenario, CatalogueNamesEveryFaultOnceInOrder) {
    std::vector<std::string> names;
    for (size_t i = 0; i < kFaultCount; ++i) {
        const FaultInfo& f = fault_catalogue()[i];
        EXPECT_EQ(static_cast<size_t>(f.fault), i);
        EXPECT_EQ(find_fault(f.name), &f);
        EXPECT_EQ(std::string(f.effect).find('\n'), std::string::npos) << f.name;
        names.push_back(f.name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
    EXPECT_EQ(find_fault("no-such-fault"), nullptr);
}

// The history keeps the last reports, with their time, whether they were
// accepted or answered, and the command they carry; the counts follow.
TEST(ModelHistory, KeepsTheLastReportsNamedAndTimedAndCountsCommands) {
    ReaderModel m;
    int64_t now = 1000;
    m.set_clock([&now] { return now; });
    struct Case {
        Bytes report;
        bool accepted;
        const char* command;
    };
    Bytes oversized = frame(0xBF);
    oversized.resize(40, 0x77);
    const Case cases[] = {
        {frame(0xB2, {1, 2, 3, 4, 5, 6, 7}), true, "MR_CMD_SET_STATE"},
        {Bytes{0, 0xB2, 1, 2, 3, 4, 5, 6, 7, 0}, true, "MR_CMD_SET_STATE short"},
        {frame(0xBE, {'3'}), true, "MR_CMD_CHANGE_MODE"},
        {frame(0xBE, {'9'}), false, "MR_CMD_CHANGE_MODE"},
        {frame(0xFF, {0xAA, 0xFF}), true, "MR_CMD_RESET"},
        {oversized, true, "MR_CMD_FLUSH_COUNTER"},
        {frame(0xC0, {2}), true, "MR_CMD_RESET_STATISTICS"},
        {frame(0xE0, {2, 0}), true, "MR_CMD_UPDATE_STATISTICS"},
        {frame(0xD0, {2}), true, "MR_CMD_RETRIEVE_STATISTICS"},
        {frame(0x42), false, "unknown"},
        {Bytes{1, 0xB3}, false, "unknown"},
        {frame(0xB3), true, "MR_CMD_GET_STATE"},
    };
    for (const Case& c : cases) {
        now += 10;
        send(m, c.report);
    }
    now += 10;
    Bytes answer = get(m);
    ASSERT_EQ(m.history().size(), std::size(cases) + 1);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const FeatureRecord& r = m.history()[i];
        SCOPED_TRACE(cases[i].command);
        EXPECT_EQ(r.time_ms, 1010 + 10 * static_cast<int64_t>(i));
        EXPECT_FALSE(r.get);
        EXPECT_EQ(r.accepted, cases[i].accepted);
        EXPECT_EQ(r.command, cases[i].command);
        EXPECT_EQ(r.length, cases[i].report.size());
        const size_t kept = std::min(cases[i].report.size(), kFeatureLength);
        EXPECT_EQ(r.bytes, Bytes(cases[i].report.begin(), cases[i].report.begin() + kept));
    }
    const FeatureRecord& last = m.history().back();
    EXPECT_TRUE(last.get);
    EXPECT_EQ(last.command, "MR_CMD_GET_STATE");
    EXPECT_EQ(last.bytes, answer);
    EXPECT_EQ(m.flush_count(), 1u);
    EXPECT_EQ(m.reset_count(), 1u);
    EXPECT_EQ(m.mode_change_count(), 1u);

    for (int i = 0; i < 40; ++i) {
        send(m, frame(0xBF));
    }
    EXPECT_EQ(m.history().size(), ReaderModel::kHistoryLength);
    EXPECT_EQ(m.history().front().command, "MR_CMD_FLUSH_COUNTER");
    EXPECT_EQ(m.flush_count(), 41u);

    // A shorter history drops the oldest at once; none keeps none, even
    // of a request left unanswered.
    m.set_history_length(3);
    EXPECT_EQ(m.history().size(), 3u);
    m.set_history_length(0);
    m.note_unanswered(false, frame(0xBF).data(), kFeatureLength);
    EXPECT_TRUE(m.history().empty());
    m.set_history_length(ReaderModel::kHistoryLength);
    send(m, frame(0xBF));
    EXPECT_EQ(m.history().size(), 1u);
    m.clear_counts();
    EXPECT_TRUE(m.history().empty());
    EXPECT_EQ(m.flush_count() + m.reset_count() + m.mode_change_count(), 0u);
}

}  // namespace
}  // namespace vr
