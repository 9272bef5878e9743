#include "fixture.h"

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kestro_test {

void LibraryTest::SetUp() {
    kp::reset_platform();
    kp::clock_use_virtual(kEpoch);
    setenv("TZ", "UTC", 1);
    tzset();
    char tmpl[] = "/tmp/kestro-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    kp::set_drive_root(dir_);
    CloseUSB();
    SetID(MR_PID_IDTECH);
}

void LibraryTest::TearDown() {
    CloseUSB();
    kp::detach_all_devices();
    EXPECT_EQ(kp::open_handle_count(), 0u) << "a handle or parser data block leaked";
    SetID(MR_PID_KEYBOARD);
    kp::reset_platform();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void LibraryTest::enable_trace() {
    std::ofstream(dir_ + "/kestro.log", std::ios::binary);
}

std::string LibraryTest::trace_text() const {
    std::ifstream in(dir_ + "/kestro.log", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool LibraryTest::trace_exists() const {
    return std::filesystem::exists(dir_ + "/kestro.log");
}

std::shared_ptr<vr::InProcessReader> LibraryTest::plug(vr::Mode mode) {
    return vr::InProcessReader::plug_new(mode);
}

void LibraryTest::open_session(vr::Mode mode) {
    SetID(pid_of(mode));
    ASSERT_EQ(OpenUSB(), 0);
}

uint16_t pid_of(vr::Mode mode) {
    return vr::product_id(mode);
}

std::string hex8(const void* p) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", kestro::P(p));
    return buf;
}

}  // namespace kestro_test
