// Every export through every failure point of the platform: each fault of
// each kind, at each call of that kind a session makes, must give the
// export's documented result (or leave it as it was where the library
// tolerates the failure), crash nothing, and leave no handle, event or
// parser data block behind once the session is closed.
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "fixture.h"
#include "kp/faults.h"

using namespace kestro_test;

namespace {

struct Step {
    const char* name;
    std::function<int32_t()> call;
    std::set<int32_t> allowed;  // every result the export documents
};

class FaultTest : public LibraryTest {
  protected:
    // The script: a session that uses every export once, with a card
    // waiting for the reads that expect one.
    std::vector<Step> script() {
        return {
            {"OpenUSB", [] { return OpenUSB(); }, {0, 2}},
            {"SetMrStateEx", [this] { return SetMrStateEx(state_); }, {0, 4, 5}},
            {"GetMrState", [this] { return GetMrState(answer_); }, {0, 1, 3}},
            {"ChangeMode", [] { return ChangeMode(2); }, {0, 5, 6}},
            {"FlushCounter", [] { return FlushCounter(); }, {0, 1}},
            {"RetrieveStatistics", [this] { return RetrieveStatistics(1, answer_, 8); }, {0, 1, 3}},
            {"ResetStatistics", [this] { return ResetStatistics(1, pw1(1), 0); }, {0, 1}},
            {"UpdateStatistics",
             [this] { return UpdateStatistics(1, state_, 4, pw1(1), 0); },
             {0, 1}},
            {"ReadData (card)",
             [this] { return swipe_then([this] { return ReadData(buf_, 2, 0); }); },
             {0, 1, 2, 3}},
            // A card that an earlier failed read left queued may come here.
            {"ReadData (none)", [this] { return ReadData(buf_, 2, 0); }, {0, 1, 2, 3}},
            {"ReadData1 (card)",
             [this] { return swipe_then([this] { return ReadData1(buf_); }); },
             {0, 1, 2}},
            {"CloseUSB", [] { return CloseUSB(); }, {0}},
        };
    }

    void start() {
        reader_ = plug(vr::Mode::Idtech);  // first, so early faults hit the reader
        kp::attach_device(vr::make_mouse());
        enable_trace();
        SetID(MR_PID_IDTECH);
    }

    int32_t pw1(int32_t idx) { return gtime() - idx; }

    int32_t swipe_then(const std::function<int32_t()>& read) {
        vr::Track tracks[3] = {{"%B4111111111111111^TEST/CARD A^30121010000000000000?", 0},
                               {";4111111111111111=30121010000000000?", 0},
                               {"", 0}};
        if (reader_->plugged()) {
            reader_->swipe(tracks);
        }
        return read();
    }

    std::shared_ptr<vr::InProcessReader> reader_;
    unsigned char state_[7] = {1, 2, 3, 4, 5, 6, 7};
    unsigned char answer_[32] = {};
    unsigned char buf_[MR_READ_BUF_LEN] = {};
};

// What a fault does to the export that meets it: fails it, or is absorbed.
enum class Effect { Fails, Tolerated, Either };

Effect effect_of(kp::Call kind, int nth) {
    switch (kind) {
        case kp::Call::DeviceSet:
        case kp::Call::ParserData:
        case kp::Call::Attributes:
        case kp::Call::Capabilities:
        case kp::Call::SetFeature:
        case kp::Call::GetFeature:
        case kp::Call::ReadStart:
        case kp::Call::Completion:
            return Effect::Fails;
        case kp::Call::EnumInterface:
        case kp::Call::InterfaceDetail:
            return nth == 1 ? Effect::Fails : Effect::Tolerated;  // the reader, then the mouse
        case kp::Call::DeviceOpen:
            // The reader's two opens, then the mouse's. Without the read
            // handle the session opens, and the reads report it later.
            return nth == 1 ? Effect::Fails : Effect::Tolerated;
        case kp::Call::Wait:
        case kp::Call::Cancel:
        case kp::Call::EventCreate:
            return Effect::Either;  // a card already there is still delivered
        case kp::Call::FileOpen:
        case kp::Call::FileWrite:
        case kp::Call::Count:
            break;
    }
    return Effect::Tolerated;  // only the trace loses something
}

TEST_F(FaultTest, EveryExportThroughEveryFailurePoint) {
    // The results without any fault.
    start();
    std::vector<int32_t> baseline;
    for (const Step& s : script()) {
        baseline.push_back(s.call());
    }
    ASSERT_EQ(baseline, (std::vector<int32_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0}));
    kp::detach_all_devices();
    ASSERT_EQ(kp::open_handle_count(), 0u);

    std::string table;
    int runs = 0;
    for (int k = 0; k < static_cast<int>(kp::Call::Count); ++k) {
        auto kind = static_cast<kp::Call>(k);
        int nth = 1;
        for (;; ++nth) {
            SCOPED_TRACE(std::string(kp::call_name(kind)) + " #" + std::to_string(nth));
            kp::reset_platform();
            kp::clock_use_virtual(kEpoch);
            kp::set_drive_root(dir());
            start();
            kp::fail_call(kind, nth);
            std::vector<Step> steps = script();
            bool fired = false;
            std::string where;
            for (size_t i = 0; i < steps.size(); ++i) {
                int before = kp::calls_made(kind);
                int32_t r = steps[i].call();
                bool here = !fired && before < nth && kp::calls_made(kind) >= nth;
                EXPECT_TRUE(steps[i].allowed.count(r)) << steps[i].name << " returned " << r;
                if (here) {
                    fired = true;
                    where = std::string(steps[i].name) + " -> " + std::to_string(r);
                    Effect e = effect_of(kind, nth);
                    if (e == Effect::Fails) {
                        EXPECT_NE(r, 0) << steps[i].name << " did not report the failure";
                    } else if (e == Effect::Tolerated) {
                        EXPECT_EQ(r, baseline[i]) << steps[i].name << " failed needlessly";
                    }
                }
            }
            CloseUSB();
            kp::detach_all_devices();
            EXPECT_EQ(kp::open_handle_count(), 0u) << "left behind after the session";
            if (!fired) {
                break;
            }
            ++runs;
            table +=
                std::string(kp::call_name(kind)) + " #" + std::to_string(nth) + ": " + where + "\n";
        }
        EXPECT_GT(nth, 1) << kp::call_name(kind) << " is never reached by the script";
    }
    RecordProperty("fault_points", runs);
    std::printf("%d fault points walked:\n%s", runs, table.c_str());
}

}  // namespace
