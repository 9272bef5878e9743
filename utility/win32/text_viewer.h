// Opens README.TXT of the current directory in Notepad.
#ifndef KESTRO_UTILITY_WIN32_TEXT_VIEWER_H
#define KESTRO_UTILITY_WIN32_TEXT_VIEWER_H

namespace kestro {

// Starts "NOTEPAD.EXE README.TXT" as a separate program without waiting for
// it; raises RunTimeError when it cannot be started.
void StartReadmeViewer();

}  // namespace kestro

#endif
