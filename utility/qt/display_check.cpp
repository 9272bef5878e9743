#include "display_check.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace kestro {
namespace {

bool Set(const char* value) {
    return value != nullptr && *value != '\0';
}

// Connects to a Unix socket by path, or in the abstract namespace (where an
// X server also listens) when abstract is set.
bool CanConnect(const std::string& path, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const auto length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
    close(fd);
    return connected;
}

// A local X display (":0", ":1.0", "unix:2") answers on its socket; a display
// on another host is taken as there: it is not probed over the network.
bool XDisplayReachable(const DisplayEnvironment& env) {
    const std::string display = env.display;
    const size_t colon = display.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    const std::string host = display.substr(0, colon);
    if (!host.empty() && host != "unix") {
        return true;
    }
    std::string number;
    for (size_t i = colon + 1;
         i < display.size() && std::isdigit(static_cast<unsigned char>(display[i])); ++i) {
        number += display[i];
    }
    if (number.empty()) {
        return false;
    }
    const std::string socket_path = env.x11_socket_dir + "/X" + number;
    return CanConnect(socket_path, false) || CanConnect(socket_path, true);
}

// One platform of QT_QPA_PLATFORM's list ("xcb", "wayland-egl", "offscreen",
// "vnc:size=800x600"): whether it can start here.
bool PlatformUsable(const std::string& entry, const DisplayEnvironment& env) {
    const std::string name = entry.substr(0, entry.find(':'));
    if (name == "xcb") {
        return Set(env.display) && XDisplayReachable(env);
    }
    if (name.rfind("wayland", 0) == 0) {
        return Set(env.wayland_display);
    }
    return true;  // offscreen, minimal, vnc, eglfs, linuxfb...: no display needed
}

}  // namespace

DisplayEnvironment CurrentDisplayEnvironment(int argc, char* argv[]) {
    DisplayEnvironment env;
    env.qpa_platform = std::getenv("QT_QPA_PLATFORM");
    env.display = std::getenv("DISPLAY");
    env.wayland_display = std::getenv("WAYLAND_DISPLAY");
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            env.platform_argument = true;
        }
    }
    return env;
}

std::string NoDisplayMessage(const DisplayEnvironment& env) {
    if (env.platform_argument) {
        return {};
    }
    // Qt tries the platforms of the list in turn; without one it takes X
    // (xcb), or Wayland in a Wayland session.
    const std::string platforms = Set(env.qpa_platform) ? env.qpa_platform : "xcb;wayland";
    size_t start = 0;
    while (start <= platforms.size()) {
        const size_t end = std::min(platforms.find(';', start), platforms.size());
        if (end > start && PlatformUsable(platforms.substr(start, end - start), env)) {
            return {};
        }
        start = end + 1;
    }
    std::string why;
    if (!Set(env.display) && !Set(env.wayland_display)) {
        why = "neither DISPLAY nor WAYLAND_DISPLAY is set";
    } else if (Set(env.display) && !XDisplayReachable(env)) {
        why = "the X display " + std::string(env.display) + " does not answer";
    } else {
        why = "QT_QPA_PLATFORM=" + std::string(env.qpa_platform) + " finds none of them";
    }
    return "KestroConfigure: no display found (" + why +
           "); start it on a desktop, or under a virtual display: xvfb-run -a KestroConfigure "
           "(bash scripts/run.sh does this by itself)";
}

}  // namespace kestro
