/*
 * kestro_hid_test - every export of the library against a reader on a real
 * HID stack: as a Windows program against Wine's setupapi.dll and hid.dll,
 * and as a Linux program against hidraw, with the same steps in the same
 * order so that the two traces can be compared entry by entry. The reader
 * is the fake one of scripts/wine-hid.sh, made through /dev/uhid; this
 * program asks it to swipe cards through its command folder (a command
 * written under another name and renamed in, one answer line back).
 *
 *   kestro_hid_test [READER-FOLDER]        (default C:\reader)
 *
 * The reader starts in the IDTECH mode and ends in the keyboard mode. Card
 * text is never printed: only whether it matched. Exits with 0 only when
 * every check passes.
 */
#ifdef _WIN32
#include "hid_listed.h"
#else
#include <time.h>
#endif

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kestro.h"
#include "wincheck.h"
#include "reader_command.h"

static int open_reader(int32_t pid);

/* --- Cards ----------------------------------------------------------------- */

struct card {
    const char* name;
    const char* tracks[3];
};

/* The test card, and one with every track at its longest (79, 40 and 107
 * characters with the sentinels). */
static const struct card cards[] = {
    {"test card",
     {"%B4111111111111111^TEST/CARD A^30121010000000000000?",
      ";4111111111111111=30121010000000000?", ""}},
    {"longest tracks",
     {"%B4111111111111111^TEST/CARD A^30121010000000000000000000000000000000000000000?",
      ";4111111111111111=301210100000000000000?",
      ";011234567890123456=0009781000000000000000000000000000000000000000000000000000000000000000"
      "0000000000000000?"}},
};

/* Swipes `c` and checks what ReadData (timeout_ms >= 0) or ReadData1
 * (timeout_ms < 0) returns: the report's length, the statuses and lengths,
 * and the tracks one after the other in the mode's text range. */
static void read_card(const struct card* c, int timeout_ms, int32_t pid, int report_len,
                      int text_first, const char* mode) {
    static unsigned char buf[MR_READ_BUF_LEN];
    char command[512], answer[128], text[400];
    int result, t, n = 0, ok = 1;
    /* The card comes 2 s after the answer, while the read waits, so that
     * each system's read is pending when it arrives. */
    snprintf(command, sizeof command, "swipe-in 2000 %s|%s|%s", c->tracks[0], c->tracks[1],
             c->tracks[2]);
    /* A new session: each handle keeps its own queue of reports (ReadData
     * reads one handle, ReadData1 the other), so that a report read through
     * one is still queued on the other. */
    CloseUSB();
    check(open_reader(pid) == 0, "%s: a new session for the %s", mode, c->name);
    memset(buf, 0xEE, sizeof buf);
    if (!check(
            reader_command(command, answer, sizeof answer) && strncmp(answer, "swiping ", 8) == 0,
            "%s: the reader swipes the %s (%s)", mode, c->name, answer)) {
        return;
    }
    result = timeout_ms >= 0 ? ReadData(buf, timeout_ms, 0) : ReadData1(buf);
    check(result == 0, "%s: %s returns 0 for the %s (%d)", mode,
          timeout_ms >= 0 ? "ReadData" : "ReadData1", c->name, (int)result);
    check(buf[0] + 256 * buf[1] == report_len, "%s: the report is %d bytes long (%d)", mode,
          report_len, buf[0] + 256 * buf[1]);
    for (t = 0; t < 3; ++t) {
        size_t len = strlen(c->tracks[t]);
        ok = ok && buf[MR_CARD_STATUS_AT + t] == 0 && buf[MR_CARD_LENGTH_AT + t] == len;
        if (len > 0 && n + len + 1 < sizeof text) {
            memcpy(text + n, c->tracks[t], len);
            n += (int)len;
            text[n++] = '\r';
        }
    }
    check(ok, "%s: the three statuses are 0 and the lengths the tracks'", mode);
    check(memcmp(buf + text_first, text, (size_t)n) == 0 && buf[text_first + n] == 0,
          "%s: the tracks of the %s (%d characters) are in the text range from byte %d", mode,
          c->name, n, text_first);
}

static void no_card(const char* mode) {
    static unsigned char buf[MR_READ_BUF_LEN];
    int i, zero = 1;
    memset(buf, 0xEE, sizeof buf);
    check(ReadData(buf, 2, 0) == 3, "%s: ReadData with no card returns 3 after 2 ms", mode);
    for (i = 0; i < MR_READ_BUF_LEN; ++i) {
        zero = zero && buf[i] == 0;
    }
    check(zero, "%s: the buffer of a read with no card is all zero", mode);
}

/* --- Sessions and modes ---------------------------------------------------- */

/* Waits up to 20 s until Windows lists an interface with the reader's
 * vendor id and `pid`: Wine lists a device that came back a while after
 * the kernel has its node (which the reader's "node" answer waits for).
 * Waiting here, outside the library, keeps the library's trace the same on
 * both systems. */
static void wait_listed(int32_t pid) {
#ifdef _WIN32
    int round, found = 0;
    for (round = 0; round < 400 && !found; ++round) {
        found = hid_listed(MR_VID, (USHORT)pid, 0);
        if (!found) {
            sleep_ms(50);
        }
    }
    if (!found) {
        printf("# no interface %04X:%04X listed after 20 s\n", (unsigned)MR_VID, (unsigned)pid);
        hid_listed(MR_VID, (USHORT)pid, 1);
    }
#else
    (void)pid;
#endif
}

/* Opens a session with `pid` once the reader is listed. */
static int open_reader(int32_t pid) {
    wait_listed(pid);
    SetID(pid);
    return OpenUSB();
}

/* Changes the mode with ChangeMode and ResetDevice and finds the reader
 * again under the new mode's product id, and not under the old one. */
static void change_mode(int32_t mode, int32_t old_pid, int32_t new_pid, const char* name) {
    unsigned char report[MR_FEATURE_LEN];
    char answer[128], want[32];
    int got;
    check(ChangeMode(mode) == 0, "ChangeMode(%d) returns 0", (int)mode);
    check(ResetDevice(255) == 0, "ResetDevice(255) returns 0");
    CloseUSB();
    snprintf(want, sizeof want, " %04x", (unsigned)new_pid);
    check(reader_command("node", answer, sizeof answer) && strstr(answer, want) != NULL,
          "the reader came back under %04X (%s)", (unsigned)new_pid, answer);
    wait_listed(new_pid);
    SetID(old_pid);
    check(OpenUSB() == 2, "OpenUSB finds no reader under the old product id %04X",
          (unsigned)old_pid);
    check(open_reader(new_pid) == 0, "OpenUSB finds the %s reader (%04X)", name, (unsigned)new_pid);
    memset(report, 0, sizeof report);
    /* The state is asked for before the check: its message shows it. */
    got = GetMrState(report);
    check(got == 0 && report[9] == mode && report[10] + 256 * report[11] == new_pid,
          "GetMrState: the reader says mode %d, product id %04X", report[9],
          (unsigned)(report[10] + 256 * report[11]));
}

/* --- Configuration and statistics ------------------------------------------ */

static int state_is(const unsigned char* want) {
    unsigned char report[MR_FEATURE_LEN];
    memset(report, 0, sizeof report);
    return GetMrState(report) == 0 && report[1] == MR_CMD_GET_STATE &&
           memcmp(report + 2, want, MR_STATE_LEN) == 0;
}

static void configuration(void) {
    static const unsigned char ex[MR_STATE_LEN] = {1, 2, 3, 4, 5, 6, 7};
    static const unsigned char buf[MR_STATE_LEN] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    static const unsigned char file[MR_STATE_LEN] = {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07};
    FILE* f;
    check(SetMrStateEx(ex) == 0 && state_is(ex),
          "SetMrStateEx returns 0 and GetMrState gives its 7 bytes back");
    check(SetMrStateBuf(buf) == 0 && state_is(buf),
          "SetMrStateBuf returns 0 and GetMrState gives its 7 bytes back");
    f = fopen("msr.ini", "wb");
    if (check(f != NULL, "msr.ini written in the current directory")) {
        fwrite(file, 1, sizeof file, f);
        fclose(f);
    }
    check(SetMrState() == 0 && state_is(file),
          "SetMrState returns 0 and GetMrState gives msr.ini's 7 bytes back");
    remove("msr.ini");
}

static void statistics(void) {
    static const unsigned char record[8] = {9, 8, 7, 6, 5, 4, 3, 2};
    unsigned char buf[32];
    check(FlushCounter() == 0, "FlushCounter returns 0");
    check(UpdateStatistics(5, record, 8, gtime() + 1000 - 5, 1000) == 0,
          "UpdateStatistics(5, 8 bytes) returns 0");
    memset(buf, 0xEE, sizeof buf);
    check(RetrieveStatistics(5, buf, sizeof buf) == 0 && memcmp(buf, record, 8) == 0,
          "RetrieveStatistics(5) returns 0 and the record's 8 bytes");
    check(ResetStatistics(5, gtime() + 1000 - 5, 1000) == 0, "ResetStatistics(5) returns 0");
    memset(buf, 0xEE, sizeof buf);
    check(RetrieveStatistics(5, buf, sizeof buf) == 0 && memcmp(buf, record, 8) != 0,
          "RetrieveStatistics(5) after the reset no longer gives the record");
    check(RetrieveStatistics(5, buf, 3) == 2, "RetrieveStatistics with 3 bytes returns 2");
    check(UpdateStatistics(16, record, 8, gtime() + 1000 - 16, 1000) == 3,
          "UpdateStatistics(16) returns 3");
}

int main(int argc, char** argv) {
    static unsigned char last[MR_READ_BUF_LEN];
    if (argc > 1) {
        reader_dir = argv[1];
    }
    printf("kestro_hid_test: %d-bit, reader folder %s\n", (int)(sizeof(void*) * 8), reader_dir);

    /* IDTECH: found, already open, a miss, cards, configuration, statistics. */
    SetID(MR_PID_MAGTEK);
    check(OpenUSB() == 2, "IDTECH reader: OpenUSB finds none under the MAGTEK product id");
    check(open_reader(MR_PID_IDTECH) == 0, "OpenUSB finds the IDTECH reader (05A0)");
    check(OpenKestro() == 1, "OpenKestro with a session open returns 1");
    no_card("IDTECH");
    read_card(&cards[0], 5000, MR_PID_IDTECH, 538, MR_CARD_TEXT_FIRST_IDTECH, "IDTECH");
    read_card(&cards[1], -1, MR_PID_IDTECH, 538, MR_CARD_TEXT_FIRST_IDTECH, "IDTECH");
    configuration();
    statistics();

    /* MAGTEK: its layout; then the keyboard mode. (KestroConfigure's run in
     * scripts/wine-hid-test.sh goes back to IDTECH in one Wine session.) */
    change_mode(3, MR_PID_IDTECH, MR_PID_MAGTEK, "MAGTEK");
    no_card("MAGTEK");
    read_card(&cards[0], 5000, MR_PID_MAGTEK, 338, MR_CARD_TEXT_FIRST_MAGTEK, "MAGTEK");
    read_card(&cards[1], -1, MR_PID_MAGTEK, 338, MR_CARD_TEXT_FIRST_MAGTEK, "MAGTEK");
    change_mode(1, MR_PID_MAGTEK, MR_PID_KEYBOARD, "keyboard");
    check(CloseKestro() == 0, "CloseKestro returns 0");
    check(ReadData1(last) == 1, "ReadData1 without a session returns 1");
    return check_summary("kestro_hid_test");
}
