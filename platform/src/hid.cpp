// The HID class calls: parser data, attributes, capabilities and feature
// reports through an open device handle, whatever access it was opened with.
#include "kp/winapi.h"

#include <cstring>

#include "files.h"
#include "kp/faults.h"
#include "registry.h"

struct _HIDP_PREPARSED_DATA {
    kp::HidIdentity identity;
};

namespace kp {

// Parser data blocks handed out and not yet freed; counted as open handles
// so that a leak shows in the same count.
size_t& live_preparsed_data() {
    static size_t n = 0;
    return n;
}

}  // namespace kp

namespace {

BOOLEAN fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The open device handle behind `h`, or null with the last error set.
kp::DeviceHandle* usable_handle(HANDLE h) {
    auto* d = kp::handle_as<kp::DeviceHandle>(h);
    if (d == nullptr) {
        // A file takes the HID request and refuses it, as a file system
        // answers a device request it does not know; any other object is
        // the wrong kind of handle.
        SetLastError(kp::handle_as<kp::File>(h) != nullptr ? ERROR_INVALID_FUNCTION
                                                           : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!d->entry->attached) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return nullptr;
    }
    return d;
}

// The device behind an open handle, or null with the last error set.
kp::DeviceEntry* usable_device(HANDLE h) {
    kp::DeviceHandle* d = usable_handle(h);
    return d == nullptr ? nullptr : d->entry.get();
}

// A feature report through the handle: its channel when the device gave it
// one, else the device itself.
template <typename Buffer, typename Channel, typename Device>
BOOLEAN feature_call(HANDLE h, Buffer* report, ULONG length, Channel through_channel,
                     Device through_device) {
    kp::DeviceHandle* d = usable_handle(h);
    if (d == nullptr) {
        return FALSE;
    }
    const kp::DeviceEntry& e = *d->entry;
    if (report == nullptr || e.identity.feature_report_length == 0 ||
        length < e.identity.feature_report_length) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (d->channel != nullptr) {
        if (uint32_t error = through_channel(*d->channel, report, length)) {
            return fail(error);
        }
    } else if (!through_device(*e.device, report, length)) {
        return fail(ERROR_GEN_FAILURE);
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

}  // namespace

BOOLEAN HidD_GetPreparsedData(HANDLE h, PHIDP_PREPARSED_DATA* data) {
    kp::DeviceEntry* e = usable_device(h);
    if (e == nullptr || data == nullptr) {
        return e == nullptr ? FALSE : fail(ERROR_INVALID_PARAMETER);
    }
    if (!e->device->preparsed_data_available() || kp::fault_due(kp::Call::ParserData)) {
        return fail(ERROR_GEN_FAILURE);
    }
    *data = new _HIDP_PREPARSED_DATA{e->identity};
    ++kp::live_preparsed_data();
    return TRUE;
}

BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data) {
    if (data == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    delete data;
    --kp::live_preparsed_data();
    return TRUE;
}

BOOLEAN HidD_GetAttributes(HANDLE h, PHIDD_ATTRIBUTES attributes) {
    kp::DeviceEntry* e = usable_device(h);
    if (e == nullptr) {
        return FALSE;
    }
    if (attributes == nullptr || attributes->Size != sizeof(HIDD_ATTRIBUTES)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (!e->device->attributes_available() || kp::fault_due(kp::Call::Attributes)) {
        return fail(ERROR_GEN_FAILURE);
    }
    attributes->VendorID = e->identity.vendor_id;
    attributes->ProductID = e->identity.product_id;
    attributes->VersionNumber = e->identity.version;
    return TRUE;
}

NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
    if (data == nullptr || caps == nullptr || kp::fault_due(kp::Call::Capabilities)) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    std::memset(caps, 0, sizeof *caps);
    caps->Usage = data->identity.usage;
    caps->UsagePage = data->identity.usage_page;
    caps->InputReportByteLength = data->identity.input_report_length;
    caps->OutputReportByteLength = data->identity.output_report_length;
    caps->FeatureReportByteLength = data->identity.feature_report_length;
    caps->NumberLinkCollectionNodes = 1;
    return HIDP_STATUS_SUCCESS;
}

BOOLEAN HidD_SetFeature(HANDLE h, PVOID report, ULONG length) {
    if (kp::fault_due(kp::Call::SetFeature)) {
        return fail(ERROR_GEN_FAILURE);
    }
    return feature_call(
        h, static_cast<const uint8_t*>(report), length,
        [](kp::DeviceChannel& c, const uint8_t* r, ULONG n) { return c.set_feature(r, n); },
        [](kp::HidDevice& d, const uint8_t* r, ULONG n) { return d.set_feature(r, n); });
}

BOOLEAN HidD_GetFeature(HANDLE h, PVOID report, ULONG length) {
    if (kp::fault_due(kp::Call::GetFeature)) {
        return fail(ERROR_GEN_FAILURE);
    }
    return feature_call(
        h, static_cast<uint8_t*>(report), length,
        [](kp::DeviceChannel& c, uint8_t* r, ULONG n) { return c.get_feature(r, n); },
        [](kp::HidDevice& d, uint8_t* r, ULONG n) { return d.get_feature(r, n); });
}
