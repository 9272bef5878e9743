// End to end: the window logic with the real libkestro.so, bound at run time
// as the program binds it, against a reader served by the real
// kestro-virtual-reader program in a private runtime directory.
#ifndef KESTRO_UTILITY_TESTS_E2E_FIXTURE_H
#define KESTRO_UTILITY_TESTS_E2E_FIXTURE_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../binding/kestro_binding.h"
#include "reader_harness.h"

namespace kestro::e2e {

using namespace vr::harness;

// The library as the program binds it, with the window's own waits recorded
// instead of slept: they only leave the reader time to come back, so the
// test asserts them and waits for the reader itself (`on_sleep`).
class RecordingBinding : public KestroBinding {
  public:
    using KestroBinding::KestroBinding;
    void Sleep(int32_t milliseconds) override {
        slept.push_back(milliseconds);
        if (on_sleep) {
            on_sleep();
        }
    }

    std::vector<int32_t> slept;
    std::function<void()> on_sleep;
};

class E2eTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The library traces into /kestro.log whenever that file exists; a
        // test must not write into it, so it does not run then.
        if (access("/kestro.log", F_OK) == 0) {
            GTEST_SKIP() << "/kestro.log exists: the library would trace into it";
        }
        ASSERT_FALSE(runtime.path().empty()) << "no private runtime directory";
    }

    // Serves a reader in `mode` (kb, idtech or magtek) in the private
    // runtime directory.
    void Serve(const std::string& mode) {
        reader = std::make_unique<VirtualReader>(runtime.path(), "e2e", mode);
        ASSERT_TRUE(reader->started()) << "the reader did not start: " << reader->served_errors();
    }

    // The reader's `status` text.
    std::string Status() {
        std::string out;
        EXPECT_EQ(reader->command("status", {}, &out), 0);
        return out;
    }

    RuntimeDir runtime;
    // The library as the program binds it, from the build tree.
    RecordingBinding library{"libkestro.so", {KESTRO_LIBRARY}};
    std::unique_ptr<VirtualReader> reader;
};

}  // namespace kestro::e2e

#endif
