#include "reader_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include "served/client.h"

extern char** environ;

namespace vr::harness {

const TestCard kCardA{"%B4111111111111111^TEST/CARD A^30121010000000000000?",
                      ";4111111111111111=30121010000000000?", ""};
const TestCard kCardB{"%B5555555555554444^SAMPLE/TESTER^2905201000000000?",
                      ";5555555555554444=2905201000000000?", ""};
const TestCard kCardC{
    "%B378282246310005^DEMO/ALPHA^281170200000?", ";378282246310005=28117020000?",
    ";011234567890123456=000978100000000000000000000000000000000000000000000000000000?"};

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char kRuntimeVariable[] = "XDG_RUNTIME_DIR";
// How long a stopped reader may take to remove its sockets and end.
constexpr int kStopMs = 3000;

}  // namespace

int Connect(const std::string& path) {
    const int fd = served::connect_socket(path, 0);
    // Tests read and write it as a plain blocking stream.
    if (fd >= 0) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    return fd;
}

bool Listens(const std::string& path) {
    const int fd = Connect(path);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

bool Eventually(const std::function<bool()>& done, int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

int WaitStatus(pid_t pid, int ms) {
    int status = 0;
    pid_t got = 0;
    const bool ended = Eventually(
        [&] {
            got = waitpid(pid, &status, WNOHANG);
            return got != 0;
        },
        ms);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    return got == pid ? status : -1;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::string& out_file,
            const std::string& err_file, const std::vector<std::string>& env) {
    if (argv.empty()) {
        return -1;
    }
    std::vector<std::string> vars;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string var = *e;
        const std::string name = var.substr(0, var.find('='));
        bool overridden = false;
        for (const std::string& over : env) {
            overridden = overridden || over.substr(0, over.find('=')) == name;
        }
        if (!overridden) {
            vars.push_back(var);
        }
    }
    for (const std::string& over : env) {
        if (over.find('=') != std::string::npos) {
            vars.push_back(over);
        }
    }
    std::vector<char*> envp;
    for (std::string& v : vars) {
        envp.push_back(v.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& a : args) {
        argp.push_back(a.data());
    }
    argp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int WaitForExit(pid_t pid, int ms) {
    const int status = WaitStatus(pid, ms);
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Stop(pid_t pid, int signal, int ms) {
    kill(pid, signal);
    return WaitStatus(pid, ms);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

RuntimeDir::RuntimeDir() {
    char tmpl[] = "/tmp/kestro-runtime-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        return;
    }
    path_ = tmpl;
    if (const char* old = std::getenv(kRuntimeVariable)) {
        had_old_ = true;
        old_ = old;
    }
    setenv(kRuntimeVariable, path_.c_str(), 1);
    setenv("KESTRO_VIRTUAL_READERS", "1", 1);  // the library looks for served readers
}

RuntimeDir::~RuntimeDir() {
    if (path_.empty()) {
        return;
    }
    if (had_old_) {
        setenv(kRuntimeVariable, old_.c_str(), 1);
    } else {
        unsetenv(kRuntimeVariable);
    }
    unsetenv("KESTRO_VIRTUAL_READERS");
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

ReaderProgram::ReaderProgram(std::string runtime_dir, std::string program)
    : dir_(std::move(runtime_dir)), program_(std::move(program)) {}

pid_t ReaderProgram::Start(const std::vector<std::string>& args, const std::string& out_file,
                           const std::string& err_file) const {
    std::vector<std::string> argv{program_};
    argv.insert(argv.end(), args.begin(), args.end());
    // The private runtime directory, and no X display.
    return Spawn(argv, out_file, err_file, {std::string(kRuntimeVariable) + "=" + dir_, "DISPLAY"});
}

int ReaderProgram::Run(const std::vector<std::string>& args, std::string* out, std::string* err,
                       int ms) {
    const std::string base = dir_ + "/run" + std::to_string(runs_++);
    const pid_t pid = Start(args, base + ".out", base + ".err");
    if (pid <= 0) {
        return -1;
    }
    const int code = WaitForExit(pid, ms);
    if (out != nullptr) {
        *out = ReadFile(base + ".out");
    }
    if (err != nullptr) {
        *err = ReadFile(base + ".err");
    }
    return code;
}

pid_t ReaderProgram::Serve(const std::string& name, const std::string& mode, int start_ms,
                           const std::vector<std::string>& extra) {
    const std::string base = dir_ + "/" + name;
    std::vector<std::string> args{"serve", "--name", name, "--mode", mode};
    args.insert(args.end(), extra.begin(), extra.end());
    pid_t pid = Start(args, base + ".out", base + ".err");
    if (pid <= 0) {
        return -1;
    }
    const std::string sockets = sockets_dir() + "/" + name;
    const bool up = Eventually(
        [&] {
            // A program that ended (a bad option, a name in use) never listens.
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                return true;
            }
            return Listens(sockets + ".ctl") && Listens(sockets + ".sock");
        },
        start_ms);
    if (pid > 0 && !up) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
    return pid;
}

std::string ReaderProgram::ServedOutput(const std::string& name) const {
    return ReadFile(dir_ + "/" + name + ".out");
}

std::string ReaderProgram::ServedErrors(const std::string& name) const {
    return ReadFile(dir_ + "/" + name + ".err");
}

VirtualReader::VirtualReader(std::string runtime_dir, std::string name, const std::string& mode,
                             int start_ms, const std::vector<std::string>& extra)
    : program_(std::move(runtime_dir)), name_(std::move(name)) {
    pid_ = program_.Serve(name_, mode, start_ms, extra);
}

VirtualReader::~VirtualReader() {
    if (pid_ > 0) {
        // SIGTERM lets the program remove its sockets; a hung one is killed.
        Stop(pid_, SIGTERM, kStopMs);
    }
}

int VirtualReader::command(const std::string& command, const std::vector<std::string>& args,
                           std::string* out, int ms) {
    std::vector<std::string> all{command, "--name", name_};
    all.insert(all.end(), args.begin(), args.end());
    return program_.Run(all, out, nullptr, ms);
}

int VirtualReader::swipe(const std::string& track1, const std::string& track2,
                         const std::string& track3, const std::string& bad) {
    // A swipe with no track given sends card A; give track 1 always so
    // that the tracks asked for are exactly the ones sent.
    std::vector<std::string> args{"--track1", track1};
    if (!track2.empty()) {
        args.insert(args.end(), {"--track2", track2});
    }
    if (!track3.empty()) {
        args.insert(args.end(), {"--track3", track3});
    }
    if (!bad.empty()) {
        args.insert(args.end(), {"--bad", bad});
    }
    return command("swipe", args);
}

}  // namespace vr::harness
