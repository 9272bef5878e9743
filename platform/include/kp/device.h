// The device registry behind the platform's HID calls. A device is anything
// that implements HidDevice: an in-process virtual device, a reader served by
// another process, or a kernel hidraw node (kp/hidraw.h). Attached devices appear
// in the next enumeration, in the order they were attached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kp {

struct HidIdentity {
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
    uint16_t version = 0;
    uint16_t usage_page = 0;
    uint16_t usage = 0;
    uint16_t input_report_length = 0;  // including the report-id byte
    uint16_t output_report_length = 0;
    uint16_t feature_report_length = 0;  // including the report-id byte
};

// What one open handle of a device owns, when the device gives each open
// its own resources (a kernel device node: one open file per handle, with
// the kernel's own input queue per file, as Windows keeps one per handle).
class DeviceChannel {
  public:
    virtual ~DeviceChannel() = default;
    // Feature reports through this open (byte 0 the report id). Each returns
    // 0, or the Windows error code the call fails with.
    virtual uint32_t set_feature(const uint8_t* report, size_t length) = 0;
    virtual uint32_t get_feature(uint8_t* report, size_t length) = 0;
};

// Takes the input reports (byte 0 the report id) that reach one handle.
using InputSink = std::function<void(const uint8_t* report, size_t length)>;

class HidDevice {
  public:
    virtual ~HidDevice() = default;

    virtual HidIdentity identity() const = 0;

    // Windows error code that opening with this access mask (0, or
    // GENERIC_READ | GENERIC_WRITE) and flag fails with, or 0 when it opens.
    // A keyboard held by the system refuses read and write access, say.
    virtual uint32_t open_error(uint32_t access, bool overlapped) const {
        (void)access;
        (void)overlapped;
        return 0;
    }
    // Per-open resources, asked for once open_error has allowed the open.
    // The default (in-process devices) gives none: feature reports go to
    // set_feature/get_feature and input arrives through deliver_input. A
    // device that returns a channel answers the handle's feature reports
    // through it and feeds `sink` with the reports for this handle (the
    // sink ignores them unless the handle was opened with read access).
    // Null with `*error` set: the open fails with that Windows error code.
    virtual std::unique_ptr<DeviceChannel> open_channel(uint32_t access, bool overlapped,
                                                        InputSink sink, uint32_t* error) {
        (void)access;
        (void)overlapped;
        (void)sink;
        *error = 0;
        return nullptr;
    }
    // Whether the parser data and the attributes can be obtained.
    virtual bool preparsed_data_available() const { return true; }
    virtual bool attributes_available() const { return true; }

    // A feature report from the host, byte 0 the report id. Returns false
    // when the device rejects it.
    virtual bool set_feature(const uint8_t* report, size_t length) = 0;
    // Fills `report` (byte 0 the report id, as the host prepared it) with the
    // device's answer. Returns false when the device fails the request.
    virtual bool get_feature(uint8_t* report, size_t length) = 0;
};

// Attaches a device. It is given the device path `path`, or one made from its
// ids when `path` is empty, and appears in the next enumeration. Returns its
// path: the one it has already when it is attached, empty when another
// device has `path`.
std::string attach_device(std::shared_ptr<HidDevice> device, const std::string& path = "");

// Unplugs a device: pending reads on its handles complete with an error and
// every later call through them fails. It leaves the enumeration.
void detach_device(const HidDevice* device);

// Detaches every device.
void detach_all_devices();

// Whether the device is attached.
bool device_attached(const HidDevice* device);

// An input report from the device (byte 0 the report id), copied to every
// handle of it that was opened with read access. Each handle keeps at most
// kInputQueueLength reports; when its queue is full the oldest is dropped.
void deliver_input(const HidDevice* device, const uint8_t* report, size_t length);

// Completes every pending read on the handles of `device` with an error
// (a transfer that failed on the bus, say).
void fail_pending_reads(const HidDevice* device);

constexpr size_t kInputQueueLength = 32;

}  // namespace kp
