#include "reader_host.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>

#include "reader_harness.h"

namespace kestro_test {
namespace {

// Longest wait for a program under test to end; one that runs longer is
// killed and reported with status -1.
constexpr int kRunMs = 30000;

int exit_status(int wait_status) {
    if (wait_status == -1) {
        return -1;
    }
    return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
}

}  // namespace

ReaderHost::ReaderHost() : root_(runtime_.path()) {
    setenv("KESTRO_VIRTUAL_READERS", "1", 1);
    unsetenv("KESTRO_TRACE_DIR");
}

ReaderHost::~ReaderHost() {
    for (pid_t pid : servers_) {
        vr::harness::Stop(pid, SIGTERM);
    }
}

bool ReaderHost::serve(const std::string& name, const std::string& mode,
                       const std::vector<std::string>& extra) {
    const pid_t pid = vr::harness::ReaderProgram(root_).Serve(name, mode, 5000, extra);
    if (pid < 0) {
        return false;
    }
    servers_.push_back(pid);
    return true;
}

pid_t ReaderHost::start(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    const std::string base = root_ + "/run-" + std::to_string(++runs_);
    pid_t pid = vr::harness::Spawn(argv, base + ".out", base + ".err", env);
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
    ended_[pid] = exit_status(status);
    return true;
}

Run ReaderHost::finish(pid_t pid) {
    Run r;
    if (ended_.count(pid) != 0) {
        r.status = ended_[pid];
        ended_.erase(pid);
    } else {
        r.status = exit_status(vr::harness::WaitStatus(pid, kRunMs));
    }
    const std::string base = outputs_[pid];
    outputs_.erase(pid);
    r.out = vr::harness::ReadFile(base + ".out");
    r.err = vr::harness::ReadFile(base + ".err");
    return r;
}

Run ReaderHost::output(pid_t pid) const {
    Run r;
    const auto at = outputs_.find(pid);
    if (at != outputs_.end()) {
        r.out = vr::harness::ReadFile(at->second + ".out");
        r.err = vr::harness::ReadFile(at->second + ".err");
    }
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
