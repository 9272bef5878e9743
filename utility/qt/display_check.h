// Whether the window can be shown, decided before QApplication exists: Qt
// ends the program with an abort and a generic text when its platform plugin
// finds no display.
#ifndef KESTRO_UTILITY_QT_DISPLAY_CHECK_H
#define KESTRO_UTILITY_QT_DISPLAY_CHECK_H

#include <string>

namespace kestro {

struct DisplayEnvironment {
    const char* qpa_platform = nullptr;     // QT_QPA_PLATFORM
    const char* display = nullptr;          // DISPLAY
    const char* wayland_display = nullptr;  // WAYLAND_DISPLAY
    bool platform_argument = false;         // -platform on the command line: Qt decides
    std::string x11_socket_dir = "/tmp/.X11-unix";
};

DisplayEnvironment CurrentDisplayEnvironment(int argc, char* argv[]);

// Empty when a display is there (or the platform needs none); otherwise the
// one line that says what is missing and how to get a display.
std::string NoDisplayMessage(const DisplayEnvironment& env);

}  // namespace kestro

#endif
