#include "registry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "events.h"

namespace kp {
namespace {

std::vector<std::shared_ptr<DeviceEntry>>& entries() {
    static std::vector<std::shared_ptr<DeviceEntry>> e;
    return e;
}

std::vector<DeviceHandle*>& open_device_handles() {
    static std::vector<DeviceHandle*> h;
    return h;
}

unsigned next_instance = 1;

}  // namespace

const std::vector<std::shared_ptr<DeviceEntry>>& attached_devices() {
    return entries();
}

std::shared_ptr<DeviceEntry> find_device(const std::string& path) {
    for (const auto& e : entries()) {
        if (e->path == path) {
            return e;
        }
    }
    return nullptr;
}

DeviceHandle::DeviceHandle(std::shared_ptr<DeviceEntry> e, DWORD acc, bool ovl)
    : entry(std::move(e)), access(acc), overlapped(ovl) {
    open_device_handles().push_back(this);
}

DeviceHandle::~DeviceHandle() {
    // Closing a handle cancels what is still pending on it.
    complete_all(STATUS_CANCELLED);
    auto& all = open_device_handles();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

DWORD copy_report(const DeviceEntry& entry, const std::vector<uint8_t>& report, uint8_t* buffer) {
    size_t n = entry.identity.input_report_length;
    size_t take = std::min(n, report.size());
    std::memcpy(buffer, report.data(), take);
    std::memset(buffer + take, 0, n - take);
    return static_cast<DWORD>(n);
}

void DeviceHandle::complete_front(uint32_t status, const std::vector<uint8_t>* report) {
    PendingRead p = pending.front();
    pending.pop_front();
    p.ov->InternalHigh = 0;
    if (status == STATUS_SUCCESS && report != nullptr) {
        p.ov->InternalHigh = copy_report(*entry, *report, p.buffer);
    }
    p.ov->Internal = status;
    signal_event(p.ov->hEvent);
}

void DeviceHandle::complete_all(uint32_t status) {
    while (!pending.empty()) {
        complete_front(status, nullptr);
    }
}

DWORD error_of_status(uint32_t status) {
    switch (status) {
        case STATUS_SUCCESS:
            return ERROR_SUCCESS;
        case STATUS_PENDING:
            return ERROR_IO_PENDING;
        case STATUS_CANCELLED:
            return ERROR_OPERATION_ABORTED;
        case STATUS_DEVICE_NOT_CONNECTED:
            return ERROR_DEVICE_NOT_CONNECTED;
        default:
            return ERROR_GEN_FAILURE;
    }
}

std::string attach_device(std::shared_ptr<HidDevice> device, const std::string& path) {
    auto e = std::make_shared<DeviceEntry>();
    e->identity = device->identity();
    e->device = std::move(device);
    if (path.empty()) {
        char buf[128];
        std::snprintf(buf, sizeof buf,
                      "\\\\?\\hid#vid_%04x&pid_%04x#kp&%u#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                      e->identity.vendor_id, e->identity.product_id, next_instance++);
        e->path = buf;
    } else {
        e->path = path;
    }
    entries().push_back(e);
    return e->path;
}

void detach_device(const HidDevice* device) {
    auto& all = entries();
    auto it = std::find_if(all.begin(), all.end(),
                           [&](const auto& e) { return e->device.get() == device; });
    if (it == all.end()) {
        return;
    }
    std::shared_ptr<DeviceEntry> gone = *it;
    all.erase(it);
    gone->attached = false;
    for (DeviceHandle* h : open_device_handles()) {
        if (h->entry == gone) {
            h->queue.clear();
            h->complete_all(STATUS_DEVICE_NOT_CONNECTED);
        }
    }
}

void detach_all_devices() {
    while (!entries().empty()) {
        detach_device(entries().front()->device.get());
    }
}

bool device_attached(const HidDevice* device) {
    for (const auto& e : entries()) {
        if (e->device.get() == device) {
            return true;
        }
    }
    return false;
}

void deliver_input(const HidDevice* device, const uint8_t* report, size_t length) {
    std::vector<uint8_t> bytes(report, report + length);
    for (DeviceHandle* h : open_device_handles()) {
        if (!h->entry->attached || h->entry->device.get() != device || !h->can_read()) {
            continue;
        }
        if (!h->pending.empty()) {
            h->complete_front(STATUS_SUCCESS, &bytes);
            continue;
        }
        if (h->queue.size() == kInputQueueLength) {
            h->queue.pop_front();  // the oldest report is lost, as on Windows
        }
        h->queue.push_back(bytes);
    }
}

void fail_pending_reads(const HidDevice* device) {
    for (DeviceHandle* h : open_device_handles()) {
        if (h->entry->device.get() == device) {
            h->complete_all(0xC0000001u);  // STATUS_UNSUCCESSFUL
        }
    }
}

}  // namespace kp
