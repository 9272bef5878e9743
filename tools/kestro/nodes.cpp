#include "nodes.h"

#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "kestro.h"
#include "node_access/node_access.h"
#include "served/paths.h"
#include "served/protocol.h"

namespace kcli {
namespace {

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') {
                names.push_back(e->d_name);
            }
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The reader's product id from its hello; -1 when it does not answer.
int32_t served_pid(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        return -1;
    }
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    int32_t pid = -1;
    const std::vector<uint8_t> hello =
        served::encode(served::Type::Hello, served::encode_hello(served::Hello{}));
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        send(fd, hello.data(), hello.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(hello.size())) {
        served::Decoder decoder;
        served::Message message;
        pollfd p{fd, POLLIN, 0};
        while (pid < 0 && poll(&p, 1, 1000) == 1) {
            uint8_t buf[512];
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                break;
            }
            decoder.feed(buf, static_cast<size_t>(n));
            served::Hello answer;
            if (decoder.next(&message) != served::Decoder::Result::Ready) {
                continue;
            }
            if (message.type != served::Type::Hello ||
                !served::decode_hello(message.body, &answer)) {
                break;
            }
            pid = answer.identity.vendor_id == MR_VID ? answer.identity.product_id : -1;
        }
    }
    close(fd);
    return pid;
}

}  // namespace

std::vector<Interface> hidraw_interfaces() {
    std::vector<Interface> found;
    for (const node_access::Node& n : node_access::reader_nodes()) {
        Interface i;
        i.node = n.path;
        i.kind = "hidraw";
        i.pid = n.pid;
        i.can_open = n.can_open;
        i.why = n.why;
        found.push_back(i);
    }
    return found;
}

std::vector<Interface> virtual_interfaces() {
    std::vector<Interface> found;
    if (!served::readers_requested()) {
        return found;
    }
    const std::string dir = served::reader_dir();
    const std::string suffix = ".sock";
    for (const std::string& name : entries(dir)) {
        if (name.size() <= suffix.size() ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        Interface i;
        i.node = dir + "/" + name;
        i.kind = "virtual";
        if (!served::dir_trusted(dir) || !served::socket_trusted(i.node)) {
            i.why =
                "not trusted: the directory or socket belongs to another user or is writable "
                "by others";
        } else {
            i.pid = served_pid(i.node);
            i.can_open = i.pid >= 0;
            if (!i.can_open) {
                i.why = "no virtual reader answers on this socket";
            }
        }
        found.push_back(i);
    }
    return found;
}

}  // namespace kcli
