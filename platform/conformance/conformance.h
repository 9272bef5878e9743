/*
 * The Windows calls the reader library relies on, checked the same way
 * against the platform layer and against the real system: set the last
 * error to a sentinel, make the call, check the result and the last error.
 *
 * conformance.c holds the checks. Each build gives it an environment: an
 * object that serves overlapped reads, a file, a path that names nothing.
 * The platform build (env_platform.cpp) uses a fake HID device of its own
 * on a virtual clock; the Windows build (env_win32.c) uses a named pipe opened
 * with FILE_FLAG_OVERLAPPED, or a HID device when one is attached.
 */
#ifndef KP_CONFORMANCE_H
#define KP_CONFORMANCE_H

#ifdef _WIN32
#include <windows.h>
#include <setupapi.h>
#include <hidsdi.h>
#else
#include "kp/winapi.h"
#endif

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What a build brings to the checks. */
struct conformance_env {
    const char* reader_kind; /* what serves the overlapped reads */
    int is_hid;              /* the reader is a HID device: the HID-only checks run */
    /* A handle opened with FILE_FLAG_OVERLAPPED that reads what send() sends. */
    HANDLE (*open_reader)(void);
    /* Makes `n` bytes arrive at the reader as one message (a HID input report). */
    int (*send)(const void* data, DWORD n);
    /* The same, `ms` milliseconds from now, while the caller waits. */
    int (*send_later)(const void* data, DWORD n, DWORD ms);
    /* Bytes a read of one such arrival gives (a HID read gives the whole report). */
    DWORD (*arrived)(DWORD sent);
    /* Ends the other side: pending reads fail with `hang_up_error`. */
    void (*hang_up)(void);
    DWORD hang_up_error;
    /* An existing ordinary file, openable with OPEN_EXISTING, and a path that names nothing. */
    const char* file_path;
    const char* missing_path;
    /* Number of HID interfaces a device set should list; -1 when unknown. */
    int hid_interfaces;
    /* Where the sent bytes start in what a read gives (a HID read gives the
     * report id first). */
    DWORD data_at;
    /* How long an arrival or the hang-up may take to reach a pending read,
     * and how long to let an arrival settle before a read that must find
     * it there (a device on a bus is not instant). */
    DWORD arrival_ms;
    DWORD settle_ms;
    /* HID only: the reader's ids, version and report lengths, and a second
     * reader that arrives (plug) once the first has left through hang_up,
     * with its product id and input report length. */
    USHORT vendor_id, product_id, version, input_length, feature_length;
    int (*plug)(void);
    USHORT other_product_id, other_input_length;
    /* HID only: a handle of the reader now attached, opened with `flags`. */
    HANDLE (*open_hid)(USHORT product_id, DWORD flags);
};

const struct conformance_env* conformance_env_open(void);
void conformance_env_close(void);

/* A wait long enough to see a time-out, short enough to cost nothing. */
#define CONFORMANCE_WAIT_MS 20

/* The last-error sentinel set before every call. */
#define SENTINEL 0xdeadbeefu

/*
 * Accepted differences, written at the check they concern:
 *   on_platform(x)  true only in the platform build: the stand-in may give x
 *                   where Windows gives something else (the reason stands
 *                   beside it);
 *   on_wine(x)      true only under Wine: Wine gives x where Windows
 *                   differs (Wine's own tests call this broken/todo_wine).
 */
#ifdef _WIN32
#define on_platform(x) 0
int conformance_under_wine(void);
#define on_wine(x) (conformance_under_wine() && (x))
#else
#define on_platform(x) (x)
#define on_wine(x) 0
#endif

#ifdef __cplusplus
}
#endif

#endif
