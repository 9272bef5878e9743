// Every scenario fault of the reader, set with the program's `fault`
// command, as an application meets it through libkestro.so (loaded at run
// time, as an application loads it): the call's result under the fault,
// what `status` shows the application sent, and the same call once the
// fault is over.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "kestro.h"
#include "reader_harness.h"

namespace {

using vr::harness::Eventually;

// The exports the cases call, bound from the shared library.
struct Kestro {
    decltype(&::SetID) SetID = nullptr;
    decltype(&::OpenUSB) OpenUSB = nullptr;
    decltype(&::CloseUSB) CloseUSB = nullptr;
    decltype(&::ReadData) ReadData = nullptr;
    decltype(&::SetMrStateEx) SetMrStateEx = nullptr;
    decltype(&::GetMrState) GetMrState = nullptr;
    decltype(&::FlushCounter) FlushCounter = nullptr;
    decltype(&::RetrieveStatistics) RetrieveStatistics = nullptr;
};

template <typename F>
bool bind(void* library, const char* name, F* f) {
    *f = reinterpret_cast<F>(dlsym(library, name));
    return *f != nullptr;
}

class FaultE2eTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // A reader that does not answer is given up after 150 ms, not 2 s.
        setenv("KESTRO_SERVED_TIMEOUT_MS", "150", 1);
        library_ = dlopen(KESTRO_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (library_ == nullptr) {
            return;
        }
        bool all = bind(library_, "SetID", &k.SetID) && bind(library_, "OpenUSB", &k.OpenUSB) &&
                   bind(library_, "CloseUSB", &k.CloseUSB) &&
                   bind(library_, "ReadData", &k.ReadData) &&
                   bind(library_, "SetMrStateEx", &k.SetMrStateEx) &&
                   bind(library_, "GetMrState", &k.GetMrState) &&
                   bind(library_, "FlushCounter", &k.FlushCounter) &&
                   bind(library_, "RetrieveStatistics", &k.RetrieveStatistics);
        if (!all) {
            dlclose(library_);
            library_ = nullptr;
        }
    }

    void SetUp() override {
        // The library traces into /kestro.log whenever that file exists; a
        // test must not write into it, so it does not run then.
        if (access("/kestro.log", F_OK) == 0) {
            GTEST_SKIP() << "/kestro.log exists: the library would trace into it";
        }
        ASSERT_NE(library_, nullptr) << dlerror();
        ASSERT_FALSE(runtime_.path().empty());
    }

    void TearDown() override {
        if (library_ != nullptr) {
            k.CloseUSB();
        }
    }

    // A new session with the IDTECH reader, found within `ms`.
    int32_t open_within(int ms) {
        k.CloseUSB();
        k.SetID(MR_PID_IDTECH);
        int32_t rc = 2;
        Eventually(
            [&] {
                rc = k.OpenUSB();
                return rc == 0;
            },
            ms);
        return rc;
    }

    static Kestro k;
    static void* library_;
    vr::harness::RuntimeDir runtime_;
};

Kestro FaultE2eTest::k;
void* FaultE2eTest::library_ = nullptr;

TEST_F(FaultE2eTest, EachFaultAsTheApplicationMeetsItAndAfterwards) {
    using Reader = vr::harness::VirtualReader;
    const unsigned char state[MR_STATE_LEN] = {1, 2, 3, 4, 5, 6, 7};
    unsigned char buf[MR_READ_BUF_LEN];
    auto set_state = [&](Reader&) { return k.SetMrStateEx(state); };
    auto get_state = [&](Reader&) { return k.GetMrState(buf); };
    auto flush = [&](Reader&) { return k.FlushCounter(); };
    auto retrieve = [&](Reader&) { return k.RetrieveStatistics(1, buf, MR_STAT_ANSWER_MAX); };
    // A card swiped, then read with a wait of `ms`.
    auto read_within = [&](int ms) {
        return [&buf, ms](Reader& r) {
            EXPECT_EQ(r.command("swipe"), 0);
            return k.ReadData(buf, ms, 0);
        };
    };
    struct Case {
        std::vector<std::vector<std::string>> faults;  // `fault` commands
        bool short_form;                       // the reader announces 10-byte feature reports
        std::function<int32_t(Reader&)> call;  // what the application does
        int32_t meets;                         // its result under the fault
        const char* shows;                     // a line of `status` after it
        bool clear;                            // the fault is cleared, else it ends by itself
        int32_t then;                          // the result once the fault is over
    };
    const Case cases[] = {
        {{{"leave-bus"}}, false, set_state, 5, "bus: away", true, 0},
        {{{"leave-bus", "50"}}, false, set_state, 5, "", false, 0},  // back by itself
        {{{"stall-reads"}}, false, read_within(20), 3, "faults: stall-reads", true, 0},
        {{{"read-error", "--once"}}, false, read_within(1000), 3, "faults: none", false, 0},
        {{{"reject-long-config", "--once"}},
         false,
         set_state,
         5,
         " set MR_CMD_SET_STATE refused: 00 B2 01 02",
         false,
         0},
        {{{"reject-long-config", "--once"}},
         true,
         set_state,
         0,
         " set MR_CMD_SET_STATE short accepted: 00 B2 01 02",
         false,
         0},
        {{{"reject-long-config"}, {"reject-short-config"}},
         true,
         set_state,
         5,
         " set MR_CMD_SET_STATE short refused: 00 B2 01 02",
         true,
         0},
        {{{"reject-commands", "--once"}},
         false,
         flush,
         1,
         " set MR_CMD_FLUSH_COUNTER refused: 00 BF",
         false,
         0},
        {{{"fail-get"}}, false, get_state, 3, " get MR_CMD_GET_STATE failed", true, 0},
        {{{"bad-retrieve-count", "30", "--once"}},
         false,
         retrieve,
         3,
         " get MR_CMD_RETRIEVE_STATISTICS answered: 00 1E A0 A1",
         false,
         0},
        {{{"no-answer", "--once"}},
         false,
         get_state,
         3,
         " set MR_CMD_GET_STATE unanswered",
         false,
         0},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string joined;
        for (const auto& f : c.faults) {
            for (const auto& a : f) {
                joined += a + " ";
            }
        }
        SCOPED_TRACE(joined);
        const std::vector<std::string> extra = {"--feature-length", c.short_form ? "10" : "25"};
        Reader reader(runtime_.path(), "fault" + std::to_string(n++), "idtech", 5000, extra);
        ASSERT_TRUE(reader.started()) << reader.served_errors();
        ASSERT_EQ(open_within(2000), 0);
        for (const auto& f : c.faults) {
            ASSERT_EQ(reader.command("fault", f), 0);
        }
        EXPECT_EQ(c.call(reader), c.meets);
        std::string status;
        ASSERT_EQ(reader.command("status", {}, &status), 0);
        EXPECT_NE(status.find(c.shows), std::string::npos) << status;
        if (c.clear) {
            ASSERT_EQ(reader.command("fault", {"--clear", "all"}), 0);
        }
        // The session may have lost the reader: the application opens again.
        ASSERT_EQ(open_within(2000), 0);
        EXPECT_EQ(c.call(reader), c.then);
        k.CloseUSB();
    }
}

}  // namespace
