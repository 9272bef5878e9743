#include "registry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "events.h"
#include "lifetime.h"

namespace kp {
namespace {

std::vector<std::shared_ptr<DeviceEntry>>& entries() {
    static std::vector<std::shared_ptr<DeviceEntry>> e;
    return e;
}

// Attached devices by path and by device, so that opens and deliveries do
// not search the whole list.
std::unordered_map<std::string, std::shared_ptr<DeviceEntry>>& by_path() {
    static std::unordered_map<std::string, std::shared_ptr<DeviceEntry>> m;
    return m;
}

std::unordered_map<const HidDevice*, std::shared_ptr<DeviceEntry>>& by_device() {
    static std::unordered_map<const HidDevice*, std::shared_ptr<DeviceEntry>> m;
    return m;
}

DeviceEntry* entry_of(const HidDevice* device) {
    auto it = by_device().find(device);
    return it == by_device().end() ? nullptr : it->second.get();
}

unsigned next_instance = 1;

}  // namespace

const std::vector<std::shared_ptr<DeviceEntry>>& attached_devices() {
    return entries();
}

std::shared_ptr<DeviceEntry> find_device(const std::string& path) {
    auto it = by_path().find(path);
    return it == by_path().end() ? nullptr : it->second;
}

DeviceHandle::DeviceHandle(std::shared_ptr<DeviceEntry> e, DWORD acc, bool ovl)
    : entry(std::move(e)), access(acc), overlapped(ovl) {
    entry->handles.push_back(this);
}

DeviceHandle::~DeviceHandle() {
    channel.reset();  // no more input from the device's side
    // Closing a handle cancels what is still pending on it.
    complete_all(STATUS_CANCELLED);
    auto& all = entry->handles;
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

DWORD copy_report(const DeviceEntry& entry, const uint8_t* report, size_t length, uint8_t* buffer) {
    size_t n = entry.identity.input_report_length;
    size_t take = std::min(n, length);
    if (take > 0 && report != nullptr) {  // an empty report has no data to copy
        std::memcpy(buffer, report, take);
    }
    std::memset(buffer + take, 0, n - take);
    return static_cast<DWORD>(n);
}

DWORD pop_report(DeviceHandle* h, uint8_t* buffer) {
    const ReportBytes& front = h->queue.front();
    DWORD n = copy_report(*h->entry, front.data(), front.size(), buffer);
    h->queue.pop_front();  // its allocator wipes the bytes
    return n;
}

void DeviceHandle::complete_front(uint32_t status, const uint8_t* report, size_t length) {
    PendingRead p = pending.front();
    pending.erase(pending.begin());
    p.ov->InternalHigh = 0;
    if (status == STATUS_SUCCESS) {  // only a report completes a read with success
        p.ov->InternalHigh = copy_report(*entry, report, length, p.buffer);
    }
    p.ov->Internal = status;
    signal_event(p.ov->hEvent);
}

void DeviceHandle::receive(const uint8_t* report, size_t length) {
    if (!can_read() || !entry->attached) {
        return;
    }
    if (!pending.empty()) {
        complete_front(STATUS_SUCCESS, report, length);
        return;
    }
    if (queue.size() == kInputQueueLength) {
        queue.pop_front();  // the oldest report is lost, as on Windows (and wiped)
    }
    queue.emplace_back(report, report + length);
}

void DeviceHandle::complete_all(uint32_t status) {
    while (!pending.empty()) {
        complete_front(status);
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
    watch_process_end();
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
    if (DeviceEntry* existing = entry_of(e->device.get())) {
        return existing->path;  // attached already
    }
    if (by_path().count(e->path) != 0) {
        return std::string();  // another device has that path: not attached
    }
    entries().push_back(e);
    by_path()[e->path] = e;
    by_device()[e->device.get()] = e;
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
    by_path().erase(gone->path);
    by_device().erase(gone->device.get());
    gone->attached = false;
    for (DeviceHandle* h : gone->handles) {
        h->queue.clear();  // wiped: nobody will read these any more
        h->complete_all(STATUS_DEVICE_NOT_CONNECTED);
    }
}

void detach_all_devices() {
    while (!entries().empty()) {
        detach_device(entries().front()->device.get());
    }
}

bool device_attached(const HidDevice* device) {
    return entry_of(device) != nullptr;
}

void deliver_input(const HidDevice* device, const uint8_t* report, size_t length) {
    DeviceEntry* e = entry_of(device);
    if (e == nullptr) {
        return;
    }
    // Each handle gets the same bytes, whatever the sender does with its own
    // meanwhile; the copy is wiped when it is freed.
    ReportBytes bytes(report, report + length);
    for (DeviceHandle* h : e->handles) {
        h->receive(bytes.data(), bytes.size());
    }
}

void fail_pending_reads(const HidDevice* device) {
    if (DeviceEntry* e = entry_of(device)) {
        for (DeviceHandle* h : e->handles) {
            h->complete_all(0xC0000001u);  // STATUS_UNSUCCESSFUL
        }
    }
}

}  // namespace kp
