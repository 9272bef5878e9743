// The subset of the Windows API that the reader library calls, for systems
// that are not Windows. Types keep their Windows widths (DWORD, LONG and BOOL
// are 32 bits even where long is 64), values and error codes are those of
// Windows, so the library's code and its trace mean the same everywhere.
#pragma once

// Valid C as well as C++: the platform's conformance program is C.
#include <stddef.h>
#include <stdint.h>

typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int32_t BOOL;
typedef uint32_t ULONG;
typedef uint32_t UINT;
typedef uint16_t USHORT;
typedef uint8_t UCHAR;
typedef uint8_t BYTE;
typedef uint8_t BOOLEAN;
typedef char CHAR;
typedef uintptr_t ULONG_PTR;
typedef size_t SIZE_T;
typedef LONG NTSTATUS;
typedef void* HANDLE;
typedef void* HLOCAL;
typedef void* HWND;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef const char* LPCSTR;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef LONG* PLONG;
typedef HANDLE HDEVINFO;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
#define WINAPI

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

// Access, sharing, creation and flags of CreateFileA.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_OVERLAPPED 0x40000000u

// SetFilePointer.
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

// LocalAlloc.
#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

// Last-error codes.
#define ERROR_SUCCESS 0u
#define ERROR_INVALID_FUNCTION 1u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_GEN_FAILURE 31u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_NO_MORE_ITEMS 259u
#define ERROR_OPERATION_ABORTED 995u
#define ERROR_IO_INCOMPLETE 996u
#define ERROR_IO_PENDING 997u
#define ERROR_DEVICE_NOT_CONNECTED 1167u
#define ERROR_INVALID_USER_BUFFER 1784u

// Waits.
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
#define INFINITE 0xFFFFFFFFu

// Completion states kept in OVERLAPPED::Internal, as the kernel keeps them.
#define STATUS_SUCCESS 0x00000000u
#define STATUS_PENDING 0x00000103u
#define STATUS_CANCELLED 0xC0000120u
#define STATUS_DEVICE_NOT_CONNECTED 0xC000009Du

// SetupDiGetClassDevsA flags.
#define DIGCF_PRESENT 0x00000002u
#define DIGCF_DEVICEINTERFACE 0x00000010u

#define HIDP_STATUS_SUCCESS ((NTSTATUS)0x00110000)
#define HIDP_STATUS_INVALID_PREPARSED_DATA ((NTSTATUS)0xC0110001u)

typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID, *LPGUID;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _OVERLAPPED {
    ULONG_PTR Internal;      // completion status of the request
    ULONG_PTR InternalHigh;  // bytes transferred
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

typedef struct _SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

typedef struct _SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
} SP_DEVICE_INTERFACE_DATA, *PSP_DEVICE_INTERFACE_DATA;

typedef struct _SP_DEVICE_INTERFACE_DETAIL_DATA_A {
    DWORD cbSize;
    CHAR DevicePath[1];
} SP_DEVICE_INTERFACE_DETAIL_DATA_A, *PSP_DEVICE_INTERFACE_DETAIL_DATA_A;

typedef struct _HIDD_ATTRIBUTES {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
} HIDD_ATTRIBUTES, *PHIDD_ATTRIBUTES;

typedef USHORT USAGE;
typedef struct _HIDP_CAPS {
    USAGE Usage;
    USAGE UsagePage;
    USHORT InputReportByteLength;
    USHORT OutputReportByteLength;
    USHORT FeatureReportByteLength;
    USHORT Reserved[17];
    USHORT NumberLinkCollectionNodes;
    USHORT NumberInputButtonCaps;
    USHORT NumberInputValueCaps;
    USHORT NumberInputDataIndices;
    USHORT NumberOutputButtonCaps;
    USHORT NumberOutputValueCaps;
    USHORT NumberOutputDataIndices;
    USHORT NumberFeatureButtonCaps;
    USHORT NumberFeatureValueCaps;
    USHORT NumberFeatureDataIndices;
} HIDP_CAPS, *PHIDP_CAPS;

typedef struct _HIDP_PREPARSED_DATA* PHIDP_PREPARSED_DATA;

#ifdef __cplusplus
extern "C" {
#endif

// Kernel: handles, files, overlapped I/O, events, waits, memory, errors.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                   DWORD disposition, DWORD flags, HANDLE tmpl);
BOOL CloseHandle(HANDLE h);
BOOL ReadFile(HANDLE h, LPVOID buf, DWORD len, LPDWORD read, LPOVERLAPPED ov);
BOOL WriteFile(HANDLE h, LPCVOID buf, DWORD len, LPDWORD written, LPOVERLAPPED ov);
DWORD SetFilePointer(HANDLE h, LONG distance, PLONG distance_high, DWORD method);
BOOL GetOverlappedResult(HANDLE h, LPOVERLAPPED ov, LPDWORD transferred, BOOL wait);
BOOL CancelIo(HANDLE h);
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES sa, BOOL manual_reset, BOOL initial_state, LPCSTR name);
BOOL SetEvent(HANDLE h);
BOOL ResetEvent(HANDLE h);
DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds);
void Sleep(DWORD milliseconds);
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL mem);
// Zeroes `cnt` bytes at `ptr` even when nothing reads them afterwards (a
// store a compiler would otherwise drop as dead); returns `ptr`.
PVOID SecureZeroMemory(PVOID ptr, SIZE_T cnt);
DWORD GetLastError(void);
void SetLastError(DWORD code);

// HID class library.
void HidD_GetHidGuid(LPGUID guid);
BOOLEAN HidD_GetPreparsedData(HANDLE h, PHIDP_PREPARSED_DATA* data);
BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data);
BOOLEAN HidD_GetAttributes(HANDLE h, PHIDD_ATTRIBUTES attributes);
NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps);
BOOLEAN HidD_SetFeature(HANDLE h, PVOID report, ULONG length);
BOOLEAN HidD_GetFeature(HANDLE h, PVOID report, ULONG length);

// Device-setup library.
HDEVINFO SetupDiGetClassDevsA(const GUID* guid, LPCSTR enumerator, HWND parent, DWORD flags);
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA info, const GUID* guid, DWORD index,
                                 PSP_DEVICE_INTERFACE_DATA data);
BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                      PDWORD required, PSP_DEVINFO_DATA info);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);

#ifdef __cplusplus
}

// The calendar clock in whole seconds since 1970, the platform's own so that
// tests can run it virtually. The library reads time through it.
int64_t kp_time(void);
#endif
