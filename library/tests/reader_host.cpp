#include "reader_host.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace kestro_test {
namespace {

bool listens(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

pid_t spawn(const std::vector<std::string>& argv, const std::string& out, const std::string& err,
            const std::vector<std::string>& env = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    std::vector<std::string> vars;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string var = *e;
        bool replaced = false;
        for (const std::string& over : env) {
            replaced =
                replaced || var.compare(0, over.find('=') + 1, over, 0, over.find('=') + 1) == 0;
        }
        if (!replaced) {
            vars.push_back(var);
        }
    }
    vars.insert(vars.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (std::string& v : vars) {
        envp.push_back(&v[0]);
    }
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int wait_status(pid_t pid) {
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

ReaderHost::ReaderHost() {
    char tmpl[] = "/tmp/kestro-host-XXXXXX";
    root_ = mkdtemp(tmpl);
    setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
    setenv("KESTRO_VIRTUAL_READERS", "1", 1);
    unsetenv("KESTRO_TRACE_DIR");
}

ReaderHost::~ReaderHost() {
    for (pid_t pid : servers_) {
        kill(pid, SIGTERM);
        wait_status(pid);
    }
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

bool ReaderHost::serve(const std::string& name, const std::string& mode) {
    const std::string log = root_ + "/serve-" + name;
    pid_t pid = spawn({KESTRO_VR_PROGRAM, "serve", "--name", name, "--mode", mode}, log + ".out",
                      log + ".err");
    if (pid < 0) {
        return false;
    }
    servers_.push_back(pid);
    const std::string socket = root_ + "/kestro/" + name + ".sock";
    for (int waited = 0; waited < 5000; ++waited) {
        if (listens(socket)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

pid_t ReaderHost::start(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    const std::string base = root_ + "/run-" + std::to_string(++runs_);
    pid_t pid = spawn(argv, base + ".out", base + ".err", env);
    outputs_[pid] = base;
    return pid;
}

bool ReaderHost::finished(pid_t pid) {
    if (ended_.count(pid) != 0) {
        return true;
    }
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) != pid) {
        return false;
    }
    ended_[pid] = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

Run ReaderHost::finish(pid_t pid) {
    Run r;
    if (ended_.count(pid) != 0) {
        r.status = ended_[pid];
        ended_.erase(pid);
    } else {
        r.status = wait_status(pid);
    }
    const std::string base = outputs_[pid];
    outputs_.erase(pid);
    r.out = slurp(base + ".out");
    r.err = slurp(base + ".err");
    return r;
}

Run ReaderHost::run(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    return finish(start(argv, env));
}

Run ReaderHost::reader(const std::vector<std::string>& args) {
    std::vector<std::string> argv{KESTRO_VR_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv);
}

}  // namespace kestro_test
