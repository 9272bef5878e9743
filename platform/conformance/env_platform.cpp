// The platform build's environment: an in-process HID reader serves the
// overlapped reads (input reports are the arrivals, unplugging is the
// hang-up), on the platform's virtual clock so that waits cost no time; the
// drive root is a private temporary directory holding the one file.
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "conformance.h"
#include "kp/clock.h"
#include "kp/device.h"
#include "kp/platform.h"
#include "vr/inprocess.h"

namespace {

std::shared_ptr<vr::InProcessReader> reader;
std::string dir;

HANDLE open_reader() {
    return CreateFileA(reader->path().c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

int send_report(const void* data, DWORD n) {
    kp::deliver_input(reader.get(), static_cast<const uint8_t*>(data), n);
    return 1;
}

int send_later(const void* data, DWORD n, DWORD ms) {
    auto bytes = std::make_shared<std::vector<uint8_t>>(static_cast<const uint8_t*>(data),
                                                        static_cast<const uint8_t*>(data) + n);
    kp::clock_schedule_in(
        ms, [bytes] { kp::deliver_input(reader.get(), bytes->data(), bytes->size()); });
    return 1;
}

DWORD arrived(DWORD) {
    return reader->identity().input_report_length;  // a read gives the whole report
}

void hang_up() {
    reader->unplug();
}

conformance_env env = {"an in-process HID reader",
                       1,
                       open_reader,
                       send_report,
                       send_later,
                       arrived,
                       hang_up,
                       ERROR_DEVICE_NOT_CONNECTED,
                       "\\kp_conformance.tmp",
                       "\\kp_conformance_missing.tmp",
                       1};

}  // namespace

extern "C" const conformance_env* conformance_env_open(void) {
    char tmpl[] = "/tmp/kp-conformance-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        return nullptr;
    }
    dir = tmpl;
    kp::reset_platform();
    kp::clock_use_virtual(1796650862);
    kp::set_drive_root(dir);
    std::ofstream(dir + "/kp_conformance.tmp") << "conformance\n";
    reader = vr::InProcessReader::plug_new(vr::Mode::Idtech);
    return &env;
}

extern "C" void conformance_env_close(void) {
    reader.reset();
    kp::reset_platform();
    ::unlink((dir + "/kp_conformance.tmp").c_str());
    ::rmdir(dir.c_str());
}
