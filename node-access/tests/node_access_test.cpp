// The reader's hidraw nodes found in a sysfs tree made in a temporary
// directory: only the reader's vendor id counts, and a node that cannot be
// opened is named with the reason and the fix, which depends on the group
// the node has.
#include "node_access/node_access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

TEST(NodeAccess, ReaderNodesTheirProductIdsAndAccess) {
    char tmpl[] = "/tmp/kestro-nodes-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string root = tmpl;
    const struct {
        const char* name;
        const char* uevent;  // nullptr: no uevent file
        bool node_exists;
    } devices[] = {
        {"hidraw0", "DRIVER=hid-generic\nHID_ID=0003:00003E7A:000005A0\nHID_NAME=r\n", true},
        {"hidraw1", "HID_ID=0003:0000046D:0000C52B\n", true},   // another vendor
        {"hidraw2", "HID_ID=0003:00003e7a:00000500\n", false},  // node gone
        {"hidraw3", nullptr, true},
        {"hidraw4", "HID_ID=garbage\n", true},
    };
    for (const auto& d : devices) {
        std::filesystem::create_directories(root + "/sys/" + d.name + "/device");
        std::filesystem::create_directories(root + "/dev");
        if (d.uevent != nullptr) {
            std::ofstream(root + "/sys/" + d.name + "/device/uevent") << d.uevent;
        }
        if (d.node_exists) {
            std::ofstream(root + "/dev/" + d.name) << "";
        }
    }
    const auto nodes = node_access::reader_nodes(root + "/sys", root + "/dev");
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0].path, root + "/dev/hidraw0");
    EXPECT_EQ(nodes[0].pid, 0x05A0);
    EXPECT_TRUE(nodes[0].can_open);
    EXPECT_EQ(nodes[1].path, root + "/dev/hidraw2");
    EXPECT_EQ(nodes[1].pid, 0x0500);
    EXPECT_FALSE(nodes[1].can_open);
    EXPECT_EQ(nodes[1].why, "No such file or directory");

    const std::string line = node_access::denied_line(nodes);
    EXPECT_EQ(line.rfind(root + "/dev/hidraw2 is a card reader this user cannot open: No such", 0),
              0u)
        << line;
    EXPECT_NE(line.find("70-kestro-reader.rules"), std::string::npos);
    EXPECT_EQ(node_access::denied_line({nodes[0]}), "");
    EXPECT_TRUE(node_access::reader_nodes(root + "/none", root + "/dev").empty());
    std::filesystem::remove_all(root);
}

// The fix names the group kestro, never plugdev: joining it where the rule
// already gave the node to it, else the rule and the group first.
TEST(NodeAccess, FixNamesTheReaderGroup) {
    const struct {
        const char* node_group;
        bool rule_needed;
    } cases[] = {
        {"kestro", false},
        {"root", true},
        {"plugdev", true},
        {"", true},  // the node's group is unknown
    };
    for (const auto& c : cases) {
        const std::string fix = node_access::access_fix(c.node_group);
        SCOPED_TRACE(c.node_group);
        EXPECT_NE(fix.find("add this user to the group kestro ('sudo usermod -a -G kestro "),
                  std::string::npos)
            << fix;
        EXPECT_EQ(fix.find("plugdev"), std::string::npos) << fix;
        EXPECT_EQ(fix.find("GROUP=\"kestro\"") != std::string::npos, c.rule_needed) << fix;
        EXPECT_EQ(fix.find("groupadd --system kestro") != std::string::npos, c.rule_needed) << fix;
    }
}

}  // namespace
