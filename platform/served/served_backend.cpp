// The served-reader backend: at each enumeration it brings the connections
// to the reader sockets of the runtime directory up to date.
#include "kp/served.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "served/client.h"
#include "served/paths.h"
#include "served_device.h"

namespace kp {
namespace {

// The default wait, or the one KESTRO_SERVED_TIMEOUT_MS gives: an
// application tested against a reader that does not answer need not wait
// the full time for each case. A value that cannot be used is said once on
// standard error rather than ignored without a word: the variable is set
// only by someone testing with virtual readers.
int default_timeout_ms() {
    static bool told = false;
    std::string problem;
    const int ms = served::answer_timeout_ms(&problem);
    if (!problem.empty() && !told) {
        told = true;
        std::fprintf(stderr, "libkestro: %s\n", problem.c_str());
    }
    return ms;
}

int& timeout_ms() {
    static int ms = default_timeout_ms();
    return ms;
}

// The device path shows the ids, as a HID interface path does, and names
// the socket the reader is served on.
std::string device_path(const HidIdentity& id, const std::string& socket) {
    char head[64];
    std::snprintf(head, sizeof head, "\\\\?\\kestro#vid_%04x&pid_%04x#", id.vendor_id,
                  id.product_id);
    return head + socket;
}

// Whether the socket a reader was found at is still that same file, and
// still one we trust.
bool still_trusted(const std::string& path, ino_t inode) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && st.st_ino == inode && served::socket_trusted(path);
}

class ServedBackend : public Backend {
  public:
    explicit ServedBackend(std::string dir) : dir_(std::move(dir)) {}
    ~ServedBackend() override {
        for (auto& [path, device] : devices_) {
            device->disconnect();
        }
    }

    void scan() override {
        const std::string dir = dir_.empty() ? served::reader_dir() : dir_;
        // Say nothing about a directory that is not ours alone: it is
        // simply not looked at.
        const bool trusted = served::dir_trusted(dir);
        for (auto it = devices_.begin(); it != devices_.end();) {
            ServedDevice& d = *it->second;
            d.pump();
            const std::string& path = d.socket_path();
            // A reader whose socket went away, was replaced, or is now in a
            // place we no longer trust has left.
            if (d.connected() && (!trusted || path.compare(0, dir.size() + 1, dir + "/") != 0 ||
                                  !still_trusted(path, d.socket_inode()))) {
                d.disconnect();
            }
            it = d.connected() ? std::next(it) : devices_.erase(it);
        }
        if (!trusted) {
            return;
        }
        for (const std::string& name : served::reader_names(dir)) {
            std::string path = served::host_socket(dir, name);
            if (devices_.count(path) != 0 || !served::socket_trusted(path)) {
                continue;
            }
            auto device = ServedDevice::connect(path);
            if (device != nullptr && device->attach(device_path(device->identity(), path))) {
                devices_[path] = device;
            }
        }
    }

  private:
    std::string dir_;
    std::map<std::string, std::shared_ptr<ServedDevice>> devices_;
};

}  // namespace

std::shared_ptr<Backend> make_served_backend(const std::string& dir) {
    return std::make_shared<ServedBackend>(dir);
}

void set_served_timeout_ms(int ms) {
    timeout_ms() = ms > 0 ? ms : default_timeout_ms();
}

int served_timeout_ms() {
    return timeout_ms();
}

}  // namespace kp
