/*
 * Conformance of the Windows calls the reader library relies on: events and
 * waits, overlapped reads (pending, completed, cancelled, ended by the other
 * side), CreateFileA and CloseHandle errors, the end of a device-set
 * enumeration, HID calls on handles that are not HID, and handle values.
 *
 * Written once, built twice: against the platform layer, and as a Windows
 * program run against the system's own DLLs. Every check sets the last
 * error to a sentinel first and looks at both the result and the last
 * error. Prints one line per check; exits with 0 only when all pass.
 */
#include "conformance.h"
#include "wincheck.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

/* Completion states a request leaves in OVERLAPPED::Internal. */
#define KS_SUCCESS 0x00000000u
#define KS_PENDING 0x00000103u
#define KS_CANCELLED 0xC0000120u

static const struct conformance_env* env;
static int skipped;

/* The condition (with the call it may make) is evaluated before the
 * message's arguments, so that these show the last error the condition saw;
 * (check) is the shared function itself. */
static int check_value;
#define check(cond, ...) (check_value = (cond), (check)(check_value, __VA_ARGS__))

static void skip(const char* what) {
    printf("skip %s\n", what);
    ++skipped;
}

static unsigned long lerr(void) {
    return (unsigned long)GetLastError();
}

static int valid_handle_value(HANDLE h) {
    return h != NULL && h != INVALID_HANDLE_VALUE && ((uintptr_t)h & 3) == 0;
}

/* --- Events and waits ----------------------------------------------------- */

static void test_events(void) {
    HANDLE manual, automatic, first, second;
    DWORD r;

    SetLastError(SENTINEL);
    manual = CreateEventA(NULL, TRUE, FALSE, NULL);
    check(manual != NULL && GetLastError() == 0,
          "CreateEventA (manual reset, not signalled): handle, last error 0 (got %lu)", lerr());
    SetLastError(SENTINEL);
    r = WaitForSingleObject(manual, 0);
    check(r == WAIT_TIMEOUT && GetLastError() == SENTINEL,
          "wait on an event not signalled: 258, last error untouched (got %lu, %#lx)",
          (unsigned long)r, lerr());
    SetLastError(SENTINEL);
    r = WaitForSingleObject(manual, CONFORMANCE_WAIT_MS);
    check(r == WAIT_TIMEOUT && GetLastError() == SENTINEL,
          "wait of %d ms on an event not signalled: 258 (got %lu, %#lx)", CONFORMANCE_WAIT_MS,
          (unsigned long)r, lerr());
    SetLastError(SENTINEL);
    check(SetEvent(manual) && GetLastError() == SENTINEL, "SetEvent: TRUE (last error %#lx)",
          lerr());
    r = WaitForSingleObject(manual, 0);
    check(r == WAIT_OBJECT_0, "wait on a signalled manual-reset event: 0 (got %lu)",
          (unsigned long)r);
    r = WaitForSingleObject(manual, 0);
    check(r == WAIT_OBJECT_0, "a manual-reset event stays signalled after a wait (got %lu)",
          (unsigned long)r);
    SetLastError(SENTINEL);
    check(ResetEvent(manual) && GetLastError() == SENTINEL, "ResetEvent: TRUE (last error %#lx)",
          lerr());
    r = WaitForSingleObject(manual, 0);
    check(r == WAIT_TIMEOUT, "after ResetEvent the wait times out (got %lu)", (unsigned long)r);

    automatic = CreateEventA(NULL, FALSE, TRUE, NULL);
    r = WaitForSingleObject(automatic, 0);
    check(r == WAIT_OBJECT_0, "wait on an auto-reset event created signalled: 0 (got %lu)",
          (unsigned long)r);
    r = WaitForSingleObject(automatic, 0);
    check(r == WAIT_TIMEOUT, "the wait reset the auto-reset event: 258 (got %lu)",
          (unsigned long)r);

    /* Named events. The library's read event has no name on purpose (a
     * named one would be shared by every process using the library), but
     * the stand-in takes names as Windows does: a second create opens the
     * same event, keeps its kind and state, and says so. */
    SetLastError(SENTINEL);
    first = CreateEventA(NULL, FALSE, FALSE, "kestro-conformance-event");
    check(first != NULL && GetLastError() == 0,
          "CreateEventA of a new name: handle, last error 0 (got %lu)", lerr());
    SetLastError(SENTINEL);
    second = CreateEventA(NULL, TRUE, TRUE, "kestro-conformance-event");
    check(second != NULL && second != first && GetLastError() == ERROR_ALREADY_EXISTS,
          "CreateEventA of the same name: another handle, ERROR_ALREADY_EXISTS (got %lu)", lerr());
    r = WaitForSingleObject(second, 0);
    check(r == WAIT_TIMEOUT, "the existing event keeps its state, not the new arguments (got %lu)",
          (unsigned long)r);
    SetEvent(first);
    r = WaitForSingleObject(second, 0);
    check(r == WAIT_OBJECT_0, "signalled through one handle, seen through the other (got %lu)",
          (unsigned long)r);
    r = WaitForSingleObject(first, 0);
    check(r == WAIT_TIMEOUT, "and reset for both: it is one auto-reset event (got %lu)",
          (unsigned long)r);
    CloseHandle(second);
    CloseHandle(first);

    SetLastError(SENTINEL);
    r = WaitForSingleObject(NULL, 0);
    check(r == WAIT_FAILED && GetLastError() == ERROR_INVALID_HANDLE,
          "wait on a null handle: WAIT_FAILED, ERROR_INVALID_HANDLE (got %#lx, %lu)",
          (unsigned long)r, lerr());
    CloseHandle(automatic);
    SetLastError(SENTINEL);
    r = WaitForSingleObject(automatic, 0);
    check(r == WAIT_FAILED && GetLastError() == ERROR_INVALID_HANDLE,
          "wait on a closed handle: WAIT_FAILED, ERROR_INVALID_HANDLE (got %#lx, %lu)",
          (unsigned long)r, lerr());
    SetLastError(SENTINEL);
    check(!SetEvent(NULL) && GetLastError() == ERROR_INVALID_HANDLE,
          "SetEvent(NULL): FALSE, ERROR_INVALID_HANDLE (got %lu)", lerr());
    SetLastError(SENTINEL);
    check(!ResetEvent(NULL) && GetLastError() == ERROR_INVALID_HANDLE,
          "ResetEvent(NULL): FALSE, ERROR_INVALID_HANDLE (got %lu)", lerr());
    CloseHandle(manual);
}

/* --- Overlapped reads ------------------------------------------------------- */

static unsigned char buf[1024];

/* Starts a read that must stay pending. */
static int start_pending_read(HANDLE h, OVERLAPPED* ov) {
    BOOL ok;
    memset(ov, 0, sizeof *ov);
    ov->hEvent = CreateEventA(NULL, TRUE, TRUE, NULL); /* signalled: the read must reset it */
    SetLastError(SENTINEL);
    ok = ReadFile(h, buf, sizeof buf, NULL, ov);
    return check(!ok && GetLastError() == ERROR_IO_PENDING,
                 "ReadFile with nothing to read: FALSE, ERROR_IO_PENDING (got %d, %lu)", ok,
                 lerr());
}

static void test_overlapped(void) {
    HANDLE h, ev;
    OVERLAPPED ov;
    DWORD n, r;
    BOOL ok;

    printf("# overlapped reads on %s\n", env->reader_kind);
    h = env->open_reader();
    if (!check(h != INVALID_HANDLE_VALUE && h != NULL, "the reader opens (%lu)", lerr())) {
        return;
    }

    /* Pending, then completed by an arrival. */
    start_pending_read(h, &ov);
    ev = ov.hEvent;
    check(ov.Internal == KS_PENDING, "a pending read holds STATUS_PENDING (got %#lx)",
          (unsigned long)ov.Internal);
    r = WaitForSingleObject(ev, 0);
    check(r == WAIT_TIMEOUT, "a started read resets its event (got %lu)", (unsigned long)r);
    n = 77;
    SetLastError(SENTINEL);
    ok = GetOverlappedResult(h, &ov, &n, FALSE);
    check(!ok && GetLastError() == ERROR_IO_INCOMPLETE,
          "GetOverlappedResult(FALSE) on a pending read: FALSE, ERROR_IO_INCOMPLETE (got %d, %lu)",
          ok, lerr());
    r = WaitForSingleObject(ev, CONFORMANCE_WAIT_MS);
    check(r == WAIT_TIMEOUT, "the event of a pending read stays unsignalled (got %lu)",
          (unsigned long)r);
    env->send("abc", 3);
    r = WaitForSingleObject(ev, env->arrival_ms);
    check(r == WAIT_OBJECT_0, "an arrival completes the read and signals its event (got %lu)",
          (unsigned long)r);
    n = 77;
    SetLastError(SENTINEL);
    ok = GetOverlappedResult(h, &ov, &n, FALSE);
    check(ok && n == env->arrived(3) && GetLastError() == SENTINEL,
          "GetOverlappedResult on the completed read: TRUE, %lu bytes, last error untouched "
          "(got %d, %lu, %#lx)",
          (unsigned long)env->arrived(3), ok, (unsigned long)n, lerr());
    check(ov.Internal == KS_SUCCESS && ov.InternalHigh == n,
          "the record holds STATUS_SUCCESS and the count (got %#lx, %lu)",
          (unsigned long)ov.Internal, (unsigned long)ov.InternalHigh);
    check(memcmp(buf + env->data_at, "abc", 3) == 0, "the bytes arrived in the buffer");
    ok = GetOverlappedResult(h, &ov, &n, TRUE);
    r = WaitForSingleObject(ev, 0);
    check(ok && r == WAIT_OBJECT_0,
          "GetOverlappedResult(TRUE) on a completed read leaves a manual-reset event set "
          "(got %d, %lu)",
          ok, (unsigned long)r);

    /* GetOverlappedResult(TRUE) waits on the read's event as a wait does:
     * an auto-reset event is consumed, a manual-reset one stays set. */
    CloseHandle(ov.hEvent);
    start_pending_read(h, &ov);
    ev = ov.hEvent;
    env->send_later("wait", 4, 5);
    n = 77;
    ok = GetOverlappedResult(h, &ov, &n, TRUE);
    r = WaitForSingleObject(ev, 0);
    check(ok && n == env->arrived(4) && r == WAIT_OBJECT_0,
          "GetOverlappedResult(TRUE) waits for the read and leaves a manual-reset event set "
          "(got %d, %lu, %lu)",
          ok, (unsigned long)n, (unsigned long)r);
    CloseHandle(ev);
    memset(&ov, 0, sizeof ov);
    ov.hEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    ok = ReadFile(h, buf, sizeof buf, NULL, &ov);
    env->send_later("auto", 4, 5);
    n = 77;
    ok = GetOverlappedResult(h, &ov, &n, TRUE);
    r = WaitForSingleObject(ov.hEvent, 0);
    check(ok && n == env->arrived(4) && r == WAIT_TIMEOUT,
          "GetOverlappedResult(TRUE) consumes an auto-reset event (got %d, %lu, %lu)", ok,
          (unsigned long)n, (unsigned long)r);
    CloseHandle(ov.hEvent);
    ev = CreateEventA(NULL, TRUE, FALSE, NULL);

    /* Completed at once: the data was there before the read. */
    env->send("defg", 4);
    Sleep(env->settle_ms);
    memset(&ov, 0, sizeof ov);
    ov.hEvent = ev;
    ResetEvent(ev);
    n = 77;
    SetLastError(SENTINEL);
    ok = ReadFile(h, buf, sizeof buf, &n, &ov);
    check(ok && n == env->arrived(4),
          "ReadFile with data waiting completes at once: TRUE, %lu bytes (got %d, %lu, %lu)",
          (unsigned long)env->arrived(4), ok, (unsigned long)n, lerr());
    r = WaitForSingleObject(ev, 0);
    check(r == WAIT_OBJECT_0, "and signals its event (got %lu)", (unsigned long)r);
    ok = GetOverlappedResult(h, &ov, &n, FALSE);
    check(ok && n == env->arrived(4) && memcmp(buf + env->data_at, "defg", 4) == 0,
          "GetOverlappedResult agrees (got %d, %lu)", ok, (unsigned long)n);
    CloseHandle(ev);

    /* Cancelled. */
    start_pending_read(h, &ov);
    ev = ov.hEvent;
    SetLastError(SENTINEL);
    ok = CancelIo(h);
    check(ok && GetLastError() == SENTINEL, "CancelIo: TRUE (got %d, %#lx)", ok, lerr());
    r = WaitForSingleObject(ev, env->arrival_ms);
    check(r == WAIT_OBJECT_0, "the cancel completes the read and signals its event (got %lu)",
          (unsigned long)r);
    n = 77;
    SetLastError(SENTINEL);
    ok = GetOverlappedResult(h, &ov, &n, FALSE);
    check(!ok && n == 0 && GetLastError() == ERROR_OPERATION_ABORTED,
          "GetOverlappedResult on the cancelled read: FALSE, 0 bytes, ERROR_OPERATION_ABORTED "
          "(got %d, %lu, %lu)",
          ok, (unsigned long)n, lerr());
    check(ov.Internal == KS_CANCELLED, "the record holds STATUS_CANCELLED (got %#lx)",
          (unsigned long)ov.Internal);
    SetLastError(SENTINEL);
    ok = CancelIo(h);
    check(ok, "CancelIo with nothing pending: TRUE (got %d, %lu)", ok, lerr());
    SetLastError(SENTINEL);
    ok = CancelIo(NULL);
    check(!ok && GetLastError() == ERROR_INVALID_HANDLE,
          "CancelIo(NULL): FALSE, ERROR_INVALID_HANDLE (got %d, %lu)", ok, lerr());
    /* Nothing is lost to the cancel: the next arrival reaches the next read. */
    env->send("hij", 3);
    Sleep(env->settle_ms);
    memset(&ov, 0, sizeof ov);
    ov.hEvent = ev;
    ok = ReadFile(h, buf, sizeof buf, &n, &ov);
    check(ok && n == env->arrived(3) && memcmp(buf + env->data_at, "hij", 3) == 0,
          "after a cancel the next arrival is read whole (got %d, %lu)", ok, (unsigned long)n);
    CloseHandle(ev);

    /* HID only: a buffer shorter than the input report is refused. */
    if (env->is_hid) {
        memset(&ov, 0, sizeof ov);
        ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
        SetLastError(SENTINEL);
        ok = ReadFile(h, buf, 8, NULL, &ov);
        check(!ok && GetLastError() == ERROR_INVALID_USER_BUFFER,
              "ReadFile of 8 bytes from a HID device: FALSE, ERROR_INVALID_USER_BUFFER (got %d, "
              "%lu)",
              ok, lerr());
        CloseHandle(ov.hEvent);
    } else {
        skip("a read buffer shorter than the report (HID only)");
    }

    /* The other side goes away while a read is pending. */
    start_pending_read(h, &ov);
    ev = ov.hEvent;
    env->hang_up();
    r = WaitForSingleObject(ev, env->arrival_ms);
    check(r == WAIT_OBJECT_0, "the other side leaving completes the read within %lu ms (got %lu)",
          (unsigned long)env->arrival_ms, (unsigned long)r);
    /* A HID device that leaves fails its reads with ERROR_DEVICE_NOT_CONNECTED
     * on Windows (hidclass completes them with STATUS_DEVICE_NOT_CONNECTED).
     * Wine's hidraw bus fails them with ERROR_ACCESS_DENIED. */
    SetLastError(SENTINEL);
    ok = GetOverlappedResult(h, &ov, &n, FALSE);
    check(!ok && (GetLastError() == env->hang_up_error ||
                  on_wine(env->is_hid && GetLastError() == ERROR_ACCESS_DENIED)),
          "GetOverlappedResult: FALSE, %lu (got %d, %lu)", (unsigned long)env->hang_up_error, ok,
          lerr());
    memset(&ov, 0, sizeof ov);
    ov.hEvent = ev;
    SetLastError(SENTINEL);
    ok = ReadFile(h, buf, sizeof buf, NULL, &ov);
    check(!ok && (GetLastError() == env->hang_up_error ||
                  on_wine(env->is_hid && GetLastError() == ERROR_ACCESS_DENIED)),
          "a read after it fails at once: FALSE, %lu (got %d, %lu)",
          (unsigned long)env->hang_up_error, ok, lerr());
    CloseHandle(ev);
    SetLastError(SENTINEL);
    check(CloseHandle(h), "the reader's handle closes (%lu)", lerr());
}

/* --- CreateFileA and CloseHandle ------------------------------------------ */

static void test_files(void) {
    HANDLE h;
    const char* hid_path =
        "\\\\?\\hid#vid_3e7a&pid_0fff#0&0000&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

    SetLastError(SENTINEL);
    h = CreateFileA(env->missing_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                    OPEN_EXISTING, 0, NULL);
    check(h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND,
          "CreateFileA of a missing file: INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND (got %lu)",
          lerr());
    SetLastError(SENTINEL);
    h = CreateFileA(hid_path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    NULL, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, NULL);
    check(h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND,
          "CreateFileA of a device path that names nothing: ERROR_FILE_NOT_FOUND (got %lu)",
          lerr());
    SetLastError(SENTINEL);
    h = CreateFileA("", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    check(h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND,
          "CreateFileA of an empty name: ERROR_PATH_NOT_FOUND (got %lu)", lerr());
    SetLastError(SENTINEL);
    h = CreateFileA(env->file_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                    OPEN_EXISTING, 0, NULL);
    check(valid_handle_value(h) && GetLastError() == 0,
          "CreateFileA of an existing file: a handle, last error 0 (got %lu)", lerr());
    SetLastError(SENTINEL);
    check(CloseHandle(h) && GetLastError() == SENTINEL, "CloseHandle: TRUE (last error %#lx)",
          lerr());
    SetLastError(SENTINEL);
    check(!CloseHandle(h) && GetLastError() == ERROR_INVALID_HANDLE,
          "CloseHandle of a closed handle: FALSE, ERROR_INVALID_HANDLE (got %lu)", lerr());
    SetLastError(SENTINEL);
    check(!CloseHandle(NULL) && GetLastError() == ERROR_INVALID_HANDLE,
          "CloseHandle(NULL): FALSE, ERROR_INVALID_HANDLE (got %lu)", lerr());
}

/* --- Device sets ---------------------------------------------------------- */

static void test_device_set(void) {
    GUID hid;
    HDEVINFO set;
    SP_DEVICE_INTERFACE_DATA data;
    DWORD i, required = 0;
    BOOL ok;

    HidD_GetHidGuid(&hid);
    SetLastError(SENTINEL);
    set = SetupDiGetClassDevsA(&hid, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (!check(set != INVALID_HANDLE_VALUE, "SetupDiGetClassDevsA of HID interfaces (%lu)",
               lerr())) {
        return;
    }
    memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    for (i = 0; i < 256; ++i) {
        SetLastError(SENTINEL);
        if (!SetupDiEnumDeviceInterfaces(set, NULL, &hid, i, &data)) {
            break;
        }
    }
    check(i < 256 && GetLastError() == ERROR_NO_MORE_ITEMS,
          "the enumeration ends with FALSE, ERROR_NO_MORE_ITEMS after %lu interfaces (got %lu)",
          (unsigned long)i, lerr());
    if (env->hid_interfaces >= 0) {
        check((int)i == env->hid_interfaces, "%d interfaces listed (got %lu)", env->hid_interfaces,
              (unsigned long)i);
    }
    SetLastError(SENTINEL);
    ok = SetupDiEnumDeviceInterfaces(set, NULL, &hid, 100000, &data);
    check(!ok && GetLastError() == ERROR_NO_MORE_ITEMS,
          "an index far past the end: ERROR_NO_MORE_ITEMS (got %lu)", lerr());
    data.cbSize = 0;
    SetLastError(SENTINEL);
    ok = SetupDiEnumDeviceInterfaces(set, NULL, &hid, 0, &data);
    /* Windows' setup library refuses every record of the wrong size with
     * ERROR_INVALID_USER_BUFFER; Wine's says ERROR_INVALID_PARAMETER here. */
    check(!ok && (GetLastError() == ERROR_INVALID_USER_BUFFER ||
                  on_wine(GetLastError() == ERROR_INVALID_PARAMETER)),
          "a record of the wrong size: ERROR_INVALID_USER_BUFFER (got %lu)", lerr());
    data.cbSize = sizeof data;
    if (i > 0 && SetupDiEnumDeviceInterfaces(set, NULL, &hid, 0, &data)) {
        SetLastError(SENTINEL);
        ok = SetupDiGetDeviceInterfaceDetailA(set, &data, NULL, 0, &required, NULL);
        check(!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER &&
                  required > offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + 1,
              "the detail's size: FALSE, ERROR_INSUFFICIENT_BUFFER, %lu bytes (got %lu)",
              (unsigned long)required, lerr());
    } else {
        skip("the size of an interface's detail (needs a HID device)");
    }
    SetLastError(SENTINEL);
    ok = SetupDiDestroyDeviceInfoList(set);
    check(ok, "SetupDiDestroyDeviceInfoList: TRUE (got %lu)", lerr());
    SetLastError(SENTINEL);
    ok = SetupDiEnumDeviceInterfaces(INVALID_HANDLE_VALUE, NULL, &hid, 0, &data);
    check(!ok && GetLastError() == ERROR_INVALID_HANDLE,
          "enumerating INVALID_HANDLE_VALUE: ERROR_INVALID_HANDLE (got %lu)", lerr());
    SetLastError(SENTINEL);
    ok = SetupDiDestroyDeviceInfoList(INVALID_HANDLE_VALUE);
    check(!ok && GetLastError() == ERROR_INVALID_HANDLE,
          "destroying INVALID_HANDLE_VALUE: ERROR_INVALID_HANDLE (got %lu)", lerr());
}

/* --- HID calls on handles that are not HID ---------------------------------- */

static int not_supported_on_wine(void) {
    return on_wine(GetLastError() == ERROR_NOT_SUPPORTED);
}

static void test_hid_on_other_handles(void) {
    HANDLE file, ev;
    HIDD_ATTRIBUTES attributes;
    PHIDP_PREPARSED_DATA preparsed = NULL;
    unsigned char feature[25];
    BOOLEAN ok;

    file = CreateFileA(env->file_path, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    ev = CreateEventA(NULL, TRUE, FALSE, NULL);
    memset(&attributes, 0, sizeof attributes);
    attributes.Size = sizeof attributes;
    memset(feature, 0, sizeof feature);

    /* A file system answers the HID class's device requests with "invalid
     * device request" (ERROR_INVALID_FUNCTION). Wine's files answer them
     * with STATUS_NOT_SUPPORTED, which gives ERROR_NOT_SUPPORTED. */
    SetLastError(SENTINEL);
    ok = HidD_GetAttributes(file, &attributes);
    check(!ok && (GetLastError() == ERROR_INVALID_FUNCTION || not_supported_on_wine()),
          "HidD_GetAttributes of a file: FALSE, ERROR_INVALID_FUNCTION (got %lu)", lerr());
    SetLastError(SENTINEL);
    ok = HidD_GetPreparsedData(file, &preparsed);
    check(!ok && (GetLastError() == ERROR_INVALID_FUNCTION || not_supported_on_wine()),
          "HidD_GetPreparsedData of a file: FALSE, ERROR_INVALID_FUNCTION (got %lu)", lerr());
    SetLastError(SENTINEL);
    ok = HidD_GetFeature(file, feature, sizeof feature);
    check(!ok && (GetLastError() == ERROR_INVALID_FUNCTION || not_supported_on_wine()),
          "HidD_GetFeature of a file: FALSE, ERROR_INVALID_FUNCTION (got %lu)", lerr());
    SetLastError(SENTINEL);
    ok = HidD_SetFeature(file, feature, sizeof feature);
    check(!ok && (GetLastError() == ERROR_INVALID_FUNCTION || not_supported_on_wine()),
          "HidD_SetFeature of a file: FALSE, ERROR_INVALID_FUNCTION (got %lu)", lerr());
    SetLastError(SENTINEL);
    ok = HidD_GetAttributes(ev, &attributes);
    check(!ok && GetLastError() == ERROR_INVALID_HANDLE,
          "HidD_GetAttributes of an event: FALSE, ERROR_INVALID_HANDLE (got %lu)", lerr());
    SetLastError(SENTINEL);
    ok = HidD_GetFeature(NULL, feature, sizeof feature);
    check(!ok && GetLastError() == ERROR_INVALID_HANDLE,
          "HidD_GetFeature(NULL): FALSE, ERROR_INVALID_HANDLE (got %lu)", lerr());
    CloseHandle(ev);
    CloseHandle(file);
}

/* --- A HID reader: leaving and arriving, attributes, capabilities, features,
 * synchronous reads ---------------------------------------------------------- */

/* Whether an interface with these ids is listed now. */
static int listed(USHORT vendor_id, USHORT product_id) {
    GUID hid;
    HDEVINFO set;
    SP_DEVICE_INTERFACE_DATA data;
    DWORD i, size = 0;
    int found = 0;
    static char detail_buf[1024];
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail = (PSP_DEVICE_INTERFACE_DETAIL_DATA_A)detail_buf;
    HidD_GetHidGuid(&hid);
    set = SetupDiGetClassDevsA(&hid, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return 0;
    }
    memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    for (i = 0; !found && SetupDiEnumDeviceInterfaces(set, NULL, &hid, i, &data); ++i) {
        HANDLE h;
        HIDD_ATTRIBUTES a;
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof detail_buf, &size, NULL)) {
            continue;
        }
        h = CreateFileA(detail->DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                        OPEN_EXISTING, 0, NULL);
        if (h == INVALID_HANDLE_VALUE) {
            continue;
        }
        memset(&a, 0, sizeof a);
        a.Size = sizeof a;
        found = HidD_GetAttributes(h, &a) && a.VendorID == vendor_id && a.ProductID == product_id;
        CloseHandle(h);
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

/* Waits up to 10 s, in steps of 50 ms, for the interface to be listed or
 * gone; returns whether it came to that. */
static int wait_listed(USHORT vendor_id, USHORT product_id, int want) {
    int i;
    for (i = 0; i < 200; ++i) {
        if (listed(vendor_id, product_id) == want) {
            return 1;
        }
        Sleep(50);
    }
    return 0;
}

static void test_hid_reader(void) {
    HANDLE h, s;
    HIDD_ATTRIBUTES a;
    PHIDP_PREPARSED_DATA preparsed = NULL;
    HIDP_CAPS caps;
    unsigned char feature[64];
    DWORD n = 0;
    BOOL ok;
    NTSTATUS st;

    if (!env->is_hid || env->plug == NULL) {
        skip(
            "a HID reader leaving and another arriving, attributes, capabilities, features, "
            "synchronous reads (HID only)");
        return;
    }
    printf("# a HID reader: %04X:%04X left, %04X:%04X arrives\n", env->vendor_id, env->product_id,
           env->vendor_id, env->other_product_id);
    /* Enumeration while a device leaves and another arrives. */
    check(wait_listed(env->vendor_id, env->product_id, 0),
          "the reader that left is no longer listed");
    check(env->plug(), "another reader arrives");
    check(wait_listed(env->vendor_id, env->other_product_id, 1),
          "the reader that arrived is listed, under its product id %04X", env->other_product_id);
    h = env->open_hid(env->other_product_id, FILE_FLAG_OVERLAPPED);
    if (!check(h != INVALID_HANDLE_VALUE, "the reader that arrived opens (%lu)", lerr())) {
        return;
    }

    /* Attributes and capabilities. */
    memset(&a, 0, sizeof a);
    a.Size = sizeof a;
    SetLastError(SENTINEL);
    ok = HidD_GetAttributes(h, &a);
    check(ok && a.VendorID == env->vendor_id && a.ProductID == env->other_product_id,
          "HidD_GetAttributes: TRUE, %04X:%04X (got %d, %04X:%04X)", env->vendor_id,
          env->other_product_id, ok, a.VendorID, a.ProductID);
    /* Windows gives the device's release number; Wine's hidraw bus gives 0. */
    check(a.VersionNumber == env->version || on_wine(a.VersionNumber == 0),
          "the version number is the device's, %04X (got %04X)", env->version, a.VersionNumber);
    SetLastError(SENTINEL);
    ok = HidD_GetPreparsedData(h, &preparsed);
    check(ok && preparsed != NULL, "HidD_GetPreparsedData: TRUE (got %d, %lu)", ok, lerr());
    memset(&caps, 0, sizeof caps);
    st = ok ? HidP_GetCaps(preparsed, &caps) : 0;
    check(st == HIDP_STATUS_SUCCESS && caps.UsagePage == 0xFF00 && caps.Usage == 0x01,
          "HidP_GetCaps: HIDP_STATUS_SUCCESS, usage page FF00, usage 01 (got %#lx, %04X, %02X)",
          (unsigned long)st, caps.UsagePage, caps.Usage);
    check(caps.InputReportByteLength == env->other_input_length &&
              caps.FeatureReportByteLength == env->feature_length,
          "the input report is %u bytes, the feature report %u, each with its id (got %u, %u)",
          env->other_input_length, env->feature_length, caps.InputReportByteLength,
          caps.FeatureReportByteLength);
    if (preparsed != NULL) {
        HidD_FreePreparsedData(preparsed);
    }

    /* Feature reports of the report's length; one byte short is refused
     * with ERROR_INVALID_PARAMETER; a longer buffer carries the report. */
    memset(feature, 0, sizeof feature);
    feature[1] = 0xB3; /* the reader's "send your state" command */
    SetLastError(SENTINEL);
    ok = HidD_SetFeature(h, feature, env->feature_length);
    check(ok, "HidD_SetFeature of %u bytes: TRUE (got %d, %lu)", env->feature_length, ok, lerr());
    memset(feature, 0xEE, sizeof feature);
    feature[0] = 0;
    SetLastError(SENTINEL);
    ok = HidD_GetFeature(h, feature, env->feature_length);
    check(ok && feature[0] == 0, "HidD_GetFeature of %u bytes: TRUE, report id 0 (got %d, %lu)",
          env->feature_length, ok, lerr());
    SetLastError(SENTINEL);
    ok = HidD_SetFeature(h, feature, env->feature_length - 1u);
    check(!ok && GetLastError() == ERROR_INVALID_PARAMETER,
          "HidD_SetFeature one byte short: FALSE, ERROR_INVALID_PARAMETER (got %d, %lu)", ok,
          lerr());
    SetLastError(SENTINEL);
    ok = HidD_GetFeature(h, feature, env->feature_length - 1u);
    check(!ok && GetLastError() == ERROR_INVALID_PARAMETER,
          "HidD_GetFeature one byte short: FALSE, ERROR_INVALID_PARAMETER (got %d, %lu)", ok,
          lerr());
    memset(feature, 0, sizeof feature);
    feature[1] = 0xB3;
    SetLastError(SENTINEL);
    ok = HidD_SetFeature(h, feature, env->feature_length + 8u);
    check(ok, "HidD_SetFeature of 8 bytes more than the report: TRUE (got %d, %lu)", ok, lerr());
    CloseHandle(h);

    /* A synchronous read waits for the report and gives it whole. */
    s = env->open_hid(env->other_product_id, 0);
    if (!check(s != INVALID_HANDLE_VALUE, "the reader opens without FILE_FLAG_OVERLAPPED (%lu)",
               lerr())) {
        return;
    }
    env->send_later("sync", 4, 5);
    SetLastError(SENTINEL);
    ok = ReadFile(s, buf, env->other_input_length, &n, NULL);
    check(ok && n == env->other_input_length && memcmp(buf + env->data_at, "sync", 4) == 0,
          "a synchronous ReadFile waits for the report: TRUE, %u bytes (got %d, %lu, %lu)",
          env->other_input_length, ok, (unsigned long)n, lerr());
    CloseHandle(s);
}

/* --- Handle values -------------------------------------------------------- */

static void test_handle_values(void) {
    HANDLE a, b, c, f;

    a = CreateEventA(NULL, TRUE, FALSE, NULL);
    b = CreateEventA(NULL, TRUE, FALSE, NULL);
    check(valid_handle_value(a) && valid_handle_value(b) && a != b,
          "handles are distinct multiples of 4, neither null nor INVALID_HANDLE_VALUE (%p, %p)", a,
          b);
    CloseHandle(b);
    SetLastError(SENTINEL);
    check(!SetEvent(b) && GetLastError() == ERROR_INVALID_HANDLE,
          "a closed handle's value no longer works: ERROR_INVALID_HANDLE (got %lu)", lerr());
    c = CreateEventA(NULL, TRUE, FALSE, NULL);
    check(c == b, "the value just freed is given out again (%p, then %p)", b, c);
    check(WaitForSingleObject(c, 0) == WAIT_TIMEOUT, "and names the new object, not the old one");
    CloseHandle(c);
    f = CreateFileA(env->file_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                    OPEN_EXISTING, 0, NULL);
    check(f == c, "objects of every kind share the values: a file takes an event's (%p, %p)", c, f);
    CloseHandle(f);
    CloseHandle(a);
}

int main(void) {
    env = conformance_env_open();
    if (env == NULL) {
        printf("kp_conformance: the environment could not be set up\n");
        return 2;
    }
    test_events();
    test_device_set();
    test_overlapped();
    test_hid_reader();
    test_files();
    test_hid_on_other_handles();
    test_handle_values();
    conformance_env_close();
    printf("kp_conformance: %d skipped\n", skipped);
    return check_summary("kp_conformance");
}
