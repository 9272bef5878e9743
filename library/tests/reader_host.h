// Programs under test beside virtual readers: a private temporary runtime
// directory that this process and its children use, readers served there by
// kestro-virtual-reader, and other programs run with their output captured.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "reader_harness.h"

namespace kestro_test {

struct Run {
    int status = -1;  // exit code, or 128 + signal
    std::string out;
    std::string err;
};

class ReaderHost {
  public:
    // Points XDG_RUNTIME_DIR at a new temporary directory (until the host
    // goes) and lets the library look for virtual readers there.
    ReaderHost();
    ~ReaderHost();
    ReaderHost(const ReaderHost&) = delete;
    ReaderHost& operator=(const ReaderHost&) = delete;

    // Serves reader `name` in mode kb, idtech or magtek (with `extra`
    // options of serve) and waits until it listens; false when it does not
    // within a few seconds.
    bool serve(const std::string& name, const std::string& mode,
               const std::vector<std::string>& extra = {});
    // Starts `argv` (argv[0] a path) with this process's environment and
    // `env` ("NAME=VALUE" each) over it; finish waits for its end.
    pid_t start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
    bool finished(pid_t pid);  // whether it has ended (then finish returns at once)
    Run finish(pid_t pid);
    // What a started program has written so far (status -1).
    Run output(pid_t pid) const;
    Run run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
    // Runs kestro-virtual-reader with `args`.
    Run reader(const std::vector<std::string>& args);

    const std::string& root() const { return root_; }

  private:
    vr::harness::RuntimeDir runtime_;
    std::string root_;
    std::vector<pid_t> servers_;
    std::map<pid_t, std::string> outputs_;  // started programs: their output files
    std::map<pid_t, int> ended_;            // ended before finish: their status
    int runs_ = 0;
};

}  // namespace kestro_test
