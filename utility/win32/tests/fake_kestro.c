/*
 * fake_kestro - a stand-in for kestro.dll that KestroConfigure binds in its
 * tests under Wine. It exports the six functions the utility calls, with the
 * same calling convention and results as the library, and plays a reader:
 *
 *   FAKE_READER_PID 0x05A0: a reader in the "USB/HID IDTECH" mode; OpenKestro
 *     succeeds after SetID(0x05A0). Each ReadData on the open session that
 *     finds the file "swipe" in the current directory deletes it and
 *     delivers one card report; otherwise it times out (3, buffer zero).
 *   FAKE_READER_PID 0: no reader; OpenKestro always answers 2.
 *
 * Every call but the idle reads is appended to "fake_kestro.log" in the
 * current directory ("SetID 5A0 -> 0"), so a test can check what the
 * program called and in which order.
 */
#include <windows.h>

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#ifndef FAKE_READER_PID
#define FAKE_READER_PID 0
#endif

#define FAKE_EXPORT __declspec(dllexport)
#define READ_BUF_LEN 1024
#define REPORT_LEN 538
#define IDTECH_TEXT_AT 12 /* buffer index of the track text in IDTECH mode */

/* The card: tracks 1 and 2 read well, track 3 has no data and a bad status. */
#define TRACK1 "%B6011000990139424^KESTRO/TEST CARD^3012101000000?"
#define TRACK2 ";6011000990139424=30121010000?"

static int32_t pid = 0x0500;
static int session_open;

static void journal(const char* format, ...) {
    FILE* log = fopen("fake_kestro.log", "ab"); /* LF line ends */
    va_list args;
    if (log == NULL) {
        return;
    }
    va_start(args, format);
    vfprintf(log, format, args);
    va_end(args);
    fputc('\n', log);
    fclose(log);
}

FAKE_EXPORT int32_t __stdcall SetID(int32_t new_pid) {
    if (new_pid != 0) {
        pid = new_pid;
    }
    journal("SetID %X -> 0", (unsigned)new_pid);
    return 0;
}

FAKE_EXPORT int32_t __stdcall OpenKestro(void) {
    int32_t result;
    if (session_open) {
        result = 1;
    } else if (FAKE_READER_PID != 0 && pid == FAKE_READER_PID) {
        session_open = 1;
        result = 0;
    } else {
        result = 2;
    }
    journal("OpenKestro -> %d", (int)result);
    return result;
}

FAKE_EXPORT int32_t __stdcall CloseKestro(void) {
    session_open = 0;
    journal("CloseKestro -> 0");
    return 0;
}

FAKE_EXPORT int32_t __stdcall ReadData(unsigned char* pbuf, int32_t timeout, int32_t tag) {
    static const char text[] = TRACK1 "\r" TRACK2 "\r";
    (void)timeout;
    (void)tag;
    if (!session_open) {
        return 1;
    }
    memset(pbuf, 0, READ_BUF_LEN);
    if (!DeleteFileA("swipe")) {
        return 3; /* no card within the wait */
    }
    pbuf[0] = REPORT_LEN & 0xFF;
    pbuf[1] = REPORT_LEN >> 8;
    pbuf[2] = 0; /* report id */
    pbuf[3] = 0; /* track 1 status: OK */
    pbuf[4] = 0; /* track 2 status: OK */
    pbuf[5] = 1; /* track 3 status: no data */
    pbuf[6] = (unsigned char)strlen(TRACK1);
    pbuf[7] = (unsigned char)strlen(TRACK2);
    pbuf[8] = 0;
    memcpy(pbuf + IDTECH_TEXT_AT, text, sizeof text - 1);
    journal("ReadData -> 0 (card)");
    return 0;
}

FAKE_EXPORT int32_t __stdcall ChangeMode(int32_t mode) {
    journal("ChangeMode %d -> 0", (int)mode);
    return 0;
}

FAKE_EXPORT int32_t __stdcall ResetDevice(int32_t mode) {
    journal("ResetDevice %d -> 0", (int)mode);
    return 0;
}
