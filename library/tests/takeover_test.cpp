// A program that defines functions named like the library's own must not
// take over the library's calls between its exports: OpenKestro, the failed
// open, CloseKestro, SetMrStateBuf and SetMrState reach libkestro.so's own
// OpenUSB, CloseUSB and SetMrStateEx, never these.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "kestro.h"
#include "reader_host.h"

namespace {
int taken_over = 0;
}

extern "C" int32_t OpenUSB(void) {
    ++taken_over;
    return 42;
}

extern "C" int32_t CloseUSB(void) {
    ++taken_over;
    return 43;
}

extern "C" int32_t SetMrStateEx(const unsigned char*) {
    ++taken_over;
    return 44;
}

namespace {

TEST(Takeover, ExportsReachOnlyTheLibrary) {
    kestro_test::ReaderHost host;
    ASSERT_EQ(chdir(host.root().c_str()), 0);  // the profile file goes here
    const unsigned char state[MR_STATE_LEN] = {1, 2, 3, 4, 5, 6, 7};
    struct Step {
        const char* what;
        std::function<int32_t()> call;
        int32_t expected;
    };
    const Step steps[] = {
        {"open without a reader", [] { return OpenKestro(); }, 2},
        {"serve a reader", [&] { return host.serve("takeover", "idtech") ? 0 : 1; }, 0},
        {"choose its mode", [] { return SetID(MR_PID_IDTECH); }, 0},
        {"open", [] { return OpenKestro(); }, 0},
        {"set the configuration", [&] { return SetMrStateBuf(state); }, 0},
        {"write the profile file",
         [&] {
             FILE* f = std::fopen("msr.ini", "wb");
             bool ok = f != nullptr && std::fwrite(state, 1, sizeof state, f) == sizeof state;
             return f != nullptr && std::fclose(f) == 0 && ok ? 0 : 1;
         },
         0},
        {"set it from the profile file", [] { return SetMrState(); }, 0},
        {"close", [] { return CloseKestro(); }, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        EXPECT_EQ(step.call(), step.expected);
        EXPECT_EQ(taken_over, 0);
    }
}

}  // namespace
