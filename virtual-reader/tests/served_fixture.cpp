#include "served_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "kp/backend.h"
#include "kp/platform.h"
#include "kp/served.h"
#include "served/paths.h"

extern char** environ;

namespace served_test {

const char kTrack1[] = "%B4111111111111111^TEST/CARD A^30121010000000000000?";
const char kTrack2[] = ";4111111111111111=30121010000000000?";

namespace {

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Whether a server accepts connections at `path` (a file left behind by a
// killed one does not).
bool listens(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

const char* mode_word(vr::Mode mode) {
    switch (mode) {
        case vr::Mode::Keyboard:
            return "kb";
        case vr::Mode::Magtek:
            return "magtek";
        default:
            return "idtech";
    }
}

}  // namespace

bool eventually(const std::function<bool()>& done, int ms) {
    int64_t deadline = now_ms() + ms;
    while (!done()) {
        if (now_ms() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void ServedTest::SetUp() {
    kp::reset_platform();
    char tmpl[] = "/tmp/kestro-served-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    dir_ = root_ + "/kestro";
    kp::set_drive_root(root_);  // the trace never touches the real /kestro.log
    kp::register_backend(kp::make_served_backend(dir_));
    CloseUSB();
}

void ServedTest::TearDown() {
    CloseUSB();
    kp::reset_platform();
    kp::set_served_timeout_ms(0);
    for (pid_t pid : children_) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

std::string ServedTest::socket_path(const std::string& name) const {
    return served::host_socket(dir_, name);
}

pid_t ServedTest::spawn(const std::vector<std::string>& args, const std::string& out_file,
                        const std::string& err_file) {
    // The program's environment: ours, with the private runtime directory
    // and no X display (keyboard mode then types to standard output).
    std::vector<std::string> env{"XDG_RUNTIME_DIR=" + root_};
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0 && std::strncmp(*e, "DISPLAY=", 8) != 0) {
            env.emplace_back(*e);
        }
    }
    std::vector<char*> envp;
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argv_s{KESTRO_VR_PROGRAM};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_s) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

pid_t ServedTest::serve(const std::string& name, vr::Mode mode) {
    std::string base = root_ + "/" + name;
    pid_t pid =
        spawn({"serve", "--name", name, "--mode", mode_word(mode)}, base + ".out", base + ".err");
    EXPECT_GT(pid, 0);
    if (pid <= 0) {
        return pid;
    }
    children_.push_back(pid);
    std::string control = served::control_socket(dir_, name);
    std::string host = socket_path(name);
    bool up = eventually([&] { return listens(control) && listens(host); }, 5000);
    EXPECT_TRUE(up) << "the reader did not start: " << read_file(base + ".err");
    return pid;
}

int ServedTest::run(const std::vector<std::string>& args, std::string* out, std::string* err) {
    std::string base = root_ + "/run" + std::to_string(runs_++);
    pid_t pid = spawn(args, base + ".out", base + ".err");
    if (pid <= 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (out != nullptr) {
        *out = read_file(base + ".out");
    }
    if (err != nullptr) {
        *err = read_file(base + ".err");
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ServedTest::stop(pid_t pid, int signal) {
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    children_.erase(std::remove(children_.begin(), children_.end(), pid), children_.end());
    return status;
}

std::string ServedTest::served_output(const std::string& name) const {
    return read_file(root_ + "/" + name + ".out");
}

int32_t ServedTest::open_within(uint16_t pid, int ms) {
    SetID(pid);
    int32_t rc = OpenUSB();
    int64_t deadline = now_ms() + ms;
    while (rc != 0 && now_ms() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        CloseUSB();
        rc = OpenUSB();
    }
    return rc;
}

}  // namespace served_test
