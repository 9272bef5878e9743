// One hidraw node as a HID device of the registry, and the open file that
// each handle on it gets.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kp/backend.h"
#include "kp/device.h"
#include "kp/wipe.h"

namespace kp {

// What the backend found out about a node without opening it for the
// library.
struct HidrawNodeInfo {
    HidIdentity identity;
    bool caps_known = false;  // the report descriptor could be read and parsed
    bool numbered = false;    // its reports carry a report id
    bool exclusive = false;   // a keyboard or mouse: Windows holds it for itself
};

class HidrawDevice : public HidDevice, public std::enable_shared_from_this<HidrawDevice> {
  public:
    HidrawDevice(std::string node, const HidrawNodeInfo& info)
        : node_(std::move(node)), info_(info) {}

    const std::string& node() const { return node_; }

    HidIdentity identity() const override { return info_.identity; }
    uint32_t open_error(uint32_t access, bool overlapped) const override;
    bool preparsed_data_available() const override { return info_.caps_known; }
    std::unique_ptr<DeviceChannel> open_channel(uint32_t access, bool overlapped, InputSink sink,
                                                uint32_t* error) override;
    // Every handle has a channel, through which its feature reports go.
    bool set_feature(const uint8_t*, size_t) override { return false; }
    bool get_feature(uint8_t*, size_t) override { return false; }

    // The node has left: the device leaves the registry (pending reads
    // complete with an error, later calls fail).
    void gone();

  private:
    std::string node_;
    HidrawNodeInfo info_;
};

// A handle's own open file of the node (fd -1: a handle opened with access
// 0 on a node this process may not open at all).
class HidrawChannel : public DeviceChannel {
  public:
    HidrawChannel(std::weak_ptr<HidrawDevice> device, int fd, const HidrawNodeInfo& info,
                  InputSink sink, bool watch);
    ~HidrawChannel() override;

    uint32_t set_feature(const uint8_t* report, size_t length) override;
    uint32_t get_feature(uint8_t* report, size_t length) override;

  private:
    // Reads every report the kernel holds for this file and hands each to
    // the sink; a failed read means the node has left.
    void pump();
    void stop_watching();
    uint32_t feature_failure(int error);

    std::weak_ptr<HidrawDevice> device_;
    int fd_;
    bool numbered_;
    uint16_t feature_length_;
    InputSink sink_;
    bool watched_ = false;
    PollSourceId poll_id_ = 0;
    // Where reports are read in: wiped after each one and when freed.
    ReportBytes buffer_;
};

}  // namespace kp
