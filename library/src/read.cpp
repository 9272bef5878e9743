// Card data: ReadData polls the first usable slot with an overlapped read
// and a timeout; ReadData1 blocks on a synchronous read.
#include <string.h>

#include "state.h"
#include "trace.h"

namespace kestro {
namespace {

// Puts the length and the report into the caller's buffer.
void deliver(unsigned char* pbuf, DWORD n) {
    if (n > MR_READ_LEN) {
        n = MR_READ_LEN;
    }
    pbuf[0] = static_cast<unsigned char>(n & 0xFF);
    pbuf[1] = static_cast<unsigned char>((n >> 8) & 0xFF);
    memcpy(pbuf + 2, rbuf, n);
}

// Time a cancelled read gets to finish before ReadData stops waiting for it.
const DWORD kCancelGraceMs = 100;

// What the platform's completion query said about a read.
struct Completion {
    BOOL done = FALSE;
    DWORD n = 0;     // bytes it delivered
    DWORD lerr = 0;  // the last error the query left
};

Completion query_completion(HANDLE h) {
    Completion c;
    SetLastError(0);
    c.done = GetOverlappedResult(h, &hov, &c.n, FALSE);
    c.lerr = GetLastError();
    return c;
}

// After a cancel, waits until the platform is done with the read (so the
// receive buffer and the overlapped record are free again) and gives what
// the last completion query said: a report that completed the read between
// the end of the wait and the cancel is not lost. A read that does not
// finish in time stays with the handle, and the next call goes on with it
// instead of starting another on the same overlapped record.
Completion finish_cancelled_read(HANDLE h) {
    Completion c = query_completion(h);
    if (c.done || c.lerr != ERROR_IO_INCOMPLETE) {
        return c;
    }
    WaitForSingleObject(hov.hEvent, kCancelGraceMs);  // a finished cancel signals it
    c = query_completion(h);
    if (!c.done && c.lerr == ERROR_IO_INCOMPLETE) {
        rd_pending = h;
    }
    return c;
}

// A cancelled read that ended as cancelled reads do, with nothing, leaves
// no completion entry: that is every poll without a card. Any other outcome
// (a report after all, a failure, a read still running) is written as the
// query gave it.
void trace_cancelled_read(const Completion& c) {
    if (!c.done && c.n == 0 && c.lerr == ERROR_OPERATION_ABORTED) {
        return;
    }
    trace("\r\n GOVLR=%d, nob=%d, lerr=%d ", c.done, static_cast<int32_t>(c.n),
          static_cast<int32_t>(c.lerr));
}

}  // namespace
}  // namespace kestro

using namespace kestro;

int32_t KESTRO_CALL ReadData(unsigned char* pbuf, int32_t timeout, int32_t tag) {
    int32_t now = clock_now();
    trace("\r\n MrRead( %08X,%d,%d ), %d ------------------ %s", P(pbuf), timeout, tag, rd_f,
          time_text(now));
    if (rd_f != 0) {
        return 0;
    }
    if (hdc < 1) {
        return 1;
    }
    rd_f = 1;
    memset(pbuf, 0, MR_READ_BUF_LEN);
    if (rd_pending == nullptr) {
        // The last card goes (an outstanding read may still fill the buffer).
        SecureZeroMemory(rbuf, sizeof rbuf);
    }
    ResetEvent(hov.hEvent);

    int32_t i = 0;
    while (i < hdc && (hdr[i] == nullptr || hdr[i] == INVALID_HANDLE_VALUE || hdi[i] != Pid)) {
        ++i;
    }
    if (i == hdc) {
        rd_f = 0;
        return 2;
    }

    DWORD nob = 0;
    BOOL ok = FALSE;
    DWORD lerr = ERROR_IO_PENDING;
    if (rd_pending == hdr[i]) {
        rd_pending = nullptr;  // the read an earlier call left is still going
    } else {
        SetLastError(0);
        ok = ReadFile(hdr[i], rbuf, MR_READ_LEN, &nob, &hov);
        lerr = GetLastError();
    }
    // Only a request that completed or is pending has a read to finish.
    bool started = ok || lerr == ERROR_IO_PENDING;
    trace("\r\n ReadData: hdr[%d]=%08X, ok=%d, nob=%d, lerr=%d ", i, P(hdr[i]), ok,
          static_cast<int32_t>(nob), static_cast<int32_t>(lerr));

    DWORD wait = WaitForSingleObject(hov.hEvent, static_cast<DWORD>(timeout));
    trace("\r\n i=%d, RF=%d, nob=%d, WFSO=%u, lerr=%d ", i, ok, static_cast<int32_t>(nob),
          static_cast<uint32_t>(wait), static_cast<int32_t>(GetLastError()));

    Completion c;
    bool cancelled = wait != WAIT_OBJECT_0;
    if (cancelled) {
        CancelIo(hdr[i]);
        if (!started) {
            rd_f = 0;
            return 3;
        }
    } else {
        c = query_completion(hdr[i]);
        trace("\r\n GOVLR=%d, nob=%d, lerr=%d ", c.done, static_cast<int32_t>(c.n),
              static_cast<int32_t>(c.lerr));
        if (!c.done && c.lerr == ERROR_IO_INCOMPLETE) {
            // Signalled, yet still pending: cancel it and keep what it brought.
            CancelIo(hdr[i]);
            cancelled = true;
        }
    }
    if (cancelled) {
        c = finish_cancelled_read(hdr[i]);
        trace_cancelled_read(c);
        // Only a report is worth keeping from a cancelled read.
        c.done = c.done && c.n > 0;
    }
    if (!c.done) {
        // A read that failed (the reader was unplugged, say) is no card.
        rd_f = 0;
        return 3;
    }
    deliver(pbuf, c.n);
    rd_f = 0;
    return 0;
}

int32_t KESTRO_CALL ReadData1(unsigned char* pbuf) {
    memset(pbuf, 0, MR_READ_BUF_LEN);
    SecureZeroMemory(rbuf, sizeof rbuf);  // the last card
    int32_t now = clock_now();
    trace("\r\n MrRead1 ------------------ %s", time_text(now));
    trace("\r\n pbuf=%08X ", P(pbuf));
    if (hdc < 1) {
        return 1;
    }
    int32_t i = 0;
    while (i < hdc && !matched_slot(i)) {
        ++i;
    }
    if (i == hdc) {
        return 2;
    }
    SetLastError(0);
    DWORD nob = 0;
    BOOL ok = ReadFile(hd[i], rbuf, MR_READ_LEN, &nob, nullptr);
    trace("\r\n ReadData1: hd[%d]=%08X, ok=%d, nob=%d, lerr=%d ", i, P(hd[i]), ok,
          static_cast<int32_t>(nob), static_cast<int32_t>(GetLastError()));
    if (!ok) {
        return 2;
    }
    deliver(pbuf, nob);
    return 0;
}
