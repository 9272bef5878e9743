// Real readers on Linux: the kernel's hidraw nodes as devices of the
// registry. At each enumeration the backend lists /sys/class/hidraw, takes
// each node's vendor and product id from sysfs (or the node), computes the
// capabilities from its report descriptor, and attaches one device per node
// under the node's path ("/dev/hidrawN"); nodes that went away are detached.
//
// Every handle opened on such a device gets its own open file of the node,
// so each handle has the kernel's own input queue, as Windows keeps one per
// handle. Feature reports go through HIDIOCSFEATURE / HIDIOCGFEATURE with the
// buffer as given (byte 0 the report id, 0 for an unnumbered report); input
// reports are read inside the platform's waits (no thread) and reach the
// library with the report-id byte first, 0 for an unnumbered report, as on
// Windows. A node whose read fails, or that hangs up, has left: the device is
// detached, its pending reads complete with an error and its feature calls
// fail.
//
// Windows semantics kept: a handle opened with access 0 still carries
// feature reports (and answers attributes and capabilities even when the
// node itself may not be opened), and its reads fail with access denied;
// keyboards and mice, which Windows holds for itself, refuse read or write
// access (the kernel would allow it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "kp/backend.h"
#include "kp/device.h"

namespace kp {

// What the platform takes from a report descriptor: the capabilities that
// the Windows HID parser reports, as far as the library uses them.
struct ReportDescriptorCaps {
    bool valid = false;  // the descriptor could be read to its end
    // Of the first top-level collection.
    uint16_t usage_page = 0;
    uint16_t usage = 0;
    // Longest report of each kind in bytes, plus the report-id byte that
    // Windows always counts (0 when there is no report of that kind).
    uint16_t input_report_length = 0;
    uint16_t output_report_length = 0;
    uint16_t feature_report_length = 0;
    bool numbered = false;  // reports carry a report id (a Report ID item exists)
};

ReportDescriptorCaps parse_report_descriptor(const uint8_t* data, size_t length);

// The vendor and product id of a HID device's sysfs uevent text (its
// HID_ID line); false when no line gives them in the kernel's form.
bool parse_uevent_ids(const std::string& uevent, HidIdentity* id);

// Where the backend looks: the sysfs class directory and the directory of
// the device nodes ("/sys/class/hidraw" and "/dev" unless changed; empty
// strings restore them). Tests point them at a tree of their own.
void set_hidraw_root(const std::string& sysfs_dir, const std::string& dev_dir);

// The backend; register it with register_backend (the system backends of
// Linux include one).
std::shared_ptr<Backend> make_hidraw_backend();

}  // namespace kp
