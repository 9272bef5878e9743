#include "node_access/node_access.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "kestro.h"

namespace node_access {
namespace {

// HID_ID=0003:00003E7A:000005A0 in the device's uevent: bus, vendor, product.
bool hid_ids(const std::string& uevent, unsigned* vendor, unsigned* product) {
    std::ifstream in(uevent);
    std::string line;
    while (std::getline(in, line)) {
        unsigned bus;
        if (std::sscanf(line.c_str(), "HID_ID=%x:%x:%x", &bus, vendor, product) == 3) {
            return true;
        }
    }
    return false;
}

std::string group_name(gid_t gid) {
    const group* gr = getgrgid(gid);
    return gr != nullptr ? gr->gr_name : std::to_string(gid);
}

std::string owner_text(const struct stat& st) {
    const passwd* pw = getpwuid(st.st_uid);
    const std::string user = pw != nullptr ? pw->pw_name : std::to_string(st.st_uid);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return "owner " + user + ", group " + group_name(st.st_gid) + ", mode " + mode;
}

std::string this_user() {
    const passwd* pw = getpwuid(geteuid());
    return pw != nullptr ? pw->pw_name : "$USER";
}

// Opens read and write, as the library does in the HID modes, and closes.
void check_open(Node* node) {
    int fd = open(node->path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        close(fd);
        node->can_open = true;
        return;
    }
    node->why = std::strerror(errno);
    struct stat st;
    if (stat(node->path.c_str(), &st) == 0) {
        node->why += " (" + owner_text(st) + ")";
    }
}

}  // namespace

std::vector<Node> reader_nodes(const std::string& sysfs, const std::string& dev) {
    std::vector<std::string> names;
    if (DIR* d = opendir(sysfs.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') {
                names.push_back(e->d_name);
            }
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::vector<Node> nodes;
    for (const std::string& name : names) {
        unsigned vendor = 0, product = 0;
        if (!hid_ids(sysfs + "/" + name + "/device/uevent", &vendor, &product) ||
            vendor != MR_VID) {
            continue;
        }
        Node node;
        node.path = dev + "/" + name;
        node.pid = static_cast<int32_t>(product);
        check_open(&node);
        nodes.push_back(node);
    }
    return nodes;
}

std::string access_fix(const std::string& node_group) {
    const std::string join = std::string("add this user to the group ") + kReaderGroup +
                             " ('sudo usermod -a -G " + kReaderGroup + " " + this_user() +
                             "', then log in again); the user at the seat may open it without that";
    if (node_group == kReaderGroup) {
        return join;
    }
    return std::string(
               "install the udev rule 70-kestro-reader.rules (SUBSYSTEM==\"hidraw\", "
               "KERNELS==\"????:3E7A:????.????\", TAG+=\"uaccess\", MODE=\"0660\", "
               "GROUP=\"") +
           kReaderGroup + "\") in /etc/udev/rules.d, create its group ('sudo groupadd --system " +
           kReaderGroup +
           "'; the package libkestro1 does both), run 'udevadm control --reload && udevadm "
           "trigger' as root, and " +
           join;
}

std::string denied_line(const std::vector<Node>& nodes) {
    for (const Node& n : nodes) {
        if (!n.can_open) {
            struct stat st;
            const std::string group = stat(n.path.c_str(), &st) == 0 ? group_name(st.st_gid) : "";
            return n.path + " is a card reader this user cannot open: " + n.why + "; to fix, " +
                   access_fix(group);
        }
    }
    return "";
}

}  // namespace node_access
