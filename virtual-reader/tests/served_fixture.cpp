#include "served_fixture.h"

#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "kp/backend.h"
#include "kp/platform.h"
#include "kp/served.h"
#include "served/paths.h"

namespace served_test {
namespace {

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
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

void ServedTest::SetUp() {
    kp::reset_platform();
    char tmpl[] = "/tmp/kestro-served-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    dir_ = root_ + "/kestro";
    kp::set_drive_root(root_);  // the trace never touches the real /kestro.log
    kp::register_backend(kp::make_served_backend(dir_));
    program_ = std::make_unique<vr::harness::ReaderProgram>(root_);
    CloseUSB();
}

void ServedTest::TearDown() {
    CloseUSB();
    kp::reset_platform();
    kp::set_served_timeout_ms(0);
    for (pid_t pid : children_) {
        vr::harness::Stop(pid, SIGKILL);
    }
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

std::string ServedTest::socket_path(const std::string& name) const {
    return served::host_socket(dir_, name);
}

pid_t ServedTest::serve(const std::string& name, vr::Mode mode,
                        const std::vector<std::string>& extra) {
    const pid_t pid = program_->Serve(name, mode_word(mode), 5000, extra);
    EXPECT_GT(pid, 0) << "the reader did not start: " << program_->ServedErrors(name);
    if (pid > 0) {
        children_.push_back(pid);
    }
    return pid;
}

int ServedTest::run(const std::vector<std::string>& args, std::string* out, std::string* err) {
    return program_->Run(args, out, err, 10000);
}

pid_t ServedTest::start(const std::vector<std::string>& args, const std::string& label) {
    const pid_t pid =
        program_->Start(args, root_ + "/" + label + ".out", root_ + "/" + label + ".err");
    if (pid > 0) {
        children_.push_back(pid);
    }
    return pid;
}

std::string ServedTest::errors_of(const std::string& label) const {
    return ReadFile(root_ + "/" + label + ".err");
}

int ServedTest::stop(pid_t pid, int signal) {
    const int status = vr::harness::Stop(pid, signal, 5000);
    children_.erase(std::remove(children_.begin(), children_.end(), pid), children_.end());
    return status;
}

std::string ServedTest::served_output(const std::string& name) const {
    return program_->ServedOutput(name);
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
