// The reader's interfaces as the system shows them, found without the
// library: hidraw nodes with the reader's vendor id, and virtual readers'
// sockets when virtual readers are asked for. For each, whether this user
// can open it and, when not, why.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kcli {

struct Interface {
    std::string node;
    std::string kind;  // "hidraw" or "virtual"
    int32_t pid = -1;  // product id, -1 when unknown
    bool can_open = false;
    std::string why;  // when it cannot be opened: the error and the node's owner, group, mode
};

// The reader's hidraw nodes.
std::vector<Interface> hidraw_interfaces();
// The virtual readers' host sockets, when KESTRO_VIRTUAL_READERS=1.
std::vector<Interface> virtual_interfaces();
// A sentence on virtual readers that would otherwise go unseen: readers
// served while this program does not look for them (and the variable that
// makes it look), or a readers' folder that cannot be used. "" for none.
std::string virtual_readers_note();

}  // namespace kcli
