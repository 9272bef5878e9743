#include "trace.h"

#include <stdarg.h>
#include <stdio.h>

namespace kestro {

HANDLE fdd = INVALID_HANDLE_VALUE;
char ss[256];
int32_t ulen = 0;
DWORD nbr = 0;

void trace_open() {
    fdd = CreateFileA("\\kestro.log", GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (fdd != INVALID_HANDLE_VALUE) {
        SetFilePointer(fdd, 0, nullptr, FILE_END);
    }
}

void trace(const char* format, ...) {
    if (fdd == INVALID_HANDLE_VALUE) {
        return;
    }
    // Formatting may touch the last error on some runtimes; the entries that
    // report it have read it already, and the caller reads it again later.
    DWORD saved = GetLastError();
    va_list args;
    va_start(args, format);
    int n = vsnprintf(ss, sizeof ss, format, args);
    va_end(args);
    if (n < 0) {
        n = 0;
    }
    ulen = n < static_cast<int>(sizeof ss) ? n : static_cast<int>(sizeof ss) - 1;
    WriteFile(fdd, ss, static_cast<DWORD>(ulen), &nbr, nullptr);
    SetLastError(saved);
}

void trace_close() {
    if (fdd != INVALID_HANDLE_VALUE) {
        CloseHandle(fdd);
    }
    fdd = INVALID_HANDLE_VALUE;
}

const char* time_text(int32_t now) {
    // Formatting the time is the costliest part of a header and is only
    // needed when the trace is on.
    if (fdd == INVALID_HANDLE_VALUE) {
        return "";
    }
    time_t t = static_cast<time_t>(now);
    const char* text = ctime(&t);
    // ctime fails only for years it cannot print; keep the entry's shape.
    return text != nullptr ? text : "??? ??? ?? ??:??:?? ????\n";
}

}  // namespace kestro
