// The hidraw backend without a kernel: report descriptors parsed into
// capabilities, and a sysfs tree of our own (nodes are FIFOs or plain files)
// enumerated, opened and read through the Windows calls.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kp/backend.h"
#include "kp/hidraw.h"
#include "kp/platform.h"
#include "kp/winapi.h"
#include "kp/wipe.h"
// The channel itself, to see its receive buffer between reports.
#include "../hidraw_device.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A vendor collection: `input` bytes of input, `feature` bytes of feature.
Bytes vendor_descriptor(uint16_t input, uint16_t feature) {
    return {0x06,
            0x00,
            0xFF,
            0x09,
            0x01,
            0xA1,
            0x01,
            0x15,
            0x00,
            0x26,
            0xFF,
            0x00,
            0x75,
            0x08,
            0x09,
            0x20,
            0x96,
            static_cast<uint8_t>(input & 0xFF),
            static_cast<uint8_t>(input >> 8),
            0x81,
            0x02,
            0x09,
            0x21,
            0x96,
            static_cast<uint8_t>(feature & 0xFF),
            static_cast<uint8_t>(feature >> 8),
            0xB1,
            0x02,
            0xC0};
}

const Bytes kKeyboard = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29,
                         0xE7, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02,
                         0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01, 0x05,
                         0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03,
                         0x91, 0x01, 0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x26, 0xFF, 0x00,
                         0x05, 0x07, 0x19, 0x00, 0x2A, 0xFF, 0x00, 0x81, 0x00, 0xC0};

TEST(ReportDescriptor, CapabilitiesAsWindowsReportsThem) {
    struct Case {
        const char* name;
        Bytes descriptor;
        bool valid;
        uint16_t page, usage, input, output, feature;
        bool numbered;
    };
    const Case cases[] = {
        {"IDTECH layout", vendor_descriptor(537, 24), true, 0xFF00, 0x01, 538, 0, 25, false},
        {"MAGTEK layout", vendor_descriptor(337, 24), true, 0xFF00, 0x01, 338, 0, 25, false},
        {"boot keyboard", kKeyboard, true, 0x01, 0x06, 9, 2, 0, false},
        {"numbered reports: the longest counts",
         {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x85, 0x01, 0x95, 0x03, 0x81,
          0x02, 0x85, 0x02, 0x95, 0x07, 0x81, 0x02, 0x85, 0x03, 0x95, 0x04, 0xB1, 0x02, 0xC0},
         true,
         0xFF00,
         0x01,
         8,
         0,
         5,
         true},
        {"bits round up to bytes",
         {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02, 0xC0},
         true,
         0x01,
         0x02,
         2,
         0,
         0,
         false},
        {"push and pop keep the report size",
         {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95,
          0x02, 0xA4, 0x75, 0x10, 0x81, 0x02, 0xB4, 0x81, 0x02, 0xC0},
         true,
         0xFF00,
         0x01,
         7,
         0,
         0,
         false},
        {"a 4-byte usage names its own page",
         {0x05, 0x01, 0x0B, 0x01, 0x00, 0x0D, 0x00, 0xA1, 0x01, 0xC0},
         true,
         0x0D,
         0x01,
         0,
         0,
         0,
         false},
        {"a long item is skipped",
         {0x06, 0x00, 0xFF, 0x09, 0x01, 0xFE, 0x02, 0x10, 0xAA, 0xBB, 0xA1, 0x01, 0x75, 0x08, 0x95,
          0x04, 0x81, 0x02, 0xC0},
         true,
         0xFF00,
         0x01,
         5,
         0,
         0,
         false},
        {"the first top-level collection names the device",
         {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0xC0, 0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0xC0},
         true,
         0x01,
         0x06,
         0,
         0,
         0,
         false},
        {"cut off inside an item",
         {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x96, 0x19},
         false,
         0,
         0,
         0,
         0,
         0,
         false},
        {"an end without a collection", {0xC0}, false, 0, 0, 0, 0, 0, false},
        {"a pop without a push", {0xB4}, false, 0, 0, 0, 0, 0, false},
        {"a report beyond 16 bits",
         {0x75, 0xFF, 0x97, 0xFF, 0xFF, 0x00, 0x00, 0x81, 0x02},
         false,
         0,
         0,
         0,
         0,
         0,
         false},
        {"bits past 64 bits do not wrap round to a short report",
         {0x77, 0x00, 0x00, 0x00, 0x80, 0x97, 0x00, 0x00, 0x00, 0x80, 0x81, 0x02,
          0x81, 0x02, 0x81, 0x02, 0x81, 0x02, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02},
         false,
         0,
         0,
         0,
         0,
         0,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kp::ReportDescriptorCaps caps =
            kp::parse_report_descriptor(c.descriptor.data(), c.descriptor.size());
        EXPECT_EQ(caps.valid, c.valid);
        if (!c.valid) {
            continue;
        }
        EXPECT_EQ(caps.usage_page, c.page);
        EXPECT_EQ(caps.usage, c.usage);
        EXPECT_EQ(caps.input_report_length, c.input);
        EXPECT_EQ(caps.output_report_length, c.output);
        EXPECT_EQ(caps.feature_report_length, c.feature);
        EXPECT_EQ(caps.numbered, c.numbered);
    }
    EXPECT_FALSE(kp::parse_report_descriptor(nullptr, 4).valid);
}

TEST(UeventIds, OnlyAWholeHidIdLineInTheKernelsForm) {
    struct Case {
        const char* name;
        std::string text;
        bool found;
        uint16_t vendor, product;
    };
    const Case cases[] = {
        {"as the kernel writes it",
         "DRIVER=hid-generic\nHID_ID=0003:00003E7A:000005A0\nHID_NAME=Reader\n", true, 0x3E7A,
         0x05A0},
        {"lower case, no final newline", "HID_ID=0003:00003e7a:000005b0", true, 0x3E7A, 0x05B0},
        {"the low 16 bits, as the node tells them", "HID_ID=0003:00013E7A:000105A0\n", true, 0x3E7A,
         0x05A0},
        {"a later line", "HID_ID=zz\nHID_ID=3:1:2\n", true, 1, 2},
        {"a sign", "HID_ID=0003:-0003E7A:000005A0\n", false, 0, 0},
        {"a blank", "HID_ID= 3:3E7A:5A0\n", false, 0, 0},
        {"a 0x prefix", "HID_ID=0003:0x3E7A:05A0\n", false, 0, 0},
        {"nine digits", "HID_ID=0003:000003E7A:05A0\n", false, 0, 0},
        {"something after the product", "HID_ID=0003:00003E7A:000005A0X\n", false, 0, 0},
        {"not at the start of a line", "XHID_ID=0003:00003E7A:000005A0\n", false, 0, 0},
        {"a field missing", "HID_ID=0003:00003E7A\n", false, 0, 0},
        {"a zero byte", std::string("HID_ID=0003:00003E7A:\0\n", 23), false, 0, 0},
        {"empty", "", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kp::HidIdentity id;
        EXPECT_EQ(kp::parse_uevent_ids(c.text, &id), c.found);
        if (c.found) {
            EXPECT_EQ(id.vendor_id, c.vendor);
            EXPECT_EQ(id.product_id, c.product);
        }
    }
}

// A sysfs tree and a device directory of our own.
class HidrawBackendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kp::reset_platform();
        char tmpl[] = "/tmp/kestro-hidraw-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::create_directories(dir_ + "/sys");
        std::filesystem::create_directories(dir_ + "/dev");
        kp::set_hidraw_root(dir_ + "/sys", dir_ + "/dev");
        kp::register_backend(kp::make_hidraw_backend());
    }
    void TearDown() override {
        kp::reset_platform();
        kp::set_hidraw_root("", "");
        EXPECT_EQ(kp::open_handle_count(), 0u);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // hidrawN with its HID device below a USB device (bcdDevice 0x0123).
    // `node`: "fifo", "file" or "" (no device node).
    void add_node(int n, uint16_t vid, uint16_t pid, const Bytes& descriptor,
                  const std::string& node = "fifo", const std::string& instance = "0001") {
        char hid_name[64];
        std::snprintf(hid_name, sizeof hid_name, "0003:%04X:%04X.%s", vid, pid, instance.c_str());
        const std::string usb = dir_ + "/devices/usb1/1-" + std::to_string(n);
        const std::string hid = usb + "/1-" + std::to_string(n) + ":1.0/" + hid_name;
        std::filesystem::create_directories(hid);
        write(usb + "/bcdDevice", "0123\n");
        char uevent[128];
        std::snprintf(uevent, sizeof uevent,
                      "DRIVER=hid-generic\nHID_ID=0003:%08X:%08X\nHID_NAME=test\n", vid, pid);
        write(hid + "/uevent", uevent);
        write(hid + "/report_descriptor", std::string(descriptor.begin(), descriptor.end()));
        const std::string sys = dir_ + "/sys/hidraw" + std::to_string(n);
        std::filesystem::remove_all(sys);
        std::filesystem::create_directories(sys);
        std::filesystem::create_directory_symlink(hid, sys + "/device");
        const std::string dev = node_path(n);
        ::unlink(dev.c_str());
        if (node == "fifo") {
            ASSERT_EQ(::mkfifo(dev.c_str(), 0600), 0);
        } else if (node == "file") {
            write(dev, "");
        }
    }
    void remove_node(int n) {
        std::filesystem::remove_all(dir_ + "/sys/hidraw" + std::to_string(n));
        ::unlink(node_path(n).c_str());
    }
    std::string node_path(int n) const { return dir_ + "/dev/hidraw" + std::to_string(n); }
    static void write(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }

    static std::vector<std::string> enumerate() {
        std::vector<std::string> paths;
        GUID guid;
        HidD_GetHidGuid(&guid);
        HDEVINFO set = SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
        for (DWORD i = 0;; ++i) {
            SP_DEVICE_INTERFACE_DATA data{};
            data.cbSize = sizeof data;
            if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, i, &data)) {
                break;
            }
            std::vector<char> buf(1024, 0);
            auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buf.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, 1024, nullptr, nullptr)) {
                paths.emplace_back(detail->DevicePath);
            }
        }
        SetupDiDestroyDeviceInfoList(set);
        return paths;
    }
    static HANDLE open(const std::string& path, DWORD access, DWORD flags = 0) {
        return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, flags, nullptr);
    }
    static HIDD_ATTRIBUTES attributes(HANDLE h) {
        HIDD_ATTRIBUTES a{};
        a.Size = sizeof a;
        EXPECT_TRUE(HidD_GetAttributes(h, &a));
        return a;
    }

    std::string dir_;
};

TEST_F(HidrawBackendTest, NodesEnumerateInNumberOrderWithIdsAndCapabilities) {
    add_node(10, 0x3E7A, 0x05B0, vendor_descriptor(337, 24));
    add_node(2, 0x3E7A, 0x05A0, vendor_descriptor(537, 24));
    add_node(3, 0xFFFF, 0x8001, kKeyboard);  // ids above 0x7FFF stay unsigned
    std::filesystem::create_directories(dir_ + "/sys/other0");
    std::filesystem::create_directories(dir_ + "/sys/hidrawX");
    ASSERT_EQ(enumerate(), (std::vector<std::string>{node_path(2), node_path(3), node_path(10)}));

    HANDLE h = open(node_path(2), 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    HIDD_ATTRIBUTES a = attributes(h);
    EXPECT_EQ(a.VendorID, 0x3E7A);
    EXPECT_EQ(a.ProductID, 0x05A0);
    EXPECT_EQ(a.VersionNumber, 0x0123);  // bcdDevice of the USB device above
    PHIDP_PREPARSED_DATA pd = nullptr;
    ASSERT_TRUE(HidD_GetPreparsedData(h, &pd));
    HIDP_CAPS caps;
    ASSERT_EQ(HidP_GetCaps(pd, &caps), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(caps.UsagePage, 0xFF00);
    EXPECT_EQ(caps.InputReportByteLength, 538);
    EXPECT_EQ(caps.FeatureReportByteLength, 25);
    HidD_FreePreparsedData(pd);
    CloseHandle(h);

    h = open(node_path(3), 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(attributes(h).VendorID, 0xFFFF);
    EXPECT_EQ(attributes(h).ProductID, 0x8001);
    CloseHandle(h);
}

TEST_F(HidrawBackendTest, AccessAsWindowsGivesIt) {
    add_node(0, 0x3E7A, 0x05A0, vendor_descriptor(537, 24));
    add_node(1, 0x3E7A, 0x0500, kKeyboard);
    add_node(2, 0x3E7A, 0x05B0, vendor_descriptor(337, 24), "");  // sysfs entry, no node
    add_node(3, 0x3E7A, 0x05B0, {0xC0});  // a descriptor that cannot be parsed
    enumerate();
    struct Case {
        int node;
        DWORD access;
        DWORD error;  // 0: opens
    };
    const Case cases[] = {
        {0, 0, 0},
        {0, GENERIC_READ | GENERIC_WRITE, 0},
        {1, 0, 0},
        {1, GENERIC_READ | GENERIC_WRITE, ERROR_ACCESS_DENIED},  // a keyboard
        {1, GENERIC_READ, ERROR_ACCESS_DENIED},
        {2, 0, ERROR_FILE_NOT_FOUND},
        {3, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "node " << c.node << " access " << c.access);
        HANDLE h = open(node_path(c.node), c.access);
        if (c.error != 0) {
            EXPECT_EQ(h, INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), c.error);
            continue;
        }
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        CloseHandle(h);
    }
    // Without a parsed descriptor there is no parser data to give.
    HANDLE h = open(node_path(3), 0);
    PHIDP_PREPARSED_DATA pd = nullptr;
    EXPECT_FALSE(HidD_GetPreparsedData(h, &pd));
    CloseHandle(h);
}

TEST_F(HidrawBackendTest, InputReportsReachReadHandlesWithTheirReportId) {
    add_node(0, 0x3E7A, 0x05A0, vendor_descriptor(537, 24));
    enumerate();
    HANDLE reader = open(node_path(0), GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
    HANDLE query = open(node_path(0), 0);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    ASSERT_NE(query, INVALID_HANDLE_VALUE);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    OVERLAPPED ov{};
    ov.hEvent = event;
    Bytes buf(1024, 0xEE);
    DWORD n = 0;
    EXPECT_FALSE(ReadFile(reader, buf.data(), 538, &n, &ov));
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);

    // What the kernel hands over for an unnumbered report: its data only.
    std::string data(537, 'x');
    data[0] = 'A';
    int w = ::open(node_path(0).c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(w, 0);
    ASSERT_EQ(::write(w, data.data(), data.size()), 537);
    ::close(w);

    ASSERT_EQ(WaitForSingleObject(event, 1000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetOverlappedResult(reader, &ov, &n, FALSE));
    EXPECT_EQ(n, 538u);
    EXPECT_EQ(buf[0], 0x00);
    EXPECT_EQ(std::string(buf.begin() + 1, buf.begin() + 538), data);
    EXPECT_EQ(buf[538], 0xEE);

    // The query handle got nothing and cannot read.
    EXPECT_FALSE(ReadFile(query, buf.data(), 538, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    // A node that is no hidraw node answers no feature report.
    Bytes report(25, 0);
    EXPECT_FALSE(HidD_SetFeature(query, report.data(), 25));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    CloseHandle(event);
    CloseHandle(reader);
    CloseHandle(query);
}

// The channel reads every report into one buffer of the kernel's largest
// report size; closing the handle frees it, and freed it holds no card.
TEST_F(HidrawBackendTest, TheReceiveBufferIsWipedWhenTheHandleCloses) {
    add_node(0, 0x3E7A, 0x05A0, vendor_descriptor(537, 24));
    enumerate();
    HANDLE reader = open(node_path(0), GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    OVERLAPPED ov{};
    ov.hEvent = event;
    Bytes buf(538, 0);
    DWORD n = 0;
    EXPECT_FALSE(ReadFile(reader, buf.data(), 538, &n, &ov));
    std::string data(537, '\0');
    const std::string track = ";4111111111111111=2512?";
    std::copy(track.begin(), track.end(), data.begin());
    int w = ::open(node_path(0).c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(w, 0);
    ASSERT_EQ(::write(w, data.data(), data.size()), 537);
    ::close(w);
    ASSERT_EQ(WaitForSingleObject(event, 1000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetOverlappedResult(reader, &ov, &n, FALSE));
    ASSERT_EQ(std::string(buf.begin() + 1, buf.begin() + 538), data);

    std::vector<Bytes> freed;
    kp::set_freed_report_hook(
        [&](const uint8_t* p, size_t length) { freed.emplace_back(p, p + length); });
    CloseHandle(reader);
    kp::set_freed_report_hook(nullptr);
    ASSERT_EQ(freed.size(), 1u);
    EXPECT_EQ(freed[0].size(), 16384u + 1);  // a read, behind the id byte of an unnumbered one
    EXPECT_TRUE(std::all_of(freed[0].begin(), freed[0].end(), [](uint8_t b) { return b == 0; }));
    CloseHandle(event);
}

// Each report is wiped from the receive buffer once handed on: nothing of a
// card waits there for the next read, nor shows behind a shorter report.
TEST_F(HidrawBackendTest, EachReportIsWipedFromTheReceiveBufferOnceHandedOn) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    kp::HidrawNodeInfo info;
    info.numbered = true;  // the bytes arrive as written
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const uint8_t* seen = nullptr;
    Bytes got;
    Bytes behind;  // what the buffer holds after the report it was given
    auto sink = [&](const uint8_t* data, size_t length) {
        seen = data;
        got.assign(data, data + length);
        behind.assign(data + length, data + std::max<size_t>(length, 64));
        SetEvent(event);
    };
    auto channel = std::make_unique<kp::HidrawChannel>(std::weak_ptr<kp::HidrawDevice>(), fds[0],
                                                       info, sink, true);
    const std::string card = "\x01;4111111111111111=2512?%B4111111111111111^TEST/CARD^2512?";
    ASSERT_EQ(::write(fds[1], card.data(), card.size()), static_cast<ssize_t>(card.size()));
    ASSERT_EQ(WaitForSingleObject(event, 1000), WAIT_OBJECT_0);
    ASSERT_EQ(std::string(got.begin(), got.end()), card);
    ASSERT_NE(seen, nullptr);
    EXPECT_TRUE(std::all_of(seen, seen + card.size(), [](uint8_t b) { return b == 0; }));

    const std::string shorter = "\x01;4";
    ASSERT_EQ(::write(fds[1], shorter.data(), shorter.size()), 3);
    ASSERT_EQ(WaitForSingleObject(event, 1000), WAIT_OBJECT_0);
    EXPECT_EQ(std::string(got.begin(), got.end()), shorter);
    EXPECT_TRUE(std::all_of(behind.begin(), behind.end(), [](uint8_t b) { return b == 0; }));
    channel.reset();  // closes the read end
    ::close(fds[1]);
    CloseHandle(event);
}

TEST_F(HidrawBackendTest, ANodeWhoseReadEndsHasLeft) {
    // A plain file reads as at its end at once: the device is taken as gone.
    add_node(0, 0x3E7A, 0x05A0, vendor_descriptor(537, 24), "file");
    enumerate();
    HANDLE reader = open(node_path(0), GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    OVERLAPPED ov{};
    ov.hEvent = event;
    Bytes buf(538);
    DWORD n = 0;
    ReadFile(reader, buf.data(), 538, &n, &ov);
    ASSERT_EQ(WaitForSingleObject(event, 1000), WAIT_OBJECT_0);
    EXPECT_FALSE(GetOverlappedResult(reader, &ov, &n, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    HIDD_ATTRIBUTES a{};
    a.Size = sizeof a;
    EXPECT_FALSE(HidD_GetAttributes(reader, &a));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    CloseHandle(event);
    CloseHandle(reader);
    // Still listed in sysfs: the next enumeration offers it again.
    EXPECT_EQ(enumerate(), std::vector<std::string>{node_path(0)});
}

TEST_F(HidrawBackendTest, VanishedAndReplacedNodesLeaveAtTheNextEnumeration) {
    add_node(0, 0x3E7A, 0x05A0, vendor_descriptor(537, 24));
    add_node(1, 0x0A11, 0x0001, vendor_descriptor(8, 8));
    enumerate();
    HANDLE first = open(node_path(0), 0);
    HANDLE second = open(node_path(1), 0);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);

    // An unchanged node keeps its device; a vanished one leaves.
    remove_node(1);
    EXPECT_EQ(enumerate(), std::vector<std::string>{node_path(0)});
    EXPECT_EQ(attributes(first).ProductID, 0x05A0);
    HIDD_ATTRIBUTES a{};
    a.Size = sizeof a;
    EXPECT_FALSE(HidD_GetAttributes(second, &a));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);

    // Another device under the same node name (a reader back in another
    // mode): the old handle is dead, a new open finds the new device.
    add_node(0, 0x3E7A, 0x05B0, vendor_descriptor(337, 24), "fifo", "0002");
    EXPECT_EQ(enumerate(), std::vector<std::string>{node_path(0)});
    EXPECT_FALSE(HidD_GetAttributes(first, &a));
    HANDLE again = open(node_path(0), 0);
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    EXPECT_EQ(attributes(again).ProductID, 0x05B0);
    CloseHandle(again);
    CloseHandle(first);
    CloseHandle(second);
}

}  // namespace
