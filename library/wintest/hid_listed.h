/*
 * Whether Windows lists a present HID interface with the given vendor and
 * product id that opens and answers for its attributes. The Windows test
 * programs of this folder and the window's driver wait for it after a mode
 * change: Wine lists a device that came back a while after the kernel has
 * its node. With `print`, each interface listed goes to the output.
 */
#ifndef KESTRO_WINTEST_HID_LISTED_H
#define KESTRO_WINTEST_HID_LISTED_H

#include <windows.h>

#include <setupapi.h>
#ifdef __cplusplus
extern "C" {  // MinGW's hidsdi.h declares C functions without saying so
#endif
#include <hidsdi.h>
#ifdef __cplusplus
}
#endif

#include <stdio.h>

static int hid_listed(USHORT vid, USHORT pid, int print) {
    GUID guid;
    SP_DEVICE_INTERFACE_DATA data;
    DWORD space[256];
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail = (PSP_DEVICE_INTERFACE_DETAIL_DATA_A)space;
    HDEVINFO set;
    DWORD i;
    int found = 0;
    HidD_GetHidGuid(&guid);
    set = SetupDiGetClassDevsA(&guid, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return 0;
    }
    data.cbSize = sizeof data;
    for (i = 0; !found && SetupDiEnumDeviceInterfaces(set, NULL, &guid, i, &data); ++i) {
        HIDD_ATTRIBUTES attributes;
        HANDLE h;
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof space, NULL, NULL)) {
            continue;
        }
        h = CreateFileA(detail->DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                        OPEN_EXISTING, 0, NULL);
        if (print) {
            printf("     listed: %s%s\n", detail->DevicePath,
                   h == INVALID_HANDLE_VALUE ? " (does not open)" : "");
        }
        if (h == INVALID_HANDLE_VALUE) {
            continue;
        }
        attributes.Size = sizeof attributes;
        found = HidD_GetAttributes(h, &attributes) && attributes.VendorID == vid &&
                attributes.ProductID == pid;
        CloseHandle(h);
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

#endif
