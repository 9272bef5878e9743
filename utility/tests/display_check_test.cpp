// The check for a display before the window starts: which environments let
// Qt find one, and the line printed when none is there.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "../qt/display_check.h"

namespace kestro {
namespace {

struct DisplayCase {
    const char* name;
    const char* qpa_platform;
    const char* display;
    const char* wayland_display;
    bool platform_argument;
    const char* message_part;  // nullptr: the window may start
};

// The X display :7 listens in the test's socket folder; :8 does not.
const DisplayCase kCases[] = {
    {"NothingSet", nullptr, nullptr, nullptr, false, "neither DISPLAY nor WAYLAND_DISPLAY is set"},
    {"EmptyValues", "", "", "", false, "neither DISPLAY nor WAYLAND_DISPLAY is set"},
    {"Offscreen", "offscreen", nullptr, nullptr, false, nullptr},
    {"VncWithOptions", "vnc:size=800x600", nullptr, nullptr, false, nullptr},
    {"PlatformArgument", nullptr, nullptr, nullptr, true, nullptr},
    {"LocalDisplay", nullptr, ":7", nullptr, false, nullptr},
    {"LocalDisplayWithScreen", nullptr, ":7.0", nullptr, false, nullptr},
    {"UnixDisplay", "xcb", "unix:7", nullptr, false, nullptr},
    {"SilentDisplay", nullptr, ":8", nullptr, false, "the X display :8 does not answer"},
    {"NoDisplayNumber", nullptr, "nonsense", nullptr, false, "the X display nonsense does not"},
    {"RemoteDisplayNotProbed", nullptr, "otherhost:0", nullptr, false, nullptr},
    {"Wayland", nullptr, nullptr, "wayland-0", false, nullptr},
    {"XcbWithWaylandOnly", "xcb", nullptr, "wayland-0", false, "QT_QPA_PLATFORM=xcb finds none"},
    {"WaylandWithXOnly", "wayland", ":7", nullptr, false, "QT_QPA_PLATFORM=wayland finds none"},
    {"ListFallsBackToX", "wayland;xcb", ":7", nullptr, false, nullptr},
};

class DisplayCheckTest : public ::testing::TestWithParam<DisplayCase> {
  protected:
    void SetUp() override {
        std::string dir_template = ::testing::TempDir() + "kestro-display-XXXXXX";
        ASSERT_NE(mkdtemp(dir_template.data()), nullptr);
        dir_ = dir_template;
        listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(listener_, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = dir_ + "/X7";
        ASSERT_LT(path.size(), sizeof address.sun_path);
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(listen(listener_, 4), 0);
    }
    void TearDown() override {
        if (listener_ >= 0) {
            close(listener_);
        }
        unlink((dir_ + "/X7").c_str());
        rmdir(dir_.c_str());
    }

    std::string dir_;
    int listener_ = -1;
};

TEST_P(DisplayCheckTest, StartsOnlyWhereQtFindsADisplay) {
    const DisplayCase& c = GetParam();
    DisplayEnvironment env;
    env.qpa_platform = c.qpa_platform;
    env.display = c.display;
    env.wayland_display = c.wayland_display;
    env.platform_argument = c.platform_argument;
    env.x11_socket_dir = dir_;

    const std::string message = NoDisplayMessage(env);
    if (c.message_part == nullptr) {
        EXPECT_EQ(message, "");
        return;
    }
    EXPECT_NE(message.find(c.message_part), std::string::npos) << message;
    EXPECT_EQ(message.rfind("KestroConfigure: no display found (", 0), 0u) << message;
    EXPECT_NE(message.find("xvfb-run -a KestroConfigure"), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << "one line";
}

INSTANTIATE_TEST_SUITE_P(Environments, DisplayCheckTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestro
