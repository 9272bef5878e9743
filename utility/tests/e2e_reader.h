// The kestro-virtual-reader program as a child process, for end-to-end runs
// of the utility with the real library: a private runtime directory where
// the program puts its sockets and where the library's served-reader backend
// looks, a reader served there, and the program's commands run against it.
// Free of any test framework, so benchmarks use it too.
#ifndef KESTRO_UTILITY_TESTS_E2E_READER_H
#define KESTRO_UTILITY_TESTS_E2E_READER_H

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kestro::e2e {

// A private temporary directory (mode 0700) made the runtime directory of
// this process: $XDG_RUNTIME_DIR points at it while the object lives, so the
// library finds the readers served there and no other. The directory and
// everything in it go away with the object; the old value comes back.
class RuntimeDir {
  public:
    RuntimeDir();
    ~RuntimeDir();
    RuntimeDir(const RuntimeDir&) = delete;
    RuntimeDir& operator=(const RuntimeDir&) = delete;

    // Empty when the directory could not be made.
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    bool had_old_ = false;
    std::string old_;
};

// One reader served by the program, stopped (and waited for) at destruction.
class VirtualReader {
  public:
    // Starts `program serve --name name --mode mode` with `runtime_dir` as
    // its runtime directory and no X display (keyboard mode then writes the
    // keystrokes to the program's standard output), and waits at most
    // `start_ms` until both its sockets take connections.
    VirtualReader(std::string program, std::string runtime_dir, std::string name,
                  const std::string& mode, int start_ms = 5000);
    ~VirtualReader();
    VirtualReader(const VirtualReader&) = delete;
    VirtualReader& operator=(const VirtualReader&) = delete;

    // Whether the reader is up and listening.
    bool started() const { return started_; }
    const std::string& name() const { return name_; }

    // Runs `program COMMAND --name NAME ARGS...` and returns its exit code
    // (-1 when it could not run or did not end within `ms`, then killed).
    // Its standard output goes to *out when given.
    int command(const std::string& command, const std::vector<std::string>& args = {},
                std::string* out = nullptr, int ms = 5000);
    // `swipe` with the given track texts ("" leaves a track empty) and the
    // bad tracks ("" for none, else "1,3"); the exit code.
    int swipe(const std::string& track1, const std::string& track2, const std::string& track3 = "",
              const std::string& bad = "");
    // What `serve` wrote to its standard output and error so far.
    std::string served_output() const;
    std::string served_errors() const;

  private:
    pid_t spawn(const std::vector<std::string>& args, const std::string& out_file,
                const std::string& err_file) const;

    std::string program_;
    std::string dir_;
    std::string name_;
    pid_t pid_ = -1;
    bool started_ = false;
    int runs_ = 0;
};

// Waits in real time until `done` holds, polling every millisecond; false
// when `ms` pass first.
bool Eventually(const std::function<bool()>& done, int ms);

// Waits for a child process at most `ms`; its exit code, or -1 when it was
// killed by a signal or had to be killed because it did not end in time.
int WaitForExit(pid_t pid, int ms);

std::string ReadFile(const std::string& path);

// The fake test cards: published test card numbers, obviously fake.
struct TestCard {
    const char* track1;
    const char* track2;
    const char* track3;
};
extern const TestCard kCardA;
extern const TestCard kCardB;
extern const TestCard kCardC;

}  // namespace kestro::e2e

#endif
