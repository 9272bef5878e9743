#include "text_viewer.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include "../logic/run_time_error.h"

namespace kestro {

void StartReadmeViewer() {
    // The desktop's viewer for the file; not waited for.
    if (!QProcess::startDetached(QStringLiteral("xdg-open"), {QStringLiteral("README.TXT")})) {
        throw RunTimeError(kErrFileNotFound, "File not found: xdg-open");
    }
}

}  // namespace kestro
