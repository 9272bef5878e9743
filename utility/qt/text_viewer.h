// Opens README.TXT of the current directory in the desktop's text viewer.
#ifndef KESTRO_UTILITY_QT_TEXT_VIEWER_H
#define KESTRO_UTILITY_QT_TEXT_VIEWER_H

namespace kestro {

// Starts the viewer as a separate program without waiting for it; raises
// RunTimeError when it cannot be started.
void StartReadmeViewer();

}  // namespace kestro

#endif
