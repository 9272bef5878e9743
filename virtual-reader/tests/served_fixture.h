// Common ground of the served-reader tests: a private runtime directory per
// test (so tests run in parallel), the library's platform looking there with
// the real clock, and the kestro-virtual-reader program started and stopped
// as a child process through the reader harness.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "kestro.h"
#include "reader_harness.h"
#include "vr/model.h"

namespace served_test {

using vr::harness::Eventually;
using vr::harness::kCardA;  // what `swipe` sends by default
using vr::harness::ReadFile;

class ServedTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts `serve --name NAME --mode MODE` with `extra` options and waits
    // until it listens; stopped with SIGKILL at the end of the test if still
    // running.
    pid_t serve(const std::string& name, vr::Mode mode = vr::Mode::Idtech,
                const std::vector<std::string>& extra = {});
    // Runs the program with `args` and returns its exit code; its standard
    // output and error go to *out and *err when given.
    int run(const std::vector<std::string>& args, std::string* out = nullptr,
            std::string* err = nullptr);
    // Starts the program with `args` without waiting for anything; its
    // standard output and error go to ROOT/LABEL.out and .err. Killed at the
    // end of the test if still running.
    pid_t start(const std::vector<std::string>& args, const std::string& label);
    // What a program started as `label` wrote to its standard error.
    std::string errors_of(const std::string& label) const;
    // Stops a served reader with `signal` and returns its exit status.
    int stop(pid_t pid, int signal = SIGTERM);
    // What the served reader wrote to its standard output so far.
    std::string served_output(const std::string& name) const;

    // SetID, then OpenUSB until it succeeds or `ms` pass; OpenUSB's result.
    int32_t open_within(uint16_t pid, int ms);

    const std::string& dir() const { return dir_; }  // the readers' directory
    std::string socket_path(const std::string& name) const;

  private:
    std::string root_;  // private temporary directory, also the drive root
    std::string dir_;
    std::unique_ptr<vr::harness::ReaderProgram> program_;
    std::vector<pid_t> children_;
};

}  // namespace served_test
