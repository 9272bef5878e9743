// The diagnostic trace "\kestro.log" in the root of the current drive. It is
// written only when that file already exists: the library never creates it.
// Each entry is formatted into the one 256-byte line buffer and written at
// once, unbuffered; a write that fails is ignored.
#pragma once

#include "win.h"

namespace kestro {

extern HANDLE fdd;    // the open trace file, or INVALID_HANDLE_VALUE
extern char ss[256];  // the line buffer every entry is formatted into
extern int32_t ulen;  // length of the entry in ss
extern DWORD nbr;     // bytes written by the last write

// Opens the trace file if it exists and moves to its end.
void trace_open();
// Formats one entry (printf-style) and writes it, when the file is open.
// An entry longer than the buffer is cut to 255 bytes.
void trace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Closes the trace file.
void trace_close();
// The time text of a header: ctime's 24 characters and a line feed.
const char* time_text(int32_t now);

}  // namespace kestro
