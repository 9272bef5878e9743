/*
 * The Windows build's environment. With no reader: a message-mode named
 * pipe opened with FILE_FLAG_OVERLAPPED serves the overlapped reads (no HID
 * device is needed, so the program runs under Wine and on any machine);
 * writes to its client end are the arrivals, and closing the client end is
 * the hang-up. With the fake reader of scripts/wine-hid.sh (a device with
 * the reader's vendor id, and its command folder C:\reader): the reader's
 * HID interface, whose input reports are the arrivals; the reader leaving
 * the bus is the hang-up, and another reader arriving the plug.
 */
#include <stdio.h>
#include <string.h>

#include "conformance.h"

static HANDLE server = INVALID_HANDLE_VALUE;
static HANDLE client = INVALID_HANDLE_VALUE;
static char pipe_name[64];
static const char file_name[] = "kp_conformance.tmp";

int conformance_under_wine(void) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
}

static HANDLE open_reader(void) {
    OVERLAPPED ov;
    BOOL connected;
    snprintf(pipe_name, sizeof pipe_name, "\\\\.\\pipe\\kp_conformance_%lu",
             (unsigned long)GetCurrentProcessId());
    server = CreateNamedPipeA(pipe_name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                              PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096,
                              0, NULL);
    if (server == INVALID_HANDLE_VALUE) {
        return server;
    }
    client = CreateFileA(pipe_name, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (client == INVALID_HANDLE_VALUE) {
        return INVALID_HANDLE_VALUE;
    }
    memset(&ov, 0, sizeof ov);
    ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    connected = ConnectNamedPipe(server, &ov) || GetLastError() == ERROR_PIPE_CONNECTED;
    CloseHandle(ov.hEvent);
    return connected ? server : INVALID_HANDLE_VALUE;
}

static int send_message(const void* data, DWORD n) {
    DWORD written = 0;
    return WriteFile(client, data, n, &written, NULL) && written == n;
}

struct later {
    char data[16];
    DWORD n, ms;
};

static DWORD WINAPI send_after(LPVOID arg) {
    struct later* l = (struct later*)arg;
    Sleep(l->ms);
    send_message(l->data, l->n);
    return 0;
}

static int send_later(const void* data, DWORD n, DWORD ms) {
    static struct later l;
    HANDLE thread;
    if (n > sizeof l.data) {
        return 0;
    }
    memcpy(l.data, data, n);
    l.n = n;
    l.ms = ms;
    thread = CreateThread(NULL, 0, send_after, &l, 0, NULL);
    if (thread == NULL) {
        return 0;
    }
    CloseHandle(thread); /* it runs on; the caller's wait ends with its write */
    return 1;
}

static DWORD arrived(DWORD sent) {
    return sent;
}

static void hang_up(void) {
    CloseHandle(client);
    client = INVALID_HANDLE_VALUE;
}

/* --- The fake reader, through its command folder ----------------------------- */

static const char reader_dir[] = "C:\\reader";
/* One command at a time: an arrival sent later by a thread must not cross
 * the main thread's next command. */
static CRITICAL_SECTION reader_lock;

static int reader_command_locked(const char* command, char* answer, size_t size);

/* Sends one command (written under another name and renamed in) and waits
 * up to 30 s for the answer line. */
static int reader_command(const char* command, char* answer, size_t size) {
    int got;
    EnterCriticalSection(&reader_lock);
    got = reader_command_locked(command, answer, size);
    LeaveCriticalSection(&reader_lock);
    return got;
}

static int reader_command_locked(const char* command, char* answer, size_t size) {
    char part[64], whole[64], reply[64];
    FILE* f;
    int i;
    snprintf(part, sizeof part, "%s\\command.new", reader_dir);
    snprintf(whole, sizeof whole, "%s\\command", reader_dir);
    snprintf(reply, sizeof reply, "%s\\answer", reader_dir);
    answer[0] = '\0';
    f = fopen(part, "w");
    if (f == NULL) {
        return 0;
    }
    fprintf(f, "%s\n", command);
    fclose(f);
    if (!MoveFileA(part, whole)) {
        return 0;
    }
    for (i = 0; i < 3000; ++i) {
        f = fopen(reply, "r");
        if (f != NULL) {
            int got = fgets(answer, (int)size, f) != NULL;
            fclose(f);
            DeleteFileA(reply);
            answer[strcspn(answer, "\r\n")] = '\0';
            return got;
        }
        Sleep(10);
    }
    return 0;
}

/* The path of the interface with the reader's vendor id and `product_id`,
 * or "". */
static const char* hid_path(USHORT product_id) {
    static char detail_buf[1024];
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail = (PSP_DEVICE_INTERFACE_DETAIL_DATA_A)detail_buf;
    GUID hid;
    HDEVINFO set;
    SP_DEVICE_INTERFACE_DATA data;
    DWORD i;
    int found = 0;
    HidD_GetHidGuid(&hid);
    set = SetupDiGetClassDevsA(&hid, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return "";
    }
    data.cbSize = sizeof data;
    for (i = 0; !found && SetupDiEnumDeviceInterfaces(set, NULL, &hid, i, &data); ++i) {
        HIDD_ATTRIBUTES a;
        HANDLE h;
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof detail_buf, NULL, NULL)) {
            continue;
        }
        h = CreateFileA(detail->DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                        OPEN_EXISTING, 0, NULL);
        if (h == INVALID_HANDLE_VALUE) {
            continue;
        }
        a.Size = sizeof a;
        found = HidD_GetAttributes(h, &a) && a.VendorID == 0x3E7A && a.ProductID == product_id;
        CloseHandle(h);
    }
    SetupDiDestroyDeviceInfoList(set);
    return found ? detail->DevicePath : "";
}

static HANDLE open_hid(USHORT product_id, DWORD flags) {
    const char* path = hid_path(product_id);
    if (path[0] == '\0') {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                       OPEN_EXISTING, flags, NULL);
}

static HANDLE open_hid_reader(void) {
    return open_hid(0x05A0, FILE_FLAG_OVERLAPPED);
}

/* The bytes as the reader's next input report. */
static int send_input(const void* data, DWORD n) {
    char command[128], answer[64];
    const unsigned char* b = (const unsigned char*)data;
    DWORD i;
    if (n > 32) {
        return 0;
    }
    strcpy(command, "input ");
    for (i = 0; i < n; ++i) {
        snprintf(command + 6 + 2 * i, 3, "%02X", b[i]);
    }
    return reader_command(command, answer, sizeof answer) && strncmp(answer, "sent ", 5) == 0;
}

static DWORD WINAPI send_input_after(LPVOID arg) {
    struct later* l = (struct later*)arg;
    Sleep(l->ms);
    send_input(l->data, l->n);
    return 0;
}

/* The thread of the last arrival sent later: waited for before the next
 * and at the end, so that its command is answered before another starts. */
static HANDLE input_thread;

static void wait_input_thread(void) {
    if (input_thread != NULL) {
        WaitForSingleObject(input_thread, 60000);
        CloseHandle(input_thread);
        input_thread = NULL;
    }
}

static int send_input_later(const void* data, DWORD n, DWORD ms) {
    static struct later l;
    wait_input_thread();
    if (n > sizeof l.data) {
        return 0;
    }
    memcpy(l.data, data, n);
    l.n = n;
    l.ms = ms;
    input_thread = CreateThread(NULL, 0, send_input_after, &l, 0, NULL);
    return input_thread != NULL;
}

static USHORT input_length = 538;

static DWORD whole_report(DWORD sent) {
    (void)sent;
    return input_length; /* a HID read gives the whole report */
}

static void unplug(void) {
    char answer[64];
    reader_command("unplug", answer, sizeof answer);
}

static int plug_other(void) {
    char answer[64];
    input_length = 338;
    return reader_command("plug magtek", answer, sizeof answer) && strstr(answer, " 05b0") != NULL;
}

static struct conformance_env hid_env = {"the fake reader's HID interface (FILE_FLAG_OVERLAPPED)",
                                         1,
                                         open_hid_reader,
                                         send_input,
                                         send_input_later,
                                         whole_report,
                                         unplug,
                                         ERROR_DEVICE_NOT_CONNECTED,
                                         file_name,
                                         "kp_conformance_missing.tmp",
                                         -1, /* Wine lists its own devices too */
                                         1,
                                         3000,
                                         500,
                                         0x3E7A,
                                         0x05A0,
                                         0x0100,
                                         538,
                                         25,
                                         plug_other,
                                         0x05B0,
                                         338,
                                         open_hid};

/* --- No reader: a named pipe ----------------------------------------------- */

static struct conformance_env env = {"a named pipe (FILE_FLAG_OVERLAPPED)",
                                     0,
                                     open_reader,
                                     send_message,
                                     send_later,
                                     arrived,
                                     hang_up,
                                     ERROR_BROKEN_PIPE,
                                     file_name,
                                     "kp_conformance_missing.tmp",
                                     -1, /* whatever the machine has */
                                     0,
                                     CONFORMANCE_WAIT_MS,
                                     0,
                                     0,
                                     0,
                                     0,
                                     0,
                                     0,
                                     NULL,
                                     0,
                                     0,
                                     NULL};

const struct conformance_env* conformance_env_open(void) {
    HANDLE f = CreateFileA(file_name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    if (f == INVALID_HANDLE_VALUE) {
        return NULL;
    }
    WriteFile(f, "conformance\n", 12, &written, NULL);
    CloseHandle(f);
    DeleteFileA(env.missing_path);
    InitializeCriticalSection(&reader_lock);
    if (GetFileAttributesA(reader_dir) != INVALID_FILE_ATTRIBUTES && hid_path(0x05A0)[0] != '\0') {
        return &hid_env;
    }
    return &env;
}

void conformance_env_close(void) {
    /* A command a thread still has under way is answered before the end. */
    wait_input_thread();
    DeleteFileA(file_name);
}
