// The in-process reader as the platform sees it: identity per mode, access
// in keyboard mode, swipes as input reports, and a reset that takes it off
// the bus and brings it back under the product id of the new mode.
#include <gtest/gtest.h>

#include "kp/clock.h"
#include "kp/platform.h"
#include "kp/winapi.h"
#include "vr/inprocess.h"

namespace {

class InProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kp::reset_platform();
        kp::clock_use_virtual(0);
    }
    void TearDown() override {
        kp::reset_platform();
        EXPECT_EQ(kp::open_handle_count(), 0u);
    }
};

HANDLE open_path(const std::string& path, DWORD access, DWORD flags = 0) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, flags, nullptr);
}

TEST_F(InProcessTest, IdentityAndAccessFollowTheMode) {
    struct Case {
        vr::Mode mode;
        uint16_t pid;
        uint16_t input;
        bool read_write;
    };
    for (const Case& c :
         {Case{vr::Mode::Idtech, 0x05A0, 538, true}, Case{vr::Mode::Magtek, 0x05B0, 338, true},
          Case{vr::Mode::Keyboard, 0x0500, 9, false}}) {
        auto reader = vr::InProcessReader::plug_new(c.mode);
        kp::HidIdentity id = reader->identity();
        EXPECT_EQ(id.vendor_id, 0x3E7A);
        EXPECT_EQ(id.product_id, c.pid);
        EXPECT_EQ(id.input_report_length, c.input);
        EXPECT_EQ(id.feature_report_length, 25);
        HANDLE rw = open_path(reader->path(), GENERIC_READ | GENERIC_WRITE);
        EXPECT_EQ(rw != INVALID_HANDLE_VALUE, c.read_write);
        HANDLE q = open_path(reader->path(), 0);
        EXPECT_NE(q, INVALID_HANDLE_VALUE);
        CloseHandle(q);
        if (rw != INVALID_HANDLE_VALUE) {
            CloseHandle(rw);
        }
        reader->unplug();
    }
}

TEST_F(InProcessTest, SwipeReachesAnOpenReadHandle) {
    auto reader = vr::InProcessReader::plug_new(vr::Mode::Magtek);
    HANDLE h = open_path(reader->path(), GENERIC_READ | GENERIC_WRITE);
    vr::Track tracks[3] = {{"%B4111111111111111^TEST/CARD A^30121010000000000000?", 0},
                           {";4111111111111111=30121010000000000?", 0},
                           {"", 0}};
    std::vector<uint8_t> sent = reader->swipe(tracks);
    ASSERT_EQ(sent.size(), 338u);
    std::vector<uint8_t> got(538);
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(h, got.data(), 538, &n, nullptr));
    ASSERT_EQ(n, 338u);
    got.resize(n);
    EXPECT_EQ(got, sent);
    CloseHandle(h);
}

TEST_F(InProcessTest, ResetAfterModeChangeComesBackUnderTheNewProductId) {
    auto reader = vr::InProcessReader::plug_new(vr::Mode::Idtech);
    std::string old_path = reader->path();
    HANDLE h = open_path(old_path, 0);
    uint8_t change[25] = {0x00, 0xBE, '3'};
    ASSERT_TRUE(HidD_SetFeature(h, change, 25));
    EXPECT_TRUE(reader->plugged());
    uint8_t reset[25] = {0x00, 0xFF, 0xAA, 0xFF};
    ASSERT_TRUE(HidD_SetFeature(h, reset, 25));
    EXPECT_FALSE(reader->plugged());
    EXPECT_FALSE(HidD_SetFeature(h, change, 25));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);

    kp::clock_advance(reader->restart_ms - 1);
    EXPECT_FALSE(reader->plugged());
    kp::clock_advance(1);
    ASSERT_TRUE(reader->plugged());
    EXPECT_EQ(reader->identity().product_id, 0x05B0);
    EXPECT_NE(reader->path(), old_path);
    // The old handle stays dead; a new open works.
    EXPECT_FALSE(HidD_SetFeature(h, change, 25));
    CloseHandle(h);
    HANDLE again = open_path(reader->path(), GENERIC_READ | GENERIC_WRITE);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST_F(InProcessTest, OtherDevicesBehaveLikeTheSystemsOwn) {
    auto kb = vr::make_system_keyboard();
    std::string kb_path = kp::attach_device(kb);
    EXPECT_EQ(open_path(kb_path, GENERIC_READ | GENERIC_WRITE), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE q = open_path(kb_path, 0);
    ASSERT_NE(q, INVALID_HANDLE_VALUE);
    uint8_t f[25] = {};
    EXPECT_FALSE(HidD_SetFeature(q, f, 25));  // no feature reports at all
    CloseHandle(q);
    auto foreign = vr::make_foreign_device(0x1111, 0x05A0);
    std::string fpath = kp::attach_device(foreign);
    HANDLE h = open_path(fpath, GENERIC_READ | GENERIC_WRITE);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
}

}  // namespace
