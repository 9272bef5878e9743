// Common ground of the library's tests: a virtual clock fixed at a known
// moment, a private drive root in a temporary directory (so the trace never
// touches the real /kestro.log), and a clean session before and after.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kestro.h"
#include "kp/clock.h"
#include "kp/platform.h"
#include "state.h"
#include "vr/inprocess.h"

namespace kestro_test {

// Mon Dec  7 13:41:02 2026 UTC.
constexpr int64_t kEpoch = 1796650862;
constexpr const char* kTimeText = "Mon Dec  7 13:41:02 2026\n";

class LibraryTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Creates an empty "\kestro.log" in the drive root: the trace is on.
    void enable_trace();
    std::string trace_text() const;
    bool trace_exists() const;
    const std::string& dir() const { return dir_; }

    // Plugs a reader in the given mode.
    std::shared_ptr<vr::InProcessReader> plug(vr::Mode mode = vr::Mode::Idtech);
    // SetID for the mode, then OpenUSB; expects success.
    void open_session(vr::Mode mode);

  private:
    std::string dir_;
};

uint16_t pid_of(vr::Mode mode);

// Hex text of a handle or address as the trace prints it.
std::string hex8(const void* p);

}  // namespace kestro_test
