// The run-time binding against a stand-in library.
#include "../binding/kestro_binding.h"

#include <gtest/gtest.h>

#include "../logic/run_time_error.h"

namespace kestro {
namespace {

const std::string kStub = KESTRO_STUB_PATH;

TEST(BindingTest, CallsReachTheExportsWithTheirArguments) {
    KestroBinding library("libkestro_stub.so", {kStub});
    EXPECT_EQ(library.SetID(0x05A0), 0x05A1);
    EXPECT_EQ(library.OpenKestro(), 2);
    EXPECT_EQ(library.CloseKestro(), 0);
    EXPECT_EQ(library.ResetDevice(255), 0);
    unsigned char buffer[1025] = {};
    EXPECT_EQ(library.ReadData(buffer, 2, 0), 3);
    EXPECT_EQ(buffer[0], 2);
    EXPECT_EQ(buffer[1], 0);
    EXPECT_EQ(buffer[2], 0xA5);
    // Bound once, called again.
    EXPECT_EQ(library.SetID(1), 2);
}

TEST(BindingTest, CandidatesAreTriedInOrder) {
    KestroBinding library("libkestro_stub.so", {"/nonexistent/libkestro_stub.so", kStub});
    EXPECT_EQ(library.OpenKestro(), 2);
}

TEST(BindingTest, AMissingExportRaises453AndTheOthersStillWork) {
    KestroBinding library("libkestro_stub.so", {kStub});
    try {
        library.ChangeMode(1);
        FAIL() << "no error raised";
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.number(), 453);
        EXPECT_EQ(error.description(),
                  "Can't find DLL entry point ChangeMode in libkestro_stub.so");
    }
    EXPECT_EQ(library.OpenKestro(), 2);
}

TEST(BindingTest, AMissingLibraryRaises53AtEveryCall) {
    KestroBinding library("libkestro.so", {"/nonexistent/libkestro.so"});
    for (int call = 0; call < 2; ++call) {
        try {
            library.SetID(0x0500);
            FAIL() << "no error raised";
        } catch (const RunTimeError& error) {
            EXPECT_EQ(error.number(), 53);
            EXPECT_EQ(error.description(), "File not found: libkestro.so");
        }
    }
}

TEST(BindingTest, TheLibraryIsLookedForBesideTheProgramThenInLibThenOnTheSearchPath) {
    EXPECT_EQ(
        KestroCandidates("/opt/kestro/bin"),
        (std::vector<std::string>{"/opt/kestro/bin/libkestro.so.1",
                                  "/opt/kestro/bin/../lib/libkestro.so.1", "libkestro.so.1"}));
    EXPECT_EQ(KestroCandidates(""), std::vector<std::string>{"libkestro.so.1"});
}

}  // namespace
}  // namespace kestro
