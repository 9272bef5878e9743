/*
 * The Windows build's environment: a message-mode named pipe opened with
 * FILE_FLAG_OVERLAPPED serves the overlapped reads (no HID device is needed,
 * so the program runs under Wine and on any machine); writes to its client
 * end are the arrivals, and closing the client end is the hang-up.
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

static struct conformance_env env = {
    "a named pipe (FILE_FLAG_OVERLAPPED)",
    0,
    open_reader,
    send_message,
    send_later,
    arrived,
    hang_up,
    ERROR_BROKEN_PIPE,
    file_name,
    "kp_conformance_missing.tmp",
    -1 /* whatever the machine has */
};

const struct conformance_env* conformance_env_open(void) {
    HANDLE f = CreateFileA(file_name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    if (f == INVALID_HANDLE_VALUE) {
        return NULL;
    }
    WriteFile(f, "conformance\n", 12, &written, NULL);
    CloseHandle(f);
    DeleteFileA(env.missing_path);
    return &env;
}

void conformance_env_close(void) {
    DeleteFileA(file_name);
}
