/*
 * kestro_hid_latency - how long a swipe takes to come back from ReadData:
 * as a Windows program through Wine's HID stack, and as a Linux program
 * through hidraw, against the fake reader of scripts/wine-hid.sh
 * (scripts/wine-hid-latency.sh runs both in one guest and gives the ratio).
 *
 *   kestro_hid_latency [READER-FOLDER [SWIPES]]   (default C:\reader, 30)
 *
 * For each swipe the program asks the reader for a swipe a moment later
 * ("swipe-in"), then polls ReadData with the 2 ms timeout until the report
 * comes back. The time measured runs from the reader's write of the report
 * to /dev/uhid to ReadData's return, both read from one clock, the guest
 * kernel's CLOCK_MONOTONIC_RAW: the reader stamps it right before the write
 * and answers it to "stamp"; this program reads it with clock_gettime on
 * Linux and QueryPerformanceCounter on Windows, which Wine serves from that
 * clock. Before the swipes the program checks that the two agree (the
 * reader's "clock" falls between two readings of its own), and for each
 * swipe that its poll began before the write (else the swipe is made again
 * later). Card text is never printed. The last line is
 *   latency: median U us, p90 V us over N swipes
 * and the exit code 0 only when every check passed.
 */
#ifdef _WIN32
#include <windows.h>
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

#define MAX_SWIPES 1000
#define WARM_UP 3

/* The clock, in nanoseconds. */
static int64_t now_ns(void) {
#ifdef _WIN32
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return (c.QuadPart / f.QuadPart) * 1000000000 +
           (c.QuadPart % f.QuadPart) * 1000000000 / f.QuadPart;
#else
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC_RAW, &t);
    return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
#endif
}

/* The number the reader answers after `word` and a space, or -1. */
static int64_t reader_number(const char* command, const char* word) {
    char answer[128];
    size_t n = strlen(word);
    if (!reader_command(command, answer, sizeof answer) || strncmp(answer, word, n) != 0 ||
        answer[n] != ' ') {
        return -1;
    }
    return strtoll(answer + n + 1, NULL, 10);
}

static int compare(const void* a, const void* b) {
    int64_t x = *(const int64_t*)a, y = *(const int64_t*)b;
    return (x > y) - (x < y);
}

/* One swipe: its latency in ns, 0 when the poll began too late, -1 on a
 * fault (reported). */
static int64_t one_swipe(int delay_ms) {
    static unsigned char buf[MR_READ_BUF_LEN];
    char command[64], answer[128];
    int64_t start, end, stamp;
    int result;
    snprintf(command, sizeof command, "swipe-in %d", delay_ms);
    if (!reader_command(command, answer, sizeof answer) || strncmp(answer, "swiping ", 8) != 0) {
        check(0, "the reader swipes (%s)", answer);
        return -1;
    }
    start = now_ns();
    do {
        memset(buf, 0xEE, sizeof buf);
        result = ReadData(buf, 2, 0);
    } while (result == 3 && now_ns() - start < (int64_t)(delay_ms + 10000) * 1000000);
    end = now_ns();
    if (result != 0) {
        check(0, "ReadData returns the swipe (%d)", result);
        return -1;
    }
    if (buf[0] + 256 * buf[1] != 538) {
        check(0, "the report is 538 bytes long (%d)", buf[0] + 256 * buf[1]);
        return -1;
    }
    stamp = reader_number("stamp", "stamp");
    if (stamp <= 0 || end < stamp) {
        check(0, "the reader's stamp lies before ReadData's return (%lld ns after)",
              (long long)(stamp - end));
        return -1;
    }
    return stamp > start ? end - stamp : 0;
}

int main(int argc, char** argv) {
    static int64_t took[MAX_SWIPES];
    static unsigned char buf[MR_READ_BUF_LEN];
    int swipes = 30, done = 0, late = 0, i, ok = 1, delay_ms = 300;
    if (argc > 1) {
        reader_dir = argv[1];
    }
    if (argc > 2) {
        swipes = atoi(argv[2]);
    }
    if (argc > 3 || swipes < 1 || swipes > MAX_SWIPES) {
        fprintf(stderr, "usage: kestro_hid_latency [READER-FOLDER [SWIPES]]\n");
        return 2;
    }
    printf("kestro_hid_latency: %d-bit, reader folder %s, %d swipes\n", (int)(sizeof(void*) * 8),
           reader_dir, swipes);

    /* One clock: the reader's reading falls between two of this program's. */
    for (i = 0; i < 3; ++i) {
        int64_t before = now_ns(), theirs = reader_number("clock", "clock"), after = now_ns();
        ok = ok && before <= theirs && theirs <= after;
        if (!ok) {
            printf("# clocks: here %lld, the reader %lld, here %lld\n", (long long)before,
                   (long long)theirs, (long long)after);
        }
    }
    if (!check(ok, "this program's clock and the reader's are one")) {
        return check_summary("kestro_hid_latency");
    }

    /* The reader, once the system lists it (Wine a while after the kernel). */
    SetID(MR_PID_IDTECH);
    for (i = 0; i < 200 && OpenUSB() != 0; ++i) {
        sleep_ms(50);
    }
    if (!check(i < 200, "OpenUSB finds the IDTECH reader")) {
        return check_summary("kestro_hid_latency");
    }
    while (ReadData(buf, 2, 0) == 0) {
    }

    /* The first swipes warm up; a swipe that came before the poll is made
     * again, later. */
    while (done < swipes + WARM_UP && late < 20) {
        int64_t t = one_swipe(delay_ms);
        if (t < 0) {
            break;
        }
        if (t == 0) {
            ++late;
            delay_ms *= 2;
            continue;
        }
        if (done >= WARM_UP) {
            took[done - WARM_UP] = t;
        }
        ++done;
    }
    CloseUSB();
    if (!check(done == swipes + WARM_UP, "%d swipes read (%d came before the poll)", done, late)) {
        return check_summary("kestro_hid_latency");
    }
    qsort(took, (size_t)swipes, sizeof took[0], compare);
    i = check_summary("kestro_hid_latency");
    /* The median (the mean of the middle two for an even count) and the
     * nearest-rank 90th percentile. */
    printf("latency: median %.1f us, p90 %.1f us over %d swipes\n",
           (double)(took[(swipes - 1) / 2] + took[swipes / 2]) / 2000.0,
           (double)took[(swipes * 9 + 9) / 10 - 1] / 1000.0, swipes);
    return i;
}
