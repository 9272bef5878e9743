// The kestro-virtual-reader program as a child process, for tests and
// benchmarks that run against the real program: a private runtime directory
// where the program puts its sockets, readers served there, and the
// program's commands run against them. Free of any test framework, so
// benchmarks use it too. KESTRO_VR_PROGRAM is the program built beside it.
#ifndef KESTRO_VIRTUAL_READER_HARNESS_READER_HARNESS_H
#define KESTRO_VIRTUAL_READER_HARNESS_READER_HARNESS_H

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace vr::harness {

// Waits in real time until `done` holds, polling every millisecond; false
// when `ms` pass first.
bool Eventually(const std::function<bool()>& done, int ms);

// Starts `argv` (argv[0] a path) with standard input empty and standard
// output and error into the given files. Its environment is ours with each
// "NAME=VALUE" of `env` put over it and each bare "NAME" taken out. The
// process id, or -1.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& out_file,
            const std::string& err_file, const std::vector<std::string>& env = {});

// Waits for a child process at most `ms`; its wait status, or -1 when it had
// to be killed because it did not end in time.
int WaitStatus(pid_t pid, int ms);

// Waits for a child process at most `ms`; its exit code, or -1 when it was
// killed by a signal or had to be killed because it did not end in time.
int WaitForExit(pid_t pid, int ms);

// Sends `signal` to a child process and waits at most `ms` for its end; its
// wait status, or -1 when it had to be killed because it did not end.
int Stop(pid_t pid, int signal, int ms = 3000);

std::string ReadFile(const std::string& path);

// A stream connection to the local socket `path` (close-on-exec), or -1.
int Connect(const std::string& path);

// Whether a server takes connections at the socket `path` (a socket file
// left behind by a killed one does not).
bool Listens(const std::string& path);

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

// The program run with `runtime_dir` as its runtime directory (its sockets
// in runtime_dir/kestro) and no X display, so keyboard mode writes the
// keystrokes to its standard output. What each run writes goes to files in
// `runtime_dir`.
class ReaderProgram {
  public:
    explicit ReaderProgram(std::string runtime_dir, std::string program = KESTRO_VR_PROGRAM);

    const std::string& runtime_dir() const { return dir_; }
    // Where the program puts the sockets of its readers.
    std::string sockets_dir() const { return dir_ + "/kestro"; }

    // Starts the program with `args`, standard input empty, standard output
    // and error into the given files; its process id, or -1.
    pid_t Start(const std::vector<std::string>& args, const std::string& out_file,
                const std::string& err_file) const;
    // Runs the program with `args` and returns its exit code (-1 when it
    // could not run or did not end within `ms`, then killed). Its standard
    // output and error go to *out and *err when given.
    int Run(const std::vector<std::string>& args, std::string* out = nullptr,
            std::string* err = nullptr, int ms = 5000);
    // Starts `serve --name NAME --mode MODE` (mode kb, idtech or magtek) and
    // waits at most `start_ms` until both its sockets take connections. Its
    // process id; -1 when it ended first (a bad option, a name in use) or
    // did not listen in time (it is killed then).
    // `extra` are further options of serve.
    pid_t Serve(const std::string& name, const std::string& mode, int start_ms = 5000,
                const std::vector<std::string>& extra = {});
    // What `serve --name NAME` wrote to its standard output and error.
    std::string ServedOutput(const std::string& name) const;
    std::string ServedErrors(const std::string& name) const;

  private:
    std::string dir_;
    std::string program_;
    int runs_ = 0;
};

// One reader served by the program, stopped (and waited for) at destruction.
class VirtualReader {
  public:
    VirtualReader(std::string runtime_dir, std::string name, const std::string& mode,
                  int start_ms = 5000, const std::vector<std::string>& extra = {});
    ~VirtualReader();
    VirtualReader(const VirtualReader&) = delete;
    VirtualReader& operator=(const VirtualReader&) = delete;

    // Whether the reader is up and listening.
    bool started() const { return pid_ > 0; }
    const std::string& name() const { return name_; }
    ReaderProgram& program() { return program_; }

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
    std::string served_output() const { return program_.ServedOutput(name_); }
    std::string served_errors() const { return program_.ServedErrors(name_); }

  private:
    ReaderProgram program_;
    std::string name_;
    pid_t pid_ = -1;
};

// The fake test cards: published test card numbers, obviously fake.
struct TestCard {
    const char* track1;
    const char* track2;
    const char* track3;
};
extern const TestCard kCardA;  // what `swipe` sends when no track is given
extern const TestCard kCardB;
extern const TestCard kCardC;

}  // namespace vr::harness

#endif
