// The HID class calls: parser data, attributes, capabilities and feature
// reports through an open device handle, whatever access it was opened with.
#include <cstring>

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

// The device behind an open handle, or null with the last error set.
kp::DeviceEntry* usable_device(HANDLE h) {
    auto* d = kp::handle_as<kp::DeviceHandle>(h);
    if (d == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!d->entry->attached) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return nullptr;
    }
    return d->entry.get();
}

}  // namespace

BOOLEAN HidD_GetPreparsedData(HANDLE h, PHIDP_PREPARSED_DATA* data) {
    kp::DeviceEntry* e = usable_device(h);
    if (e == nullptr || data == nullptr) {
        return e == nullptr ? FALSE : fail(ERROR_INVALID_PARAMETER);
    }
    if (!e->device->preparsed_data_available()) {
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
    if (!e->device->attributes_available()) {
        return fail(ERROR_GEN_FAILURE);
    }
    attributes->VendorID = e->identity.vendor_id;
    attributes->ProductID = e->identity.product_id;
    attributes->VersionNumber = e->identity.version;
    return TRUE;
}

NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
    if (data == nullptr || caps == nullptr) {
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
    kp::DeviceEntry* e = usable_device(h);
    if (e == nullptr) {
        return FALSE;
    }
    if (report == nullptr || e->identity.feature_report_length == 0 ||
        length < e->identity.feature_report_length) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (!e->device->set_feature(static_cast<const uint8_t*>(report), length)) {
        return fail(ERROR_GEN_FAILURE);
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOLEAN HidD_GetFeature(HANDLE h, PVOID report, ULONG length) {
    kp::DeviceEntry* e = usable_device(h);
    if (e == nullptr) {
        return FALSE;
    }
    if (report == nullptr || e->identity.feature_report_length == 0 ||
        length < e->identity.feature_report_length) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (!e->device->get_feature(static_cast<uint8_t*>(report), length)) {
        return fail(ERROR_GEN_FAILURE);
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
