// HID devices through the platform: enumeration, opens, overlapped and
// synchronous reads, cancels, unplug and feature reports, with the results
// and error codes Windows gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kp/backend.h"
#include "kp/clock.h"
#include "kp/device.h"
#include "kp/platform.h"
#include "kp/winapi.h"
#include "kp/wipe.h"

namespace {

class FakeDevice : public kp::HidDevice {
  public:
    kp::HidIdentity id;
    bool refuse_rw = false;
    bool accept = true;
    std::vector<std::vector<uint8_t>> features;

    FakeDevice() {
        id.vendor_id = 0x1234;
        id.product_id = 0x5678;
        id.input_report_length = 8;
        id.feature_report_length = 4;
    }
    kp::HidIdentity identity() const override { return id; }
    uint32_t open_error(uint32_t access, bool) const override {
        return refuse_rw && access != 0 ? ERROR_ACCESS_DENIED : 0;
    }
    bool set_feature(const uint8_t* r, size_t n) override {
        features.emplace_back(r, r + n);
        return accept;
    }
    bool get_feature(uint8_t* r, size_t n) override {
        for (size_t i = 1; i < n; ++i) {
            r[i] = static_cast<uint8_t>(0x40 + i);
        }
        return accept;
    }
};

class HidTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kp::reset_platform();
        kp::clock_use_virtual(0);
        dev = std::make_shared<FakeDevice>();
        path = kp::attach_device(dev);
    }
    void TearDown() override {
        kp::reset_platform();
        EXPECT_EQ(kp::open_handle_count(), 0u);
    }
    HANDLE open(DWORD access, DWORD flags) {
        return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, flags, nullptr);
    }
    void deliver(uint8_t first, size_t n = 8) {
        std::vector<uint8_t> r(n, 0);
        r[0] = 0;
        r[1] = first;
        kp::deliver_input(dev.get(), r.data(), r.size());
    }

    std::shared_ptr<FakeDevice> dev;
    std::string path;
};

const DWORD kRW = GENERIC_READ | GENERIC_WRITE;

TEST_F(HidTest, EnumeratesInterfacesThenReportsNoMoreItems) {
    auto other = std::make_shared<FakeDevice>();
    std::string other_path = kp::attach_device(other);
    GUID guid;
    HidD_GetHidGuid(&guid);
    HDEVINFO set =
        SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    std::vector<std::string> paths;
    for (DWORD i = 0;; ++i) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, i, &data)) {
            EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
            break;
        }
        DWORD needed = 0;
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &needed, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        std::vector<char> buf(needed);
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buf.data());
        detail->cbSize = 5;  // the 32-bit header size is wrong on this system
        EXPECT_FALSE(
            SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, nullptr, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, nullptr, nullptr));
        paths.push_back(detail->DevicePath);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{path, other_path}));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(HidTest, OpensFailWithTheWindowsCodes) {
    dev->refuse_rw = true;
    EXPECT_EQ(open(kRW, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE query = open(0, 0);
    ASSERT_NE(query, INVALID_HANDLE_VALUE);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(query) % 4, 0u);
    // A query handle still gives attributes, parser data and features ...
    HIDD_ATTRIBUTES attr{};
    attr.Size = sizeof attr;
    ASSERT_TRUE(HidD_GetAttributes(query, &attr));
    EXPECT_EQ(attr.VendorID, 0x1234);
    PHIDP_PREPARSED_DATA pp = nullptr;
    ASSERT_TRUE(HidD_GetPreparsedData(query, &pp));
    HIDP_CAPS caps{};
    EXPECT_EQ(HidP_GetCaps(pp, &caps), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(caps.InputReportByteLength, 8);
    EXPECT_TRUE(HidD_FreePreparsedData(pp));
    uint8_t f[4] = {0, 1, 2, 3};
    EXPECT_TRUE(HidD_SetFeature(query, f, 4));
    // ... but no reads.
    uint8_t buf[8];
    DWORD n = 0;
    EXPECT_FALSE(ReadFile(query, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(query);

    EXPECT_EQ(CreateFileA("\\\\?\\hid#nothing", kRW, 3, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(HidTest, OverlappedReadPendsThenCompletesWithTheReport) {
    HANDLE h = open(kRW, FILE_FLAG_OVERLAPPED);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    uint8_t buf[16] = {};
    DWORD n = 99;
    EXPECT_FALSE(ReadFile(h, buf, 7, &n, &ov));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
    EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &n, &ov));
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_FALSE(GetOverlappedResult(h, &ov, &n, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);

    kp::clock_schedule(5, [&] { deliver(0x11, 3); });  // a short report
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 10), WAIT_OBJECT_0);
    EXPECT_EQ(kp::clock_now_ms(), 5);
    ASSERT_TRUE(GetOverlappedResult(h, &ov, &n, FALSE));
    EXPECT_EQ(n, 8u);  // padded to the input report length
    EXPECT_EQ(buf[1], 0x11);

    // A report already queued completes the request at once.
    deliver(0x22);
    n = 0;
    EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &n, &ov));
    EXPECT_EQ(n, 8u);
    EXPECT_EQ(buf[1], 0x22);
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 0), WAIT_OBJECT_0);
    CloseHandle(ov.hEvent);
    CloseHandle(h);
}

TEST_F(HidTest, CancelledReadFailsWithOperationAborted) {
    HANDLE h = open(kRW, FILE_FLAG_OVERLAPPED);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    uint8_t buf[8];
    DWORD n = 5;
    EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &n, &ov));
    bool hook_ran = false;
    kp::on_next_cancel([&] { hook_ran = true; });
    EXPECT_TRUE(CancelIo(h));
    EXPECT_TRUE(hook_ran);
    EXPECT_FALSE(GetOverlappedResult(h, &ov, &n, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(n, 0u);

    // A report arriving just before the cancel completes the read with data.
    EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &n, &ov));
    kp::on_next_cancel([&] { deliver(0x33); });
    CancelIo(h);
    ASSERT_TRUE(GetOverlappedResult(h, &ov, &n, TRUE));
    EXPECT_EQ(n, 8u);
    EXPECT_EQ(buf[1], 0x33);
    CloseHandle(ov.hEvent);
    CloseHandle(h);
}

TEST_F(HidTest, EachHandleQueuesThirtyTwoReportsAndDropsTheOldest) {
    HANDLE a = open(kRW, 0);
    HANDLE b = open(kRW, 0);
    HANDLE q = open(0, 0);
    for (int i = 0; i < 40; ++i) {
        deliver(static_cast<uint8_t>(i));
    }
    uint8_t buf[8];
    DWORD n = 0;
    for (int i = 8; i < 40; ++i) {
        ASSERT_TRUE(ReadFile(a, buf, sizeof buf, &n, nullptr));
        EXPECT_EQ(buf[1], i);
    }
    ASSERT_TRUE(ReadFile(b, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(buf[1], 8);
    // Nothing more will come: a synchronous read on the virtual clock gives up.
    EXPECT_FALSE(ReadFile(a, buf, sizeof buf, &n, nullptr));
    for (HANDLE h : {a, b, q}) {
        CloseHandle(h);
    }
}

TEST_F(HidTest, UnplugFailsPendingReadsAndLaterCalls) {
    HANDLE h = open(kRW, FILE_FLAG_OVERLAPPED);
    HANDLE s = open(kRW, 0);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    uint8_t buf[8];
    DWORD n = 0;
    EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &n, &ov));
    kp::clock_schedule(3, [&] { kp::detach_device(dev.get()); });
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 50), WAIT_OBJECT_0);
    EXPECT_FALSE(GetOverlappedResult(h, &ov, &n, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &n, &ov));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    uint8_t f[4] = {};
    EXPECT_FALSE(HidD_SetFeature(s, f, 4));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(ReadFile(s, buf, sizeof buf, &n, nullptr));
    for (HANDLE x : {h, s, ov.hEvent}) {
        CloseHandle(x);
    }
}

TEST_F(HidTest, FeatureReportsCheckTheLengthAndPassTheDevicesAnswer) {
    HANDLE h = open(kRW, 0);
    uint8_t f[6] = {0, 0xB3, 0, 0, 0, 0};
    EXPECT_FALSE(HidD_SetFeature(h, f, 3));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(HidD_SetFeature(h, f, 6));  // longer than the report is fine
    ASSERT_EQ(dev->features.size(), 1u);
    EXPECT_EQ(dev->features[0], std::vector<uint8_t>(f, f + 6));
    ASSERT_TRUE(HidD_GetFeature(h, f, 4));
    EXPECT_EQ(f[3], 0x43);
    dev->accept = false;
    EXPECT_FALSE(HidD_SetFeature(h, f, 4));
    EXPECT_FALSE(HidD_GetFeature(h, f, 4));
    CloseHandle(h);
}

// Both ways in: the platform's own, and the Windows call the library uses.
TEST(SecureWipeTest, ZeroesExactlyTheRange) {
    const std::pair<const char*, std::function<void(void*, size_t)>> wipes[] = {
        {"secure_wipe", [](void* p, size_t n) { kp::secure_wipe(p, n); }},
        {"SecureZeroMemory", [](void* p, size_t n) { EXPECT_EQ(SecureZeroMemory(p, n), p); }},
    };
    for (const auto& [name, wipe] : wipes) {
        for (size_t length : {size_t{0}, size_t{1}, size_t{7}, size_t{64}, size_t{16385}}) {
            SCOPED_TRACE(std::string(name) + " of " + std::to_string(length));
            std::vector<uint8_t> block(length + 2, 0xA5);
            wipe(block.data() + 1, length);
            EXPECT_EQ(block.front(), 0xA5);
            EXPECT_EQ(block.back(), 0xA5);
            EXPECT_TRUE(
                std::all_of(block.begin() + 1, block.end() - 1, [](uint8_t b) { return b == 0; }));
        }
    }
    kp::secure_wipe(nullptr, 0);  // nothing to wipe
}

// A card's report as a reader sends it: report id 0, then track 2.
const std::string kCardTrack = ";4111111111111111=2512?";
const size_t kCardReport = kCardTrack.size() + 1;

// Every way a report leaves a handle frees its bytes: what freed memory keeps
// of them at that moment (seen through the freed-report hook) must be zeros.
// Each step frees exactly the blocks listed by their sizes; one that frees
// the card without its allocator would not show up, one that frees it
// unwiped shows the card.
TEST_F(HidTest, EveryReportBufferIsWipedBeforeItIsFreed) {
    enum class Act { ReadOverlapped, ReadSync, DeliverCard, DeliverFiller, Close, Unplug };
    struct Step {
        const char* name;
        DWORD flags;                // of the reading handle
        int queued;                 // reports queued first: the card, then fillers
        bool pend;                  // an overlapped read waits before the step
        Act act;                    // the step
        std::vector<size_t> freed;  // sizes of the blocks the step frees
    };
    const size_t kFiller = 5;
    const Step steps[] = {
        {"overlapped read", FILE_FLAG_OVERLAPPED, 1, false, Act::ReadOverlapped, {kCardReport}},
        {"synchronous read", 0, 1, false, Act::ReadSync, {kCardReport}},
        {"to a waiting read", FILE_FLAG_OVERLAPPED, 0, true, Act::DeliverCard, {kCardReport}},
        // The card is the oldest; the new report's passing copy is freed too.
        {"dropped from a full queue", 0, 32, false, Act::DeliverFiller, {kCardReport, kFiller}},
        {"handle closed", 0, 1, false, Act::Close, {kCardReport}},
        {"device left", 0, 1, false, Act::Unplug, {kCardReport}},
    };
    std::vector<uint8_t> card(kCardReport, 0);
    std::copy(kCardTrack.begin(), kCardTrack.end(), card.begin() + 1);
    const std::vector<uint8_t> filler(kFiller, 0x7E);

    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        auto reader = std::make_shared<FakeDevice>();
        reader->id.input_report_length = static_cast<uint16_t>(kCardReport);
        path = kp::attach_device(reader);
        HANDLE h = open(kRW, step.flags);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        for (int i = 0; i < step.queued; ++i) {
            const std::vector<uint8_t>& r = i == 0 ? card : filler;
            kp::deliver_input(reader.get(), r.data(), r.size());
        }
        OVERLAPPED ov{};
        ov.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        std::vector<uint8_t> out(kCardReport, 0xEE);
        DWORD n = 0;
        if (step.pend) {
            ASSERT_FALSE(ReadFile(h, out.data(), kCardReport, &n, &ov));
            ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
        }

        std::vector<std::vector<uint8_t>> freed;
        kp::set_freed_report_hook(
            [&](const uint8_t* data, size_t length) { freed.emplace_back(data, data + length); });
        bool reads_card = false;
        switch (step.act) {
            case Act::ReadOverlapped:
                EXPECT_TRUE(ReadFile(h, out.data(), kCardReport, &n, &ov));
                reads_card = true;
                break;
            case Act::ReadSync:
                EXPECT_TRUE(ReadFile(h, out.data(), kCardReport, &n, nullptr));
                reads_card = true;
                break;
            case Act::DeliverCard:
                kp::deliver_input(reader.get(), card.data(), card.size());
                EXPECT_TRUE(GetOverlappedResult(h, &ov, &n, FALSE));
                reads_card = true;
                break;
            case Act::DeliverFiller:
                kp::deliver_input(reader.get(), filler.data(), filler.size());
                break;
            case Act::Close:
                CloseHandle(h);
                h = nullptr;
                break;
            case Act::Unplug:
                kp::detach_device(reader.get());
                break;
        }
        kp::set_freed_report_hook(nullptr);

        std::vector<size_t> sizes;
        for (const auto& block : freed) {
            sizes.push_back(block.size());
            EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](uint8_t b) { return b == 0; }))
                << "a freed block of " << block.size() << " bytes kept its report";
        }
        EXPECT_EQ(sizes, step.freed);
        if (reads_card) {  // wiped once the reader has it, not before
            EXPECT_EQ(n, kCardReport);
            EXPECT_EQ(out, card);
        }
        if (step.act == Act::DeliverFiller) {  // the card was the one dropped
            ASSERT_TRUE(ReadFile(h, out.data(), kCardReport, &n, nullptr));
            EXPECT_EQ(out[0], filler[0]);
        }
        if (h != nullptr) {
            CloseHandle(h);
        }
        CloseHandle(ov.hEvent);
        kp::detach_device(reader.get());
    }
}

// At exit the registry destroys the devices still attached; by then the
// process is marked as ending, so a backend's device leaves the registry
// and the poller alone. Run in a fresh process, where this is the first
// device attached.
TEST(ProcessEndingTest, IsSetBeforeTheRegistryDestroysItsDevices) {
    struct Probe : FakeDevice {
        ~Probe() override { std::fprintf(stderr, "ending=%d\n", kp::process_ending() ? 1 : 0); }
    };
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (kp::process_ending()) {
                std::_Exit(2);
            }
            kp::attach_device(std::make_shared<Probe>());
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "ending=1");
}

}  // namespace
