// A virtual reader attached to the platform layer in this process, as the
// library's tests use it. It hosts a ReaderModel, delivers swipes as input
// reports, and on a reset leaves the bus and comes back under the product id
// of its new mode after the restart time (on the platform's clock).
#pragma once

#include <memory>
#include <string>

#include "kp/device.h"
#include "vr/model.h"

namespace vr {

// Faults of discovery: how the reader's interface misbehaves when opened.
struct OpenFaults {
    bool refuse_read_write = false;  // an open with read/write access fails (access denied)
    bool refuse_query = false;       // an open without access fails
    bool refuse_overlapped = false;  // the overlapped open fails
    bool fail_preparsed = false;     // the parser data cannot be obtained
    bool fail_attributes = false;    // the attributes cannot be obtained
};

class InProcessReader : public kp::HidDevice, public std::enable_shared_from_this<InProcessReader> {
  public:
    // Makes a reader and plugs it in.
    static std::shared_ptr<InProcessReader> plug_new(Mode mode = Mode::Idtech);

    void plug();
    void unplug();
    bool plugged() const;
    const std::string& path() const { return path_; }

    // Swipes a card: one input report in the HID modes; nothing reaches the
    // host in keyboard mode. Returns the report sent (empty if none).
    std::vector<uint8_t> swipe(const Track tracks[3]);
    // Makes the pending read on the reader's handles complete with an error.
    void fail_pending_reads();

    ReaderModel& model() { return model_; }
    OpenFaults open_faults;
    int64_t restart_ms = kRestartMs;
    // Input report length the reader announces (0: that of its mode).
    uint16_t input_length_override = 0;
    // Feature report length the reader announces (0: the 25 of the frame).
    uint16_t feature_length_override = 0;

    // kp::HidDevice
    kp::HidIdentity identity() const override;
    uint32_t open_error(uint32_t access, bool overlapped) const override;
    bool preparsed_data_available() const override { return !open_faults.fail_preparsed; }
    bool attributes_available() const override { return !open_faults.fail_attributes; }
    bool set_feature(const uint8_t* report, size_t length) override;
    bool get_feature(uint8_t* report, size_t length) override;

  private:
    explicit InProcessReader(Mode mode) : model_(mode) {}
    ReaderModel model_;
    std::string path_;
};

// HID devices of the machine that are not the reader.
std::shared_ptr<kp::HidDevice> make_system_keyboard();  // refuses read/write access
std::shared_ptr<kp::HidDevice> make_mouse();
// Another maker's device (the reader's product ids under another vendor id,
// say).
std::shared_ptr<kp::HidDevice> make_foreign_device(uint16_t vendor_id, uint16_t product_id);

}  // namespace vr
