// Internal view of the device registry and of the handles opened on devices.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "handles.h"
#include "kp/device.h"
#include "kp/wipe.h"

namespace kp {

class DeviceHandle;

struct DeviceEntry {
    std::shared_ptr<HidDevice> device;
    std::string path;
    HidIdentity identity;
    bool attached = true;
    std::vector<DeviceHandle*> handles;  // open handles of this device
};

// Attached devices, in the order they were attached.
const std::vector<std::shared_ptr<DeviceEntry>>& attached_devices();
std::shared_ptr<DeviceEntry> find_device(const std::string& path);

struct PendingRead {
    OVERLAPPED* ov;
    uint8_t* buffer;
};

class DeviceHandle : public Object {
  public:
    DeviceHandle(std::shared_ptr<DeviceEntry> entry, DWORD access, bool overlapped);
    ~DeviceHandle() override;

    const std::shared_ptr<DeviceEntry> entry;
    const DWORD access;
    const bool overlapped;
    // Input reports not yet read. Their bytes are wiped whenever one leaves
    // the queue: read, dropped when full, or cleared on unplug and close.
    std::deque<ReportBytes> queue;
    std::vector<PendingRead> pending;  // overlapped reads waiting for one, oldest first
    // The device's resources for this open, if it gives any (see
    // HidDevice::open_channel); released first when the handle closes.
    std::unique_ptr<DeviceChannel> channel;

    bool can_read() const { return (access & GENERIC_READ) != 0; }
    // An input report for this handle: completes the oldest pending read,
    // else joins the queue (the oldest queued report is dropped when full).
    // Ignored without read access or once the device has left.
    void receive(const uint8_t* report, size_t length);
    // Completes the oldest pending read with `status`; STATUS_SUCCESS only
    // with a report (`report`, `length`), padded to the input report length.
    void complete_front(uint32_t status, const uint8_t* report = nullptr, size_t length = 0);
    void complete_all(uint32_t status);
};

// Converts a completion status to the last-error code that reports it.
DWORD error_of_status(uint32_t status);

// Copies the report into `buffer`, zero-padded to the input report length.
DWORD copy_report(const DeviceEntry& entry, const uint8_t* report, size_t length, uint8_t* buffer);

// Takes the oldest queued report of `h` into `buffer` (as copy_report);
// its bytes are wiped as they leave the queue.
DWORD pop_report(DeviceHandle* h, uint8_t* buffer);

}  // namespace kp
