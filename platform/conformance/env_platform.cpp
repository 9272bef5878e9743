// The platform build's environment: a small fake HID device of its own
// serves the overlapped reads (input reports are the arrivals, unplugging is
// the hang-up, a second one arrives under another product id), on the
// platform's virtual clock so that waits cost no time; the drive root is a
// private temporary directory holding the one file.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "conformance.h"
#include "kp/clock.h"
#include "kp/device.h"
#include "kp/platform.h"

namespace {

// A reader's shape: a vendor collection with one unnumbered input report
// and the command frame as its feature report. Feature reports are taken
// and answered with zeros.
class FakeReader : public kp::HidDevice {
  public:
    FakeReader(uint16_t product_id, uint16_t input_length)
        : product_id_(product_id), input_length_(input_length) {}
    kp::HidIdentity identity() const override {
        kp::HidIdentity id;
        id.vendor_id = 0x3E7A;
        id.product_id = product_id_;
        id.version = 0x0100;
        id.usage_page = 0xFF00;
        id.usage = 0x01;
        id.input_report_length = input_length_;
        id.feature_report_length = 25;
        return id;
    }
    bool set_feature(const uint8_t*, size_t) override { return true; }
    bool get_feature(uint8_t* report, size_t length) override {
        std::fill(report + 1, report + length, 0);
        return true;
    }

  private:
    uint16_t product_id_, input_length_;
};

std::shared_ptr<FakeReader> reader, other;
std::string path, other_path;
std::string dir;

HANDLE open_path(const std::string& p, DWORD flags) {
    return CreateFileA(p.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, flags, nullptr);
}

HANDLE open_reader() {
    return open_path(path, FILE_FLAG_OVERLAPPED);
}

HANDLE open_hid(USHORT product_id, DWORD flags) {
    return open_path(product_id == 0x05B0 ? other_path : path, flags);
}

// The bytes as an input report of the current reader: report id 0 first.
void deliver(const std::vector<uint8_t>& data) {
    const FakeReader* now = other ? other.get() : reader.get();
    std::vector<uint8_t> report(now->identity().input_report_length, 0);
    std::copy(data.begin(), data.begin() + std::min(data.size(), report.size() - 1),
              report.begin() + 1);
    kp::deliver_input(now, report.data(), report.size());
}

int send_report(const void* data, DWORD n) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    deliver(std::vector<uint8_t>(bytes, bytes + n));
    return 1;
}

int send_later(const void* data, DWORD n, DWORD ms) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    std::vector<uint8_t> copy(bytes, bytes + n);
    kp::clock_schedule_in(ms, [copy] { deliver(copy); });
    return 1;
}

DWORD arrived(DWORD) {
    // A read gives the whole report.
    return (other ? other : reader)->identity().input_report_length;
}

void hang_up() {
    kp::detach_device(reader.get());
}

int plug() {
    other = std::make_shared<FakeReader>(0x05B0, 338);
    other_path = kp::attach_device(other);
    return !other_path.empty();
}

conformance_env env = {"a fake HID reader",
                       1,
                       open_reader,
                       send_report,
                       send_later,
                       arrived,
                       hang_up,
                       ERROR_DEVICE_NOT_CONNECTED,
                       "\\kp_conformance.tmp",
                       "\\kp_conformance_missing.tmp",
                       1,
                       1,
                       CONFORMANCE_WAIT_MS,
                       0,
                       0x3E7A,
                       0x05A0,
                       0x0100,
                       538,
                       25,
                       plug,
                       0x05B0,
                       338,
                       open_hid};

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
    reader = std::make_shared<FakeReader>(0x05A0, 538);
    path = kp::attach_device(reader);
    return &env;
}

extern "C" void conformance_env_close(void) {
    reader.reset();
    other.reset();
    kp::reset_platform();
    ::unlink((dir + "/kp_conformance.tmp").c_str());
    ::rmdir(dir.c_str());
}
