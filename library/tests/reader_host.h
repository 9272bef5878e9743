// Programs under test beside virtual readers: a private temporary runtime
// directory that this process and its children use, readers served there by
// kestro-virtual-reader, and other programs run with their output captured.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kestro_test {

struct Run {
    int status = -1;  // exit code, or 128 + signal
    std::string out;
    std::string err;
};

class ReaderHost {
  public:
    // Points XDG_RUNTIME_DIR at a new temporary directory and lets the
    // library look for virtual readers there.
    ReaderHost();
    ~ReaderHost();
    ReaderHost(const ReaderHost&) = delete;
    ReaderHost& operator=(const ReaderHost&) = delete;

    // Serves reader `name` in mode kb, idtech or magtek and waits until it
    // listens; false when it does not within a few seconds.
    bool serve(const std::string& name, const std::string& mode);
    // Runs `argv` (argv[0] a path) to its end.
    Run run(const std::vector<std::string>& argv) const;
    // Runs kestro-virtual-reader with `args`.
    Run reader(const std::vector<std::string>& args) const;

    const std::string& root() const { return root_; }

  private:
    std::string root_;
    std::vector<pid_t> servers_;
};

}  // namespace kestro_test
