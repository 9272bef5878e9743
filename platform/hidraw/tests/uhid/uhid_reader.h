// A fake card reader on a real kernel HID stack: a device made through
// /dev/uhid, whose feature reports are answered by a vr::ReaderModel on a
// thread of its own (the kernel's feature ioctls block until the device side
// answers). The kernel exposes it as /dev/hidrawN like any USB reader.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vr/model.h"

namespace kernel_test {

// Why the kernel tests cannot run here ("" when /dev/uhid can be used).
std::string uhid_unavailable();

struct UhidOptions {
    uint16_t vendor_id = vr::kVendorId;  // another maker's device: another vendor id
    uint16_t feature_bytes = 24;         // data bytes of the feature report (the id comes on top)
    int64_t restart_ms = 300;            // a reset: gone for this long, then back in the new mode
};

// The report descriptor the fake presents in a mode: a vendor collection
// with one unnumbered input report (the mode's card report without its id
// byte) and one feature report in the HID modes; a boot keyboard with the
// same feature report in keyboard mode.
std::vector<uint8_t> reader_descriptor(vr::Mode mode, uint16_t feature_bytes);

class UhidReader {
  public:
    // Creates the device and waits for its hidraw node; null (with a
    // test failure) when the kernel does not bring it up.
    static std::unique_ptr<UhidReader> create(vr::Mode mode, UhidOptions options = {});
    ~UhidReader();
    UhidReader(const UhidReader&) = delete;
    UhidReader& operator=(const UhidReader&) = delete;

    // The node of the device as it is now ("/dev/hidrawN"), waiting up to
    // `wait_ms` for it to appear under the product id of the current mode;
    // "" when there is none. The wait returns as soon as the node is there;
    // its bound is generous because a guest under software emulation on a
    // loaded machine has been seen to take over 2 s to bring a node up.
    std::string node(int wait_ms = 10000);
    uint16_t product_id();

    // Sends an input report, given as the library receives it (report id 0
    // first, which an unnumbered report does not carry on the bus).
    void send_input(const std::vector<uint8_t>& report);
    // A swipe in the current mode; returns the report as the library will
    // see it (empty in keyboard mode).
    std::vector<uint8_t> swipe(const vr::Track tracks[3]);
    // Unplugs the device (UHID_DESTROY).
    void unplug();
    // Runs `action` on the device's thread after `ms` milliseconds.
    void after(int64_t ms, std::function<void()> action);

    // The model, under the lock the device's thread takes.
    template <typename F>
    auto with_model(F f) {
        std::lock_guard<std::mutex> lock(model_mutex_);
        return f(model_);
    }
    // Feature reports received so far, as the device got them.
    std::vector<std::vector<uint8_t>> received();
    // How many devices the fake has created (1, then 1 more per restart).
    int generation();

  private:
    UhidReader(int fd, vr::Mode mode, UhidOptions options, std::string uniq);
    bool write_event(const void* event);
    bool create_device();
    void destroy_device();
    void run();
    void handle_event();
    void wake();

    int fd_;
    int wake_fd_;
    UhidOptions options_;
    std::string uniq_;
    std::mutex model_mutex_;
    vr::ReaderModel model_;
    std::mutex write_mutex_;
    std::mutex timer_mutex_;
    std::multimap<int64_t, std::function<void()>> timers_;
    bool stopping_ = false;
    bool created_ = false;
    int generation_ = 0;
    std::thread thread_;
};

}  // namespace kernel_test
