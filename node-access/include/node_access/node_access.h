// The reader's hidraw nodes as the system shows them (sysfs), found without
// the library, and whether this user can open each: a reader that is present
// but not permitted otherwise looks the same as no reader at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace node_access {

struct Node {
    std::string path;  // /dev/hidrawN
    int32_t pid = 0;   // product id
    bool can_open = false;
    std::string why;  // when it cannot be opened: the error, the node's owner, group and mode
};

// The system group that the udev rule gives the reader's nodes to.
inline constexpr const char* kReaderGroup = "kestro";

// Nodes listed under `sysfs` whose HID device carries the reader's vendor
// id, with their device files in `dev`, in name order.
std::vector<Node> reader_nodes(const std::string& sysfs = "/sys/class/hidraw",
                               const std::string& dev = "/dev");

// What gives this user access to a reader's hidraw node whose group is
// `node_group`: membership of the group kestro where the udev rule already
// gave the node to it, otherwise the rule and the group first.
std::string access_fix(const std::string& node_group = "");

// One line naming the first node this user cannot open, why, and the fix;
// empty when there is none.
std::string denied_line(const std::vector<Node>& nodes);

}  // namespace node_access
