#include "text_viewer.h"

#include "../logic/run_time_error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <QProcess>
#include <QString>
#include <QStringList>
#endif

namespace kestro {

void StartReadmeViewer() {
#ifdef _WIN32
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
#else
    if (!QProcess::startDetached(QStringLiteral("xdg-open"), {QStringLiteral("README.TXT")})) {
        throw RunTimeError(kErrFileNotFound, "File not found: xdg-open");
    }
#endif
}

}  // namespace kestro
