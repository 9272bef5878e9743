#include "text_viewer.h"

#include <windows.h>

#include "../logic/run_time_error.h"

namespace kestro {

void StartReadmeViewer() {
    // Notepad opens at its last size and place without taking the focus.
    char command[] = "NOTEPAD.EXE README.TXT";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNOACTIVATE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        throw RunTimeError(kErrFileNotFound, "File not found");
    }
    // Not waited for: the handles are not needed.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace kestro
