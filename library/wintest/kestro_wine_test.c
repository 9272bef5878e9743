/*
 * kestro_wine_test - binds kestro.dll by export name, as a Windows program
 * does at run time, and checks what a machine without a reader can show:
 * the DLL's version resource, the clock, the result of every export without
 * a session, SetID, OpenUSB finding no reader among the machine's HID
 * interfaces, and the trace block of that failed open, byte for byte. The
 * 32-bit build also calls every export with the stack at 0, 4, 8 and 12
 * modulo 16, as callers that keep only 4-byte alignment do.
 *
 * Run it with kestro.dll beside it and drive C as the current drive (it
 * refuses to run otherwise, so it never touches another drive's
 * \kestro.log). It creates C:\kestro.log itself and removes it at the end.
 * Prints one line per check; exits with 0 only when every check passes.
 */
#include <windows.h>
#include <setupapi.h>
#include <hidsdi.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "misaligned_call.h"
#include "wincheck.h"

#define TRACE_FILE "C:\\kestro.log"
#define PID_IDTECH 0x05A0
#define READ_BUF_LEN 1024 /* the caller's card buffer */
#define REPORT_LEN 25     /* GetMrState's answer buffer */
#define TRACE_LINE_MAX 255
#define MAX_INTERFACES 64

/* The exports, called through stdcall pointers with 32-bit integers. */
typedef int32_t(WINAPI* fn_void)(void);
typedef int32_t(WINAPI* fn_int)(int32_t);
typedef int32_t(WINAPI* fn_buf)(unsigned char*);
typedef int32_t(WINAPI* fn_cbuf)(const unsigned char*);
typedef int32_t(WINAPI* fn_read)(unsigned char*, int32_t, int32_t);
typedef int32_t(WINAPI* fn_retrieve)(int32_t, unsigned char*, int32_t);
typedef int32_t(WINAPI* fn_reset_stat)(int32_t, int32_t, int32_t);
typedef int32_t(WINAPI* fn_update_stat)(int32_t, const unsigned char*, int32_t, int32_t, int32_t);

static struct {
    fn_void OpenUSB, OpenKestro, CloseUSB, CloseKestro, gtime, SetMrState, FlushCounter;
    fn_int SetID, ResetDevice, ChangeMode;
    fn_read ReadData;
    fn_buf ReadData1, GetMrState;
    fn_cbuf SetMrStateEx, SetMrStateBuf;
    fn_retrieve RetrieveStatistics;
    fn_reset_stat ResetStatistics;
    fn_update_stat UpdateStatistics;
} k;

/* --- Binding by name ------------------------------------------------------ */

static HMODULE lib;
static char missing[512];

/* The address of one export, or NULL (its name is then noted as missing). */
static void (*bind_export(const char* name))(void) {
    FARPROC p = GetProcAddress(lib, name);
    if (p == NULL) {
        size_t used = strlen(missing);
        snprintf(missing + used, sizeof missing - used, " %s", name);
    }
    return (void (*)(void))p;
}

static int bind_all(void) {
    lib = LoadLibraryA("kestro.dll");
    if (!check(lib != NULL, "LoadLibraryA(\"kestro.dll\")")) {
        return 0;
    }
    k.OpenUSB = (fn_void)bind_export("OpenUSB");
    k.OpenKestro = (fn_void)bind_export("OpenKestro");
    k.CloseUSB = (fn_void)bind_export("CloseUSB");
    k.CloseKestro = (fn_void)bind_export("CloseKestro");
    k.SetID = (fn_int)bind_export("SetID");
    k.gtime = (fn_void)bind_export("gtime");
    k.ReadData = (fn_read)bind_export("ReadData");
    k.ReadData1 = (fn_buf)bind_export("ReadData1");
    k.SetMrStateEx = (fn_cbuf)bind_export("SetMrStateEx");
    k.SetMrStateBuf = (fn_cbuf)bind_export("SetMrStateBuf");
    k.SetMrState = (fn_void)bind_export("SetMrState");
    k.GetMrState = (fn_buf)bind_export("GetMrState");
    k.ResetDevice = (fn_int)bind_export("ResetDevice");
    k.ChangeMode = (fn_int)bind_export("ChangeMode");
    k.FlushCounter = (fn_void)bind_export("FlushCounter");
    k.RetrieveStatistics = (fn_retrieve)bind_export("RetrieveStatistics");
    k.ResetStatistics = (fn_reset_stat)bind_export("ResetStatistics");
    k.UpdateStatistics = (fn_update_stat)bind_export("UpdateStatistics");
    return check(missing[0] == '\0', "GetProcAddress binds all 18 exports by name%s%s",
                 missing[0] ? "; missing:" : "", missing);
}

/* --- The trace file ------------------------------------------------------- */

static char text[1 << 16];
static size_t text_len;

static int trace_exists(void) {
    return GetFileAttributesA(TRACE_FILE) != INVALID_FILE_ATTRIBUTES;
}

static int trace_create_empty(void) {
    HANDLE h =
        CreateFileA(TRACE_FILE, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        return 0;
    }
    CloseHandle(h);
    return 1;
}

/* Reads the whole trace file into `text`. */
static int trace_read(void) {
    HANDLE h = CreateFileA(TRACE_FILE, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, 0, NULL);
    DWORD n = 0;
    BOOL ok;
    text_len = 0;
    if (h == INVALID_HANDLE_VALUE) {
        return 0;
    }
    ok = ReadFile(h, text, sizeof text - 1, &n, NULL);
    CloseHandle(h);
    text_len = n;
    text[text_len] = '\0';
    return ok && n < sizeof text - 1;
}

/* --- Wine's HID interfaces, enumerated as the library does ---------------- */

struct iface {
    char path[512];
    int has_path; /* the device path was obtained: the trace has an entry */
    int opens;    /* it opens for reading and writing: the entry shows a handle */
};
static struct iface ifaces[MAX_INTERFACES];

/* Number of HID interfaces (what the trace calls nod), or -1 when there are
 * more than this test can follow. */
static int enumerate_hid(void) {
    GUID guid;
    HDEVINFO set;
    DWORD i;
    HidD_GetHidGuid(&guid);
    set = SetupDiGetClassDevsA(&guid, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return 0;
    }
    for (i = 0;; ++i) {
        SP_DEVICE_INTERFACE_DATA data;
        struct iface* f;
        DWORD needed = 0;
        PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
        memset(&data, 0, sizeof data);
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set, NULL, &guid, i, &data)) {
            if (GetLastError() == ERROR_NO_MORE_ITEMS) {
                break;
            }
            continue;
        }
        if (i >= MAX_INTERFACES) {
            SetupDiDestroyDeviceInfoList(set);
            return -1;
        }
        f = &ifaces[i];
        SetupDiGetDeviceInterfaceDetailA(set, &data, NULL, 0, &needed, NULL);
        if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
            needed = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        }
        detail = (PSP_DEVICE_INTERFACE_DETAIL_DATA_A)LocalAlloc(LPTR, needed);
        if (detail == NULL) {
            continue;
        }
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, NULL, NULL) &&
            strlen(detail->DevicePath) < sizeof f->path) {
            HANDLE h =
                CreateFileA(detail->DevicePath, GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
            strcpy(f->path, detail->DevicePath);
            f->has_path = 1;
            f->opens = h != INVALID_HANDLE_VALUE;
            if (f->opens) {
                CloseHandle(h);
            }
        }
        LocalFree(detail);
    }
    SetupDiDestroyDeviceInfoList(set);
    return (int)i;
}

/* Wine brings its HID devices up while it starts: waits (at most 5 s) until
 * two enumerations a quarter second apart agree, so the library enumerates
 * what this test did. */
static int enumerate_hid_settled(void) {
    static struct iface before[MAX_INTERFACES];
    int n = enumerate_hid(), tries;
    for (tries = 0; tries < 20; ++tries) {
        int m;
        memcpy(before, ifaces, sizeof before);
        Sleep(250);
        memset(ifaces, 0, sizeof ifaces);
        m = enumerate_hid();
        if (m == n && memcmp(before, ifaces, sizeof before) == 0) {
            break;
        }
        n = m;
    }
    return n;
}

/* --- Matching a trace block ----------------------------------------------- */

struct cursor {
    const char* text;
    size_t len;
    size_t pos;
    char why[600]; /* the first difference, empty while everything matches */
};

/* Shows up to 60 bytes of `s` with CR, LF and other control bytes escaped. */
static void escape(char* out, size_t cap, const char* s, size_t n) {
    size_t used = 0, i;
    out[0] = '\0';
    for (i = 0; i < n && i < 60 && used + 5 < cap; ++i) {
        unsigned char c = (unsigned char)s[i];
        if (c == '\r') {
            used += (size_t)snprintf(out + used, cap - used, "\\r");
        } else if (c == '\n') {
            used += (size_t)snprintf(out + used, cap - used, "\\n");
        } else if (c < 0x20 || c >= 0x7F) {
            used += (size_t)snprintf(out + used, cap - used, "\\x%02X", c);
        } else {
            out[used++] = (char)c;
            out[used] = '\0';
        }
    }
}

static int differ(struct cursor* c, const char* expected, size_t n) {
    char want[300], got[300];
    size_t left = c->len - c->pos;
    if (c->why[0] == '\0') {
        escape(want, sizeof want, expected, n);
        escape(got, sizeof got, c->text + c->pos, left < n + 8 ? left : n + 8);
        snprintf(c->why, sizeof c->why, "at byte %u: expected \"%s\", found \"%s\"",
                 (unsigned)c->pos, want, got);
    }
    return 0;
}

/* The next bytes are exactly `s` (its first `n` bytes). */
static int lit_n(struct cursor* c, const char* s, size_t n) {
    if (c->why[0] != '\0') {
        return 0;
    }
    if (c->len - c->pos < n || memcmp(c->text + c->pos, s, n) != 0) {
        return differ(c, s, n);
    }
    c->pos += n;
    return 1;
}

static int lit(struct cursor* c, const char* s) {
    return lit_n(c, s, strlen(s));
}

static int litf(struct cursor* c, const char* format, ...) {
    char s[512];
    va_list args;
    va_start(args, format);
    vsnprintf(s, sizeof s, format, args);
    va_end(args);
    return lit(c, s);
}

/* The next bytes are eight upper-case hex digits (a handle or an address as
 * the trace prints it); they go to `out`. */
static int hex8(struct cursor* c, char out[9]) {
    size_t i;
    if (c->why[0] != '\0') {
        return 0;
    }
    for (i = 0; i < 8; ++i) {
        char ch = c->pos + i < c->len ? c->text[c->pos + i] : '\0';
        if (!((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F'))) {
            return differ(c, "XXXXXXXX", 8);
        }
        out[i] = ch;
    }
    out[8] = '\0';
    c->pos += 8;
    return 1;
}

static int fail_at(struct cursor* c, const char* what) {
    if (c->why[0] == '\0') {
        snprintf(c->why, sizeof c->why, "at byte %u: %s", (unsigned)c->pos, what);
    }
    return 0;
}

/* Matches, from c->pos, the block of an OpenUSB that found no reader with
 * Pid 0x05A0 among the `n` enumerated interfaces and the clock read at some
 * second from t0 to t1: the banner, one entry per interface whose path was
 * obtained, the counters, one record entry per interface and the two
 * closing entries. */
static int match_failed_open(struct cursor* c, time_t t0, time_t t1, int n) {
    static const char interface_rest[] =
        " \r\n hxc=0, hdx=XXXXXXXX, hd=XXXXXXXX, acc=3221225472, "
        "vid=0, pid=0 ";
    char rec[MAX_INTERFACES][9];
    char seen[9], handle[9];
    time_t t;
    int i, time_ok = 0;

    lit(c, "\r\n\n Kestro-------------------- ");
    for (t = t0; t <= t1 && !time_ok; ++t) {
        const char* when = ctime(&t);
        time_ok = when != NULL && c->len - c->pos >= strlen(when) &&
                  memcmp(c->text + c->pos, when, strlen(when)) == 0;
        if (time_ok) {
            c->pos += strlen(when);
        }
    }
    if (!time_ok) {
        return fail_at(c, "the banner does not carry ctime() of the open's clock reading");
    }
    for (i = 0; i < n; ++i) {
        size_t path_len, room;
        rec[i][0] = '\0';
        if (!ifaces[i].has_path) {
            continue;
        }
        /* A path too long for the 255-byte entry is cut, never the rest. */
        path_len = strlen(ifaces[i].path);
        room = TRACE_LINE_MAX - strlen("\r\n --> ") - (sizeof interface_rest - 1);
        lit(c, "\r\n --> ");
        lit_n(c, ifaces[i].path, path_len < room ? path_len : room);
        lit(c, " \r\n hxc=0, hdx=");
        hex8(c, rec[i]);
        lit(c, ", hd=");
        if (hex8(c, handle) && (strcmp(handle, "FFFFFFFF") != 0) != ifaces[i].opens) {
            return fail_at(c, ifaces[i].opens
                                  ? "hd is FFFFFFFF for an interface that opens"
                                  : "hd is a handle for an interface that fails to open");
        }
        lit(c, ", acc=3221225472, vid=0, pid=0 ");
    }
    litf(c, "\r\n hdc=0, hxc=0, vpc=0, nod=%d, Pid=5a0 \r\n", n);
    for (i = 0; i < n; ++i) {
        litf(c, " myHidDev[%d]=", i);
        if (hex8(c, seen) && rec[i][0] != '\0' && strcmp(seen, rec[i]) != 0) {
            return fail_at(c, "the record address differs from the interface entry's hdx");
        }
        lit(c, " \r\n");
    }
    litf(c, "\r\n hxc=0, nod=%d \r\n", n);
    lit(c, "\r\n ==========================  \r\n\r\n");
    return c->why[0] == '\0';
}

/* Calls open (OpenUSB or OpenKestro) with the trace on and checks that it
 * returns 2 and appends exactly the block of a failed open. */
static void check_traced_open(fn_void open, const char* name, int n) {
    size_t before;
    time_t t0, t1;
    int32_t r;
    struct cursor c;
    trace_read();
    before = text_len;
    t0 = time(NULL);
    r = open();
    t1 = time(NULL);
    check(r == 2, "%s with C:\\kestro.log on Wine's HID interfaces: %d (expected 2)", name, (int)r);
    trace_read();
    memset(&c, 0, sizeof c);
    c.text = text;
    c.len = text_len;
    c.pos = before;
    if (text_len < before) {
        fail_at(&c, "the file got shorter");
    } else if (match_failed_open(&c, t0, t1, n) && c.pos != c.len) {
        fail_at(&c, "more bytes follow the closing rule");
    }
    check(c.why[0] == '\0', "%s trace block, byte for byte (%u bytes)%s%s", name,
          (unsigned)(text_len - before), c.why[0] ? ": " : "", c.why);
}

/* --- Exports without a session -------------------------------------------- */

static int all_bytes(const unsigned char* p, size_t n, unsigned char value) {
    size_t i;
    for (i = 0; i < n; ++i) {
        if (p[i] != value) {
            return 0;
        }
    }
    return 1;
}

static void check_without_session(void) {
    static unsigned char buf[READ_BUF_LEN];
    static const unsigned char state[7] = {1, 2, 3, 4, 5, 6, 7};
    static const unsigned char data[4] = {9, 8, 7, 6};
    int32_t r, now;

    memset(buf, 0x5A, sizeof buf);
    r = k.ReadData(buf, 2, 7);
    check(r == 1 && all_bytes(buf, sizeof buf, 0x5A),
          "ReadData without a session: %d (expected 1), buffer %s", (int)r,
          all_bytes(buf, sizeof buf, 0x5A) ? "untouched" : "CHANGED");

    r = k.ReadData1(buf);
    check(r == 1 && all_bytes(buf, sizeof buf, 0),
          "ReadData1 without a session: %d (expected 1), buffer %s", (int)r,
          all_bytes(buf, sizeof buf, 0) ? "all zero" : "NOT all zero");

    r = k.SetMrStateEx(state);
    check(r == 4, "SetMrStateEx without a session: %d (expected 4)", (int)r);
    r = k.SetMrStateBuf(state);
    check(r == 1, "SetMrStateBuf without a session: %d (expected 1)", (int)r);
    r = k.SetMrState();
    check(r == 1, "SetMrState without a session: %d (expected 1)", (int)r);

    memset(buf, 0x5A, REPORT_LEN);
    r = k.GetMrState(buf);
    check(r == 1 && all_bytes(buf, REPORT_LEN, 0x5A),
          "GetMrState without a session: %d (expected 1), report %s", (int)r,
          all_bytes(buf, REPORT_LEN, 0x5A) ? "untouched" : "CHANGED");

    r = k.ResetDevice(255);
    check(r == 3, "ResetDevice(255) without a session: %d (expected 3)", (int)r);
    r = k.ChangeMode(2);
    check(r == 5, "ChangeMode(2) without a session: %d (expected 5)", (int)r);
    r = k.FlushCounter();
    check(r == 1, "FlushCounter without a session: %d (expected 1)", (int)r);

    memset(buf, 0x5A, 8);
    r = k.RetrieveStatistics(1, buf, 3);
    check(r == 2, "RetrieveStatistics(1, buf, 3) without a session: %d (expected 2)", (int)r);
    r = k.RetrieveStatistics(1, buf, 8);
    check(r == 1 && all_bytes(buf, 8, 0x5A),
          "RetrieveStatistics(1, buf, 8) without a session: %d (expected 1), buffer %s", (int)r,
          all_bytes(buf, 8, 0x5A) ? "untouched" : "CHANGED");

    /* The access check passes when pw1 - pw2 + idx is a reading of the
     * library's clock from the last three seconds. */
    now = k.gtime();
    r = k.ResetStatistics(1, now + 100, 0);
    check(r == 4, "ResetStatistics, clock reading 100 s ahead: %d (expected 4)", (int)r);
    r = k.ResetStatistics(1, now - 101, 0);
    check(r == 5, "ResetStatistics, clock reading 100 s old: %d (expected 5)", (int)r);
    now = k.gtime();
    r = k.ResetStatistics(16, now - 16, 0);
    check(r == 2, "ResetStatistics, passing check, index 16: %d (expected 2)", (int)r);
    now = k.gtime();
    r = k.ResetStatistics(1, now - 1 + 50, 50);
    check(r == 1, "ResetStatistics, passing check, index 1, no session: %d (expected 1)", (int)r);

    now = k.gtime();
    r = k.UpdateStatistics(1, data, 4, now + 100, 0);
    check(r == 4, "UpdateStatistics, clock reading 100 s ahead: %d (expected 4)", (int)r);
    r = k.UpdateStatistics(1, data, 4, now - 101, 0);
    check(r == 5, "UpdateStatistics, clock reading 100 s old: %d (expected 5)", (int)r);
    now = k.gtime();
    r = k.UpdateStatistics(0, data, 4, now, 0);
    check(r == 3, "UpdateStatistics, passing check, index 0: %d (expected 3)", (int)r);
    now = k.gtime();
    r = k.UpdateStatistics(15, data, 4, now - 15, 0);
    check(r == 1, "UpdateStatistics, passing check, index 15, no session: %d (expected 1)", (int)r);

    r = k.CloseUSB();
    check(r == 0, "CloseUSB without a session: %d (expected 0)", (int)r);
    r = k.CloseKestro();
    check(r == 0, "CloseKestro without a session: %d (expected 0)", (int)r);
}

/* --- Callers with a 4-byte aligned stack ---------------------------------- */

#if defined(__i386__)
/* Every export called through a thunk that leaves the stack at 0, 4, 8 and
 * 12 modulo 16: the result must be the one an aligned call gives, and the
 * export must remove exactly its arguments. */
static void check_misaligned_callers(void) {
    static unsigned char buf[READ_BUF_LEN];
    static const unsigned char state[7] = {1, 2, 3, 4, 5, 6, 7};
    static const unsigned char data[4] = {9, 8, 7, 6};
    const int32_t pbuf = (int32_t)(intptr_t)buf;
    const int32_t pstate = (int32_t)(intptr_t)state;
    const int32_t pdata = (int32_t)(intptr_t)data;
    const int32_t soon = (int32_t)time(NULL) + 100; /* a clock reading 100 s ahead */
    enum { CLOCK = -1000 };                         /* expected: a reading of time() */
    const struct {
        const char* call;
        void (*fn)(void);
        int32_t nargs;
        int32_t args[5];
        int32_t expected;
    } calls[] = {
        {"OpenUSB()", (void (*)(void))k.OpenUSB, 0, {0}, 2},
        {"OpenKestro()", (void (*)(void))k.OpenKestro, 0, {0}, 2},
        {"CloseUSB()", (void (*)(void))k.CloseUSB, 0, {0}, 0},
        {"CloseKestro()", (void (*)(void))k.CloseKestro, 0, {0}, 0},
        {"SetID(0)", (void (*)(void))k.SetID, 1, {0}, 0},
        {"gtime()", (void (*)(void))k.gtime, 0, {0}, CLOCK},
        {"ReadData(buf, 2, 7)", (void (*)(void))k.ReadData, 3, {pbuf, 2, 7}, 1},
        {"ReadData1(buf)", (void (*)(void))k.ReadData1, 1, {pbuf}, 1},
        {"SetMrStateEx(state)", (void (*)(void))k.SetMrStateEx, 1, {pstate}, 4},
        {"SetMrStateBuf(state)", (void (*)(void))k.SetMrStateBuf, 1, {pstate}, 1},
        {"SetMrState()", (void (*)(void))k.SetMrState, 0, {0}, 1},
        {"GetMrState(buf)", (void (*)(void))k.GetMrState, 1, {pbuf}, 1},
        {"ResetDevice(255)", (void (*)(void))k.ResetDevice, 1, {255}, 3},
        {"ChangeMode(2)", (void (*)(void))k.ChangeMode, 1, {2}, 5},
        {"FlushCounter()", (void (*)(void))k.FlushCounter, 0, {0}, 1},
        {"RetrieveStatistics(1, buf, 3)", (void (*)(void))k.RetrieveStatistics, 3, {1, pbuf, 3}, 2},
        {"ResetStatistics(1, soon, 0)", (void (*)(void))k.ResetStatistics, 3, {1, soon, 0}, 4},
        {"UpdateStatistics(1, data, 4, soon, 0)",
         (void (*)(void))k.UpdateStatistics,
         5,
         {1, pdata, 4, soon, 0},
         4},
    };
    size_t i;
    for (i = 0; i < sizeof calls / sizeof calls[0]; ++i) {
        char got[128] = "";
        int ok = 1, pad;
        for (pad = 0; pad < 16; pad += 4) {
            struct misaligned_stack seen = {-1, -1};
            time_t t0 = time(NULL);
            int32_t r = misaligned_call(calls[i].fn, calls[i].args, calls[i].nargs, pad, &seen);
            time_t t1 = time(NULL);
            size_t used = strlen(got);
            int right = calls[i].expected == CLOCK ? r >= (int32_t)t0 - 1 && r <= (int32_t)t1 + 1
                                                   : r == calls[i].expected;
            ok &= right && seen.at_call_mod16 == pad && seen.left == 0;
            snprintf(got + used, sizeof got - used, " %d:%s%s", pad, right ? "ok" : "WRONG",
                     seen.at_call_mod16 != pad ? "(pad)"
                     : seen.left != 0          ? "(stack)"
                                               : "");
        }
        check(ok, "%s with the stack at 0/4/8/12 mod 16: right result, arguments removed:%s",
              calls[i].call, got);
    }
}
#endif

int main(void) {
    char cwd[MAX_PATH];
    DWORD cwd_len = GetCurrentDirectoryA(sizeof cwd, cwd);
    time_t t0, t1;
    int32_t g, r;
    int n, i;
    size_t before;

    /* "\kestro.log" is in the root of the current drive: only drive C, the
     * Wine prefix's own, may be used. */
    if (!check(cwd_len >= 3 && cwd_len < sizeof cwd && (cwd[0] == 'C' || cwd[0] == 'c') &&
                   cwd[1] == ':' && cwd[2] == '\\',
               "current directory %s is on drive C", cwd_len < sizeof cwd ? cwd : "?")) {
        return 1;
    }
    DeleteFileA(TRACE_FILE); /* a leftover of an interrupted run */
    if (!bind_all()) {
        check_summary("kestro_wine_test");
        return 1;
    }
    check_version_resource("kestro.dll", "kestro.dll", KESTRO_VERSION);

    t0 = time(NULL);
    g = k.gtime();
    t1 = time(NULL);
    check(g >= (int32_t)t0 - 1 && g <= (int32_t)t1 + 1, "gtime %ld within a second of time() %ld",
          (long)g, (long)t0);

    n = enumerate_hid_settled();
    printf("# Wine enumerates %d HID interface(s)\n", n);
    for (i = 0; i < n; ++i) {
        printf("#   [%d] %s%s\n", i, ifaces[i].has_path ? ifaces[i].path : "(no path)",
               ifaces[i].opens ? " (opens)" : "");
    }
    if (!check(n >= 0, "at most %d HID interfaces to follow", MAX_INTERFACES)) {
        n = 0;
    }

    /* Without the file: nothing is written and no file is created. */
    r = k.OpenUSB();
    check(r == 2 && !trace_exists(), "OpenUSB without C:\\kestro.log: %d (expected 2), %s", (int)r,
          trace_exists() ? "FILE CREATED" : "no file created");

    /* With an empty file: the block of a failed open, appended per open. */
    if (check(trace_create_empty(), "created an empty C:\\kestro.log")) {
        r = k.SetID(PID_IDTECH);
        check(r == 0, "SetID(0x05A0): %d (expected 0)", (int)r);
        check_traced_open(k.OpenUSB, "OpenUSB", n);
        /* SetID(0) keeps the product id: the next block still shows 5a0. */
        r = k.SetID(0);
        check(r == 0, "SetID(0): %d (expected 0)", (int)r);
        check_traced_open(k.OpenKestro, "OpenKestro", n);

        trace_read();
        before = text_len;
        check_without_session();
        trace_read();
        check(text_len == before, "exports without a session write nothing to the trace");
        check(DeleteFileA(TRACE_FILE) && !trace_exists(), "removed C:\\kestro.log");
    }

#if defined(__i386__)
    check_misaligned_callers();
#endif
    return check_summary("kestro_wine_test");
}
