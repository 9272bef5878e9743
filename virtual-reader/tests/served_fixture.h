// Common ground of the served-reader tests: a private runtime directory per
// test (so tests run in parallel), the library's platform looking there with
// the real clock, and the kestro-virtual-reader program started and stopped
// as a child process.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "kestro.h"
#include "vr/model.h"

namespace served_test {

// The fake test card A that `swipe` sends by default.
extern const char kTrack1[];
extern const char kTrack2[];

class ServedTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts `serve --name NAME --mode MODE` and waits until it listens.
    pid_t serve(const std::string& name, vr::Mode mode = vr::Mode::Idtech);
    // Runs the program with `args` and returns its exit code; its standard
    // output and error go to *out and *err when given.
    int run(const std::vector<std::string>& args, std::string* out = nullptr,
            std::string* err = nullptr);
    // Stops a served reader with `signal` and returns its exit status.
    int stop(pid_t pid, int signal = SIGTERM);
    // What the served reader wrote to its standard output so far.
    std::string served_output(const std::string& name) const;

    // SetID, then OpenUSB until it succeeds or `ms` pass; OpenUSB's result.
    int32_t open_within(uint16_t pid, int ms);

    const std::string& dir() const { return dir_; }  // the readers' directory
    std::string socket_path(const std::string& name) const;

  private:
    pid_t spawn(const std::vector<std::string>& args, const std::string& out_file,
                const std::string& err_file);
    std::string root_;  // private temporary directory, also the drive root
    std::string dir_;
    std::vector<pid_t> children_;
    int runs_ = 0;
};

// Waits for `done` in real time, polling every millisecond, at most `ms`.
bool eventually(const std::function<bool()>& done, int ms);

std::string read_file(const std::string& path);

}  // namespace served_test
