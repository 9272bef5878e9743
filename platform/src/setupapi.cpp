// The device-setup calls: a device set is a snapshot of the device paths of
// the attached HID devices, taken when the set is made.
#include "kp/winapi.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "handles.h"
#include "kp/backend.h"
#include "kp/faults.h"
#include "registry.h"

namespace {

const GUID kHidGuid = {
    0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

bool same_guid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

class DeviceSet : public kp::Object {
  public:
    std::vector<std::string> paths;
};

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

void HidD_GetHidGuid(LPGUID guid) {
    *guid = kHidGuid;
}

HDEVINFO SetupDiGetClassDevsA(const GUID* guid, LPCSTR, HWND, DWORD flags) {
    if (kp::fault_due(kp::Call::DeviceSet)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    if (guid == nullptr || (flags & DIGCF_DEVICEINTERFACE) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_unique<DeviceSet>();
    if (same_guid(*guid, kHidGuid)) {
        kp::scan_backends();
        for (const auto& e : kp::attached_devices()) {
            set->paths.push_back(e->path);
        }
    }
    SetLastError(ERROR_SUCCESS);
    return kp::handle_insert(std::move(set));
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO h, PSP_DEVINFO_DATA, const GUID* guid, DWORD index,
                                 PSP_DEVICE_INTERFACE_DATA data) {
    auto* set = kp::handle_as<DeviceSet>(h);
    if (set == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || guid == nullptr) {
        return fail(ERROR_INVALID_USER_BUFFER);
    }
    if (index < set->paths.size() && kp::fault_due(kp::Call::EnumInterface)) {
        return fail(ERROR_GEN_FAILURE);
    }
    if (!same_guid(*guid, kHidGuid) || index >= set->paths.size()) {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    data->InterfaceClassGuid = *guid;
    data->Flags = 1;  // SPINT_ACTIVE
    data->Reserved = static_cast<ULONG_PTR>(index) + 1;
    return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO h, PSP_DEVICE_INTERFACE_DATA data,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                      PDWORD required, PSP_DEVINFO_DATA) {
    auto* set = kp::handle_as<DeviceSet>(h);
    if (set == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (data == nullptr || data->Reserved == 0 || data->Reserved > set->paths.size()) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const std::string& path = set->paths[data->Reserved - 1];
    DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) +
                                      path.size() + 1);
    if (required != nullptr) {
        *required = needed;
    }
    if (detail == nullptr) {
        return fail(size == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        return fail(ERROR_INVALID_USER_BUFFER);
    }
    if (size < needed) {
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (kp::fault_due(kp::Call::InterfaceDetail)) {
        return fail(ERROR_GEN_FAILURE);
    }
    std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO h) {
    if (kp::handle_as<DeviceSet>(h) == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    kp::handle_erase(h);
    return TRUE;
}
