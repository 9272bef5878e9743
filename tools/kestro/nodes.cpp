#include "nodes.h"

#include <unistd.h>

#include "kestro.h"
#include "node_access/node_access.h"
#include "served/client.h"
#include "served/paths.h"
#include "served/protocol.h"

namespace kcli {
namespace {

// How long a virtual reader gets to answer the hello.
constexpr int kHelloTimeoutMs = 1000;

// The reader's product id from its hello; -1 when it does not answer, with
// the reason in *why.
int32_t served_pid(const std::string& path, std::string* why) {
    const int fd = served::connect_socket(path, 0);
    if (fd < 0) {
        *why = "no virtual reader answers on this socket";
        return -1;
    }
    uid_t uid = 0;
    int32_t pid = -1;
    served::Hello answer;
    if (!served::peer_uid(fd, &uid) || uid != geteuid()) {
        // As the library does: a reader run by another user is not used.
        *why = "not trusted: the reader behind this socket runs as another user (uid " +
               std::to_string(uid) + ")";
    } else if (served::probe_hello(fd, kHelloTimeoutMs, &answer) != served::Probe::Answered) {
        *why = "no virtual reader answers on this socket";
    } else if (answer.identity.vendor_id != MR_VID) {
        *why = "the virtual reader on this socket has another vendor id";
    } else {
        pid = answer.identity.product_id;
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
    for (const std::string& name : served::reader_names(dir)) {
        Interface i;
        i.node = served::host_socket(dir, name);
        i.kind = "virtual";
        if (!served::dir_trusted(dir) || !served::socket_trusted(i.node)) {
            i.why =
                "not trusted: the directory or socket belongs to another user or is writable "
                "by others";
        } else {
            i.pid = served_pid(i.node, &i.why);
            i.can_open = i.pid >= 0;
        }
        found.push_back(i);
    }
    return found;
}

std::string virtual_readers_note() {
    const std::string dir = served::reader_dir();
    if (served::readers_requested()) {
        const std::string problem = served::dir_problem(dir);
        return problem.empty() ? "" : "virtual readers cannot be used: " + problem;
    }
    if (!served::dir_trusted(dir) || !served::has_readers(dir)) {
        return "";
    }
    std::string names;
    for (const std::string& name : served::reader_names(dir)) {
        names += (names.empty() ? "" : ", ") + name;
    }
    return "virtual readers are served (" + names + " in " + dir + ") but not looked for: set " +
           served::kRequestVariable + "=1 to use them";
}

}  // namespace kcli
