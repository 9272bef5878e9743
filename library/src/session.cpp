// The session: discovery of the reader among the HID interfaces, open and
// close, SetID and gtime.
#include <stdio.h>
#include <string.h>

#include "state.h"
#include "trace.h"

namespace kestro {
namespace {

const DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
const DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

// A platform that keeps failing to return interfaces (neither an interface
// nor "no more items") would make the enumeration grow its table for ever;
// after this many failures in a row it counts as finished.
const uint32_t kMaxFailuresInARow = 64;

// Writes the interface entry. The device path is shortened, never the rest
// of the entry, when the whole would not fit the line buffer.
void trace_interface(const char* path, HidRecord* rec, DWORD access) {
    const char* format = "\r\n --> %.*s \r\n hxc=%d, hdx=%08X, hd=%08X, acc=%u, vid=%x, pid=%x ";
    uint32_t acc = static_cast<uint32_t>(access);
    int rest = snprintf(nullptr, 0, format, 0, "", hxc, P(rec), P(rec->handle), acc,
                        rec->attributes.VendorID, rec->attributes.ProductID);
    int room = static_cast<int>(sizeof ss) - 1 - rest;
    int len = static_cast<int>(strlen(path));
    trace(format, len < room ? len : (room > 0 ? room : 0), path, hxc, P(rec), P(rec->handle), acc,
          rec->attributes.VendorID, rec->attributes.ProductID);
}

// Opens one interface, fills its record and admits it as the next slot when
// it carries Vid and Pid. Everything obtained for a skipped interface is
// released at once.
bool OpenHidDevice(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data, HidRecord* rec) {
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &needed, nullptr);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        needed = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    }
    auto detail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(LocalAlloc(LPTR, needed));
    if (detail == nullptr) {
        return false;
    }
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, data, detail, needed, nullptr, nullptr)) {
        LocalFree(detail);
        return false;
    }
    // Keyboard mode: the reader is a keyboard that the system holds, so it
    // is opened for its attributes and feature reports only.
    DWORD access = Pid == MR_PID_KEYBOARD ? 0 : kReadWrite;
    rec->handle =
        CreateFileA(detail->DevicePath, access, kShare, nullptr, OPEN_EXISTING, 0, nullptr);
    trace_interface(detail->DevicePath, rec, access);
    if (rec->handle == INVALID_HANDLE_VALUE) {
        rec->handle = nullptr;
        LocalFree(detail);
        return false;
    }
    if (!HidD_GetPreparsedData(rec->handle, &rec->preparsed)) {
        rec->preparsed = nullptr;
        CloseHandle(rec->handle);
        rec->handle = nullptr;
        LocalFree(detail);
        return false;
    }
    rec->attributes.Size = sizeof(HIDD_ATTRIBUTES);
    bool ok = HidD_GetAttributes(rec->handle, &rec->attributes) &&
              HidP_GetCaps(rec->preparsed, &rec->caps) == HIDP_STATUS_SUCCESS &&
              static_cast<uint32_t>(rec->attributes.VendorID) == static_cast<uint32_t>(Vid) &&
              static_cast<uint32_t>(rec->attributes.ProductID) == static_cast<uint32_t>(Pid);
    // Past the 256th slot a matching interface is treated as not matching.
    if (!ok || hdc >= MR_MAX_SLOTS) {
        HidD_FreePreparsedData(rec->preparsed);
        rec->preparsed = nullptr;
        CloseHandle(rec->handle);
        rec->handle = nullptr;
        LocalFree(detail);
        return false;
    }
    int32_t n = hdc;
    hd[n] = rec->handle;
    hdi[n] = rec->attributes.ProductID;
    ++hdc;
    vp[n] = detail;
    ++vpc;
    hdx[n] = rec;
    hdr[n] = CreateFileA(detail->DevicePath, kReadWrite, kShare, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
    trace("\r\n hxc=%d, hdx=%08X, hd=%08X, hdr=%08X, vid=%x, pid=%x ", n, P(rec), P(hd[n]),
          P(hdr[n]), rec->attributes.VendorID, rec->attributes.ProductID);
    ++hxc;
    return true;
}

// Enumerates the present HID interfaces into the table, admitting the
// matching ones. `count` becomes the number of interfaces enumerated.
bool FindKnownHidDevices(RecordTable* table, uint32_t* count) {
    GUID guid;
    HidD_GetHidGuid(&guid);
    table_free(table);
    *count = 0;
    HDEVINFO set =
        SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return true;
    }
    uint32_t capacity = 4;
    uint32_t index = 0;
    uint32_t failures = 0;
    bool complete = false;
    while (!complete) {
        capacity *= 2;
        if (!table_grow(table, capacity)) {
            *count = index;
            SetupDiDestroyDeviceInfoList(set);
            return false;
        }
        for (; index < capacity; ++index) {
            SP_DEVICE_INTERFACE_DATA data;
            memset(&data, 0, sizeof data);
            data.cbSize = sizeof data;
            if (SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &data)) {
                failures = 0;
                OpenHidDevice(set, &data, table_record(table, index));
            } else if (GetLastError() == ERROR_NO_MORE_ITEMS || ++failures >= kMaxFailuresInARow) {
                complete = true;
                break;
            }
        }
    }
    *count = index;
    SetupDiDestroyDeviceInfoList(set);
    return true;
}

}  // namespace
}  // namespace kestro

using namespace kestro;

int32_t KESTRO_CALL OpenUSB(void) {
    if (nod != 0) {
        return 1;
    }
    int32_t now = clock_now();
    trace_open();
    trace("\r\n\n Kestro-------------------- %s", time_text(now));
    FindKnownHidDevices(&myHidDevices, &nod);
    trace("\r\n hdc=%u, hxc=%u, vpc=%u, nod=%u, Pid=%x \r\n", static_cast<uint32_t>(hdc),
          static_cast<uint32_t>(hxc), static_cast<uint32_t>(vpc), nod, static_cast<uint32_t>(Pid));
    for (uint32_t i = 0; i < nod; ++i) {
        trace(" myHidDev[%d]=%08X \r\n", static_cast<int>(i), P(table_record(&myHidDevices, i)));
    }
    if (nod == 0 || hdc < 1) {
        CloseUSB();
        return 2;
    }
    // The event has no name: a named one would be shared by every process
    // that uses the library, and a read completing in one would wake the
    // wait of another.
    SetLastError(0);
    hov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    trace("\r\n hev=%08X, lerr=%d \r\n", P(hov.hEvent), static_cast<int32_t>(GetLastError()));
    return 0;
}

int32_t KESTRO_CALL OpenKestro(void) {
    return OpenUSB();
}

int32_t KESTRO_CALL CloseUSB(void) {
    if (fdd != INVALID_HANDLE_VALUE) {
        trace("\r\n hxc=%d, nod=%u \r\n", hxc, nod);
        trace("\r\n ==========================  \r\n\r\n");
        trace_close();
    }
    for (int32_t i = 0; i < hxc; ++i) {
        if (hdr[i] != nullptr && hdr[i] != INVALID_HANDLE_VALUE) {
            CloseHandle(hdr[i]);
        }
        hdr[i] = INVALID_HANDLE_VALUE;
        if (hdx[i] != nullptr) {
            HidD_FreePreparsedData(hdx[i]->preparsed);
            CloseHandle(hdx[i]->handle);
            hdx[i] = nullptr;
        }
        hd[i] = nullptr;
        LocalFree(vp[i]);
        vp[i] = nullptr;
    }
    rd_pending = nullptr;  // closing its handle cancelled it
    // No card outlives the session (nor lands in a core dump after it): with
    // the handles closed nothing writes into the receive buffer any more.
    SecureZeroMemory(rbuf, sizeof rbuf);
    table_free(&myHidDevices);
    if (hov.hEvent != nullptr) {
        CloseHandle(hov.hEvent);
        hov.hEvent = nullptr;
    }
    fdd = INVALID_HANDLE_VALUE;
    vpc = 0;
    hxc = 0;
    hdc = 0;
    nod = 0;
    return 0;
}

int32_t KESTRO_CALL CloseKestro(void) {
    return CloseUSB();
}

int32_t KESTRO_CALL SetID(int32_t new_pid) {
    if (new_pid != 0) {
        Pid = new_pid;
    }
    return 0;
}

int32_t KESTRO_CALL gtime(void) {
    return clock_now();
}
