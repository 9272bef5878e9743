// The library's exports against a real kernel HID stack: fake readers made
// through /dev/uhid, reached by the hidraw backend through /dev/hidrawN.
// The real clock runs here, so waits are kept short. Without /dev/uhid every
// test reports itself skipped.
#include <fcntl.h>
#include <stdlib.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kestro.h"
#include "kp/backend.h"
#include "kp/clock.h"
#include "kp/hidraw.h"
#include "kp/platform.h"
#include "registry.h"
#include "state.h"
#include "uhid_reader.h"

namespace kernel_test {
namespace {

using Bytes = std::vector<uint8_t>;
using Buffer = std::array<unsigned char, MR_READ_BUF_LEN>;

const vr::Track kCard[3] = {{"%B4111111111111111^TEST/CARD A^30121010000000000000?", 0},
                            {";4111111111111111=30121010000000000?", 0},
                            {"", 0}};

Bytes frame(std::initializer_list<uint8_t> head) {
    Bytes f(MR_FEATURE_LEN, 0);
    std::copy(head.begin(), head.end(), f.begin() + 1);
    return f;
}

Buffer expected_buffer(const Bytes& report) {
    Buffer b{};
    b[0] = static_cast<unsigned char>(report.size() & 0xFF);
    b[1] = static_cast<unsigned char>(report.size() >> 8);
    std::copy(report.begin(), report.end(), b.begin() + 2);
    return b;
}

bool all_zero(const Buffer& b) {
    return std::all_of(b.begin(), b.end(), [](unsigned char c) { return c == 0; });
}

kp::DeviceHandle* device_handle(HANDLE h) {
    return kp::handle_as<kp::DeviceHandle>(h);
}

class KernelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string why = uhid_unavailable();
        if (!why.empty()) {
            GTEST_SKIP() << why;
        }
        active_ = true;
        kp::reset_platform();
        kp::register_backend(kp::make_hidraw_backend());
        char tmpl[] = "/tmp/kestro-kernel-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        kp::set_drive_root(dir_);  // the trace never touches the real /kestro.log
        CloseUSB();
        SetID(MR_PID_IDTECH);
    }
    void TearDown() override {
        if (!active_) {
            return;
        }
        CloseUSB();
        readers_.clear();
        kp::detach_all_devices();
        EXPECT_EQ(kp::open_handle_count(), 0u) << "a handle or parser data block leaked";
        SetID(MR_PID_KEYBOARD);
        kp::reset_platform();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    UhidReader* make(vr::Mode mode, UhidOptions options = {}) {
        readers_.push_back(UhidReader::create(mode, options));
        return readers_.back().get();
    }
    void open(vr::Mode mode) {
        SetID(vr::product_id(mode));
        ASSERT_EQ(OpenUSB(), 0);
    }
    static std::string slot_path(int i) { return kestro::vp[i]->DevicePath; }
    // Device paths of the HID interfaces the platform enumerates now.
    static std::vector<std::string> enumerated() {
        std::vector<std::string> paths;
        GUID guid;
        HidD_GetHidGuid(&guid);
        HDEVINFO set =
            SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        for (DWORD i = 0;; ++i) {
            SP_DEVICE_INTERFACE_DATA data{};
            data.cbSize = sizeof data;
            if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, i, &data)) {
                break;
            }
            std::vector<char> buf(512, 0);
            auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buf.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, 512, nullptr, nullptr)) {
                paths.emplace_back(detail->DevicePath);
            }
        }
        SetupDiDestroyDeviceInfoList(set);
        return paths;
    }

  private:
    bool active_ = false;
    std::string dir_;
    std::vector<std::unique_ptr<UhidReader>> readers_;
};

// --- Discovery and access ---------------------------------------------------

TEST_F(KernelTest, TheReaderIsFoundByVendorAndProductIdAmongOtherDevices) {
    UhidReader* reader = make(vr::Mode::Idtech);
    UhidOptions other_maker;
    other_maker.vendor_id = 0x0A11;  // the reader's product id under another vendor id
    UhidReader* foreign = make(vr::Mode::Idtech, other_maker);
    ASSERT_TRUE(reader && foreign);

    std::vector<std::string> paths = enumerated();
    EXPECT_NE(std::find(paths.begin(), paths.end(), reader->node()), paths.end());
    EXPECT_NE(std::find(paths.begin(), paths.end(), foreign->node()), paths.end());

    open(vr::Mode::Idtech);
    EXPECT_GE(kestro::nod, 2u);
    ASSERT_EQ(kestro::hdc, 1);
    EXPECT_EQ(slot_path(0), reader->node());
    EXPECT_NE(kestro::hdr[0], INVALID_HANDLE_VALUE);
    const kestro::HidRecord* rec = kestro::hdx[0];
    EXPECT_EQ(rec->attributes.VendorID, 0x3E7A);
    EXPECT_EQ(rec->attributes.ProductID, 0x05A0);
    EXPECT_EQ(rec->caps.UsagePage, 0xFF00);
    EXPECT_EQ(rec->caps.Usage, 0x01);
    EXPECT_EQ(rec->caps.InputReportByteLength, 538);
    EXPECT_EQ(rec->caps.FeatureReportByteLength, 25);
    CloseUSB();

    // Present only under another product id: not found in the other modes.
    for (int32_t pid : {MR_PID_MAGTEK, MR_PID_KEYBOARD}) {
        SCOPED_TRACE(pid);
        SetID(pid);
        EXPECT_EQ(OpenUSB(), 2);
    }
}

TEST_F(KernelTest, KeyboardModeOpensForFeatureReportsOnly) {
    UhidReader* reader = make(vr::Mode::Keyboard);
    ASSERT_TRUE(reader);
    open(vr::Mode::Keyboard);
    ASSERT_EQ(kestro::hdc, 1);
    EXPECT_EQ(kestro::hdx[0]->caps.UsagePage, 0x01);
    EXPECT_EQ(kestro::hdx[0]->caps.Usage, 0x06);
    EXPECT_EQ(kestro::hdx[0]->caps.InputReportByteLength, 9);
    EXPECT_EQ(kestro::hdx[0]->caps.FeatureReportByteLength, 25);
    // The kernel itself would let the node be read and written...
    int fd = ::open(reader->node().c_str(), O_RDWR);
    EXPECT_GE(fd, 0) << "the kernel refused the keyboard's node";
    if (fd >= 0) {
        ::close(fd);
    }
    // ...but Windows holds keyboards for itself, and the platform keeps its
    // answer: the overlapped read/write open is refused.
    EXPECT_EQ(kestro::hdr[0], INVALID_HANDLE_VALUE);
    HANDLE h = CreateFileA(reader->node().c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    // No key pressed: a keyboard report that types nothing reaches no read.
    reader->send_input(Bytes(9, 0));
    Buffer b{};
    EXPECT_EQ(ReadData(b.data(), 20, 0), 2);
    EXPECT_EQ(ReadData1(b.data()), 2);

    // Commands go through the query handle.
    unsigned char report[MR_FEATURE_LEN];
    ASSERT_EQ(GetMrState(report), 0);
    EXPECT_EQ(report[0], 0x00);
    EXPECT_EQ(report[1], 0xB3);
    EXPECT_EQ(report[9], 1);  // keyboard mode
    EXPECT_EQ(reader->received().back(), frame({0xB3}));
}

TEST_F(KernelTest, AQueryHandleCarriesFeatureReportsButCannotRead) {
    UhidReader* reader = make(vr::Mode::Idtech);
    ASSERT_TRUE(reader);
    enumerated();  // device paths come from an enumeration
    HANDLE h = CreateFileA(reader->node().c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Bytes request = frame({0xB3});
    EXPECT_TRUE(HidD_SetFeature(h, request.data(), MR_FEATURE_LEN));
    Bytes answer = frame({0xB3});
    EXPECT_TRUE(HidD_GetFeature(h, answer.data(), MR_FEATURE_LEN));
    EXPECT_EQ(answer[0], 0x00);
    EXPECT_EQ(answer[9], 2);  // IDTECH mode
    // Shorter than the reader's 25-byte report: refused before the kernel.
    EXPECT_FALSE(HidD_SetFeature(h, request.data(), MR_FEATURE_LEN_SHORT));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    std::vector<uint8_t> buf(MR_READ_LEN);
    DWORD n = 0;
    EXPECT_FALSE(ReadFile(h, buf.data(), MR_READ_LEN, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CloseHandle(h));
}

// --- Feature reports --------------------------------------------------------

TEST_F(KernelTest, CommandFramesArriveByteForByte) {
    UhidReader* reader = make(vr::Mode::Idtech);
    ASSERT_TRUE(reader);
    open(vr::Mode::Idtech);
    const unsigned char state[MR_STATE_LEN] = {0x00, 0xFF, 0x80, 0x7F, 0x01, 0xB2, 0x00};
    const unsigned char data[5] = {0xDE, 0xAD, 0x00, 0xBE, 0xEF};
    // Passwords that pass the access check: pw1 - pw2 + idx = gtime().
    auto pw1 = [](int32_t idx) { return gtime() + 1000 - idx; };
    struct Case {
        const char* name;
        std::function<int32_t()> call;
        Bytes sent;
    };
    const Case cases[] = {
        {"SetMrStateEx", [&] { return SetMrStateEx(state); },
         frame({0xB2, 0x00, 0xFF, 0x80, 0x7F, 0x01, 0xB2, 0x00})},
        {"FlushCounter", [] { return FlushCounter(); }, frame({0xBF})},
        {"ChangeMode", [] { return ChangeMode(2); }, frame({0xBE, '2'})},
        {"UpdateStatistics", [&] { return UpdateStatistics(3, data, 5, pw1(3), 1000); },
         frame({0xE0, 3, 5, 0xDE, 0xAD, 0x00, 0xBE, 0xEF})},
        {"ResetStatistics", [&] { return ResetStatistics(3, pw1(3), 1000); }, frame({0xC0, 3})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t before = reader->received().size();
        EXPECT_EQ(c.call(), 0);
        std::vector<Bytes> got = reader->received();
        ASSERT_EQ(got.size(), before + 1);
        EXPECT_EQ(got.back(), c.sent);
    }
    EXPECT_EQ(reader->with_model([](vr::ReaderModel& m) { return m.flush_count(); }), 1u);
}

TEST_F(KernelTest, ConfigurationAndStatisticsAnswersComeBackWhole) {
    UhidReader* reader = make(vr::Mode::Magtek);
    ASSERT_TRUE(reader);
    open(vr::Mode::Magtek);
    const unsigned char state[MR_STATE_LEN] = {1, 2, 3, 4, 5, 6, 0xFF};
    ASSERT_EQ(SetMrStateEx(state), 0);
    unsigned char report[MR_FEATURE_LEN];
    std::fill(report, report + MR_FEATURE_LEN, 0xEE);
    ASSERT_EQ(GetMrState(report), 0);
    Bytes want = frame({0xB3, 1, 2, 3, 4, 5, 6, 0xFF, 3, 0xB0, 0x05, 0x00, 0x01});
    EXPECT_EQ(Bytes(report, report + MR_FEATURE_LEN), want);

    const unsigned char record[8] = {9, 8, 7, 6, 5, 4, 3, 2};
    ASSERT_EQ(UpdateStatistics(5, record, 8, gtime() + 1000 - 5, 1000), 0);
    unsigned char buf[32];
    std::fill(buf, buf + sizeof buf, 0xEE);
    ASSERT_EQ(RetrieveStatistics(5, buf, sizeof buf), 0);
    EXPECT_EQ(Bytes(buf, buf + 8), Bytes(record, record + 8));
    EXPECT_EQ(reader->received().back(), frame({0xD0, 5}));

    // A reader that fails the get answers nothing.
    reader->with_model([](vr::ReaderModel& m) { return m.faults.fail_get = true; });
    EXPECT_EQ(GetMrState(report), 3);
    EXPECT_EQ(RetrieveStatistics(5, buf, sizeof buf), 1);
}

TEST_F(KernelTest, TheShortSetConfigurationFallback) {
    struct Case {
        const char* name;
        uint16_t feature_bytes;
        int32_t result;
        std::vector<size_t> lengths_received;
    };
    // A reader whose report is 10 bytes gets both forms; one with the 25-byte
    // report gets only the long one: the platform refuses a shorter buffer,
    // as Windows does.
    const Case cases[] = {{"ten-byte report", 9, 0, {25, 10}}, {"25-byte report", 24, 5, {25}}};
    const unsigned char state[MR_STATE_LEN] = {7, 6, 5, 4, 3, 2, 1};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UhidOptions options;
        options.feature_bytes = c.feature_bytes;
        UhidReader* reader = make(vr::Mode::Idtech, options);
        ASSERT_TRUE(reader);
        reader->with_model(
            [](vr::ReaderModel& m) { return m.faults.reject_long_set_state = true; });
        open(vr::Mode::Idtech);
        ASSERT_EQ(kestro::hdc, 1);
        EXPECT_EQ(kestro::hdx[0]->caps.FeatureReportByteLength, c.feature_bytes + 1);
        EXPECT_EQ(SetMrStateEx(state), c.result);
        std::vector<Bytes> got = reader->received();
        ASSERT_EQ(got.size(), c.lengths_received.size());
        Bytes long_form = frame({0xB2, 7, 6, 5, 4, 3, 2, 1});
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i], Bytes(long_form.begin(), long_form.begin() + c.lengths_received[i]));
        }
        CloseUSB();
        reader->unplug();
    }
}

// --- Card reads -------------------------------------------------------------

TEST_F(KernelTest, ASwipeIsReadWithItsLengthInBothLayouts) {
    for (vr::Mode mode : {vr::Mode::Idtech, vr::Mode::Magtek}) {
        SCOPED_TRACE(vr::mode_name(mode));
        UhidReader* reader = make(mode);
        ASSERT_TRUE(reader);
        open(mode);

        // A card swiped before the read is waiting in the handle's queue.
        Bytes report = reader->swipe(kCard);
        ASSERT_EQ(report.size(), vr::input_report_length(mode));
        Buffer b;
        b.fill(0xEE);
        ASSERT_EQ(ReadData(b.data(), 1000, 0), 0);
        EXPECT_EQ(b, expected_buffer(report));

        // A card swiped during the wait ends it.
        reader->after(50, [reader] { reader->swipe(kCard); });
        int64_t start = kp::clock_now_ms();
        b.fill(0xEE);
        ASSERT_EQ(ReadData(b.data(), 3000, 0), 0);
        EXPECT_LT(kp::clock_now_ms() - start, 2000);
        EXPECT_EQ(b, expected_buffer(report));

        // The blocking read goes through the synchronous handle, whose own
        // queue kept both cards; a third one ends its wait.
        for (int i = 0; i < 2; ++i) {
            b.fill(0xEE);
            ASSERT_EQ(ReadData1(b.data()), 0);
            EXPECT_EQ(b, expected_buffer(report));
        }
        reader->after(50, [reader] { reader->swipe(kCard); });
        start = kp::clock_now_ms();
        b.fill(0xEE);
        ASSERT_EQ(ReadData1(b.data()), 0);
        EXPECT_GE(kp::clock_now_ms() - start, 40);
        EXPECT_EQ(b, expected_buffer(report));
        CloseUSB();
        reader->unplug();
    }
}

TEST_F(KernelTest, EveryReadHandleGetsEveryReport) {
    UhidReader* reader = make(vr::Mode::Idtech);
    ASSERT_TRUE(reader);
    enumerated();
    HANDLE h[2];
    for (HANDLE& one : h) {
        one = CreateFileA(reader->node().c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(one, INVALID_HANDLE_VALUE);
    }
    Bytes report = reader->swipe(kCard);
    for (HANDLE one : h) {
        Bytes got(MR_READ_LEN, 0xEE);
        DWORD n = 0;
        ASSERT_TRUE(ReadFile(one, got.data(), MR_READ_LEN, &n, nullptr));
        EXPECT_EQ(n, report.size());
        EXPECT_EQ(got, report);
        CloseHandle(one);
    }
}

TEST_F(KernelTest, ATimeoutLeavesNothingPending) {
    UhidReader* reader = make(vr::Mode::Idtech);
    ASSERT_TRUE(reader);
    open(vr::Mode::Idtech);
    Buffer b;
    b.fill(0xEE);
    int64_t start = kp::clock_now_ms();
    EXPECT_EQ(ReadData(b.data(), 30, 0), 3);
    int64_t took = kp::clock_now_ms() - start;
    EXPECT_GE(took, 29);
    EXPECT_LT(took, 1000);
    EXPECT_TRUE(all_zero(b));
    EXPECT_EQ(kestro::rd_f, 0);
    kp::DeviceHandle* read_handle = device_handle(kestro::hdr[0]);
    ASSERT_NE(read_handle, nullptr);
    EXPECT_TRUE(read_handle->pending.empty());
    EXPECT_NE(kestro::hov.Internal, STATUS_PENDING);

    // The next card is read whole, once.
    Bytes report = reader->swipe(kCard);
    ASSERT_EQ(ReadData(b.data(), 1000, 0), 0);
    EXPECT_EQ(b, expected_buffer(report));
    EXPECT_EQ(ReadData(b.data(), 30, 0), 3);
    EXPECT_TRUE(all_zero(b));
}

// --- Unplug and mode change -------------------------------------------------

TEST_F(KernelTest, UnplugDuringAReadEndsItAndLaterCommandsFail) {
    UhidReader* reader = make(vr::Mode::Idtech);
    ASSERT_TRUE(reader);
    open(vr::Mode::Idtech);
    reader->after(100, [reader] { reader->unplug(); });
    Buffer b;
    b.fill(0xEE);
    int64_t start = kp::clock_now_ms();
    EXPECT_EQ(ReadData(b.data(), 3000, 0), 3);
    EXPECT_LT(kp::clock_now_ms() - start, 2000) << "the read did not end with the unplug";
    EXPECT_TRUE(all_zero(b));
    EXPECT_FALSE(device_handle(kestro::hdr[0])->entry->attached);

    unsigned char report[MR_FEATURE_LEN];
    EXPECT_EQ(GetMrState(report), 3);
    const unsigned char state[MR_STATE_LEN] = {};
    EXPECT_EQ(SetMrStateEx(state), 5);
    EXPECT_EQ(ReadData(b.data(), 20, 0), 3);
    CloseUSB();
    EXPECT_EQ(OpenUSB(), 2);
}

TEST_F(KernelTest, UnplugInKeyboardModeMakesCommandsFail) {
    UhidReader* reader = make(vr::Mode::Keyboard);
    ASSERT_TRUE(reader);
    open(vr::Mode::Keyboard);
    unsigned char report[MR_FEATURE_LEN];
    ASSERT_EQ(GetMrState(report), 0);
    reader->unplug();
    EXPECT_EQ(GetMrState(report), 3);
    EXPECT_FALSE(device_handle(kestro::hd[0])->entry->attached);
    EXPECT_EQ(FlushCounter(), 1);
}

// Each mode change the reader's modes allow back into a HID mode, the
// keyboard mode's own device (a boot keyboard) leaving among them.
TEST_F(KernelTest, AModeChangeWithResetLeavesAndComesBackUnderTheNewProductId) {
    struct Case {
        vr::Mode from;
        int32_t mode;  // ChangeMode's argument, also its command's digit
        vr::Mode to;
        unsigned input_length;
    };
    const Case cases[] = {{vr::Mode::Idtech, 3, vr::Mode::Magtek, 338},
                          {vr::Mode::Keyboard, 2, vr::Mode::Idtech, 538}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(vr::mode_name(c.from)) + " to " + vr::mode_name(c.to));
        UhidReader* reader = make(c.from);
        ASSERT_TRUE(reader);
        open(c.from);
        ASSERT_EQ(ChangeMode(c.mode), 0);
        ASSERT_EQ(ResetDevice(255), 0);  // waits 1000 ms: the reader leaves and comes back
        std::vector<Bytes> got = reader->received();
        ASSERT_GE(got.size(), 2u);
        EXPECT_EQ(got[got.size() - 2], frame({0xBE, static_cast<uint8_t>('0' + c.mode)}));
        EXPECT_EQ(got.back(), frame({0xFF, 0xAA, 0xFF}));

        // The old device left: the session's handles are dead. (In keyboard
        // mode the handle reads nothing, so the first call that fails is
        // what tells the platform the device has gone.)
        unsigned char report[MR_FEATURE_LEN];
        EXPECT_EQ(GetMrState(report), 3);
        EXPECT_FALSE(device_handle(kestro::hd[0])->entry->attached);
        CloseUSB();

        EXPECT_EQ(reader->generation(), 2);
        std::string node = reader->node();
        ASSERT_FALSE(node.empty()) << "the reader did not come back";
        SetID(vr::product_id(c.from));
        EXPECT_EQ(OpenUSB(), 2);
        open(c.to);
        ASSERT_EQ(kestro::hdc, 1);
        EXPECT_EQ(slot_path(0), node);
        EXPECT_EQ(kestro::hdx[0]->caps.InputReportByteLength, c.input_length);
        ASSERT_EQ(GetMrState(report), 0);
        EXPECT_EQ(report[9], c.mode);
        EXPECT_EQ(report[10] + 256 * report[11], vr::product_id(c.to));
        CloseUSB();
        reader->unplug();
    }
}

// --- The kestro command ----------------------------------------------------

struct CommandRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Starts the kestro command named by KESTRO_COMMAND_PROGRAM with `args`, as
// user and group `uid` (when not -1), its output kept in `dir` under `tag`.
pid_t start_command(const std::string& dir, const std::vector<std::string>& args, int uid = -1,
                    const std::string& tag = "command") {
    const std::string out = dir + "/" + tag + ".out";
    const std::string err = dir + "/" + tag + ".err";
    std::vector<std::string> argv{getenv("KESTRO_COMMAND_PROGRAM")};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& a : argv) {
        raw.push_back(&a[0]);
    }
    raw.push_back(nullptr);
    const int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out_fd, 1);
        dup2(err_fd, 2);
        if (uid != -1 && (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0)) {
            _exit(120);
        }
        execv(raw[0], raw.data());
        _exit(121);
    }
    close(out_fd);
    close(err_fd);
    return pid;
}

std::string file_text(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Waits for a command started with `tag` and collects its output.
CommandRun finish_command(const std::string& dir, pid_t pid, const std::string& tag = "command") {
    CommandRun r;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        r.status = WEXITSTATUS(status);
    }
    r.out = file_text(dir + "/" + tag + ".out");
    r.err = file_text(dir + "/" + tag + ".err");
    return r;
}

CommandRun run_command(const std::string& dir, const std::vector<std::string>& args, int uid = -1) {
    return finish_command(dir, start_command(dir, args, uid));
}

// Whether process `pid` has its session open on `node` within `ms` (real
// time): two open files of the node, the session's handle and its read
// handle. One alone is only discovery looking at the node's attributes; a
// reader taken away then is never seen by the session at all.
bool holds_open(pid_t pid, const std::string& node, int ms) {
    const int64_t until = kp::clock_now_ms() + ms;
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    for (;;) {
        std::error_code ec;
        int held = 0;
        for (const auto& fd : std::filesystem::directory_iterator(fds, ec)) {
            if (std::filesystem::read_symlink(fd.path(), ec) == node) {
                ++held;
            }
        }
        if (held >= 2) {
            return true;
        }
        if (kp::clock_now_ms() >= until) {
            return false;
        }
        usleep(10000);
    }
}

// Whether a started command's stderr holds `text` within `ms` (real time).
bool command_said(const std::string& dir, const std::string& tag, const std::string& text, int ms) {
    const int64_t until = kp::clock_now_ms() + ms;
    while (file_text(dir + "/" + tag + ".err").find(text) == std::string::npos) {
        if (kp::clock_now_ms() >= until) {
            return false;
        }
        usleep(10000);
    }
    return true;
}

class KestroCommandKernelTest : public KernelTest {
  protected:
    void SetUp() override {
        KernelTest::SetUp();
        if (!IsSkipped() && getenv("KESTRO_COMMAND_PROGRAM") == nullptr) {
            GTEST_SKIP() << "KESTRO_COMMAND_PROGRAM names no kestro command";
        }
        char tmpl[] = "/tmp/kestro-command-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        ASSERT_EQ(chmod(tmpl, 0777), 0);  // another user writes its output here
        dir_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        KernelTest::TearDown();
    }
    std::string dir_;
};

TEST_F(KestroCommandKernelTest, ListReadAndModeOnAUhidReaderThenANodeThisUserCannotOpen) {
    UhidReader* reader = make(vr::Mode::Idtech);
    ASSERT_TRUE(reader);
    const std::string node = reader->node();
    ASSERT_FALSE(node.empty());

    CommandRun list = run_command(dir_, {"list"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("hidraw   " + node), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("USB/HID IDTECH (05A0)  can open"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("answers  USB/HID IDTECH (05A0)"), std::string::npos) << list.out;

    // Swipes keep coming while the command waits: one before it opened the
    // reader is not seen, a later one is.
    // They stop once it has read one.
    auto reading = std::make_shared<std::atomic<bool>>(true);
    for (int i = 1; i <= 40; ++i) {
        reader->after(100 * i, [reader, reading] {
            if (*reading) {
                reader->swipe(kCard);
            }
        });
    }
    CommandRun read = run_command(dir_, {"read", "--timeout", "5000"});
    *reading = false;
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_NE(read.out.find("track 1: ok, length 52\ntrack 2: ok, length 36\n"
                            "track 3: ok, length 0\n"
                            "%B411111******1111^***********^3012101*************?\n"),
              std::string::npos)
        << read.out;

    CommandRun mode = run_command(dir_, {"mode", "magtek"});
    EXPECT_EQ(mode.status, 0) << mode.err;
    EXPECT_EQ(mode.out, "USB/HID MAGTEK (05B0)\n");
    EXPECT_EQ(reader->product_id(), MR_PID_MAGTEK);

    // The node as a stricter system leaves it: root's alone.
    const std::string magtek_node = reader->node();
    ASSERT_FALSE(magtek_node.empty());
    ASSERT_EQ(chown(magtek_node.c_str(), 0, 0), 0);
    ASSERT_EQ(chmod(magtek_node.c_str(), 0600), 0);
    CommandRun denied = run_command(dir_, {"list"}, 65534);
    EXPECT_EQ(denied.status, 2) << denied.out << denied.err;
    EXPECT_NE(denied.out.find(magtek_node + " "), std::string::npos) << denied.out;
    EXPECT_NE(denied.out.find("cannot open: Permission denied (owner "), std::string::npos)
        << denied.out;
    EXPECT_NE(denied.out.find(", mode 0600)"), std::string::npos) << denied.out;
    EXPECT_NE(denied.err.find(magtek_node + " is a card reader this user cannot open"),
              std::string::npos)
        << denied.err;
    EXPECT_NE(denied.err.find("70-kestro-reader.rules"), std::string::npos) << denied.err;
    EXPECT_NE(denied.err.find("no reader answers that this user can open"), std::string::npos)
        << denied.err;
}

// kestro read while the reader leaves: a mode change made by another
// program takes it away and brings it back as MAGTEK, where the command reads
// on; unplugged for good, it ends with 2 at its time-out.
TEST_F(KestroCommandKernelTest, ReadFollowsTheReaderAwayAndBackThenGivesUpWhenItStaysAway) {
    UhidReader* reader = make(vr::Mode::Idtech);
    ASSERT_TRUE(reader);
    const std::string node = reader->node();
    ASSERT_FALSE(node.empty());
    const pid_t reading = start_command(dir_, {"read", "--timeout", "15000"}, -1, "follow");
    EXPECT_TRUE(holds_open(reading, node, 5000));
    open(vr::Mode::Idtech);
    ASSERT_EQ(ChangeMode(3), 0);
    ASSERT_EQ(ResetDevice(255), 0);
    CloseUSB();
    EXPECT_TRUE(command_said(dir_, "follow", "the reader has left", 5000));
    EXPECT_TRUE(command_said(dir_, "follow", "the reader is back in USB/HID MAGTEK", 5000));
    auto reading_on = std::make_shared<std::atomic<bool>>(true);
    for (int i = 0; i < 40; ++i) {
        reader->after(100 * i, [reader, reading_on] {
            if (*reading_on) {
                reader->swipe(kCard);
            }
        });
    }
    CommandRun read = finish_command(dir_, reading, "follow");
    *reading_on = false;
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_NE(read.out.find("track 2: ok, length 36\n"), std::string::npos) << read.out;
    EXPECT_NE(read.out.find(";411111******1111=3012101**********?\n"), std::string::npos)
        << read.out;

    const std::string magtek_node = reader->node();
    const pid_t waiting = start_command(dir_, {"read", "--timeout", "2000"}, -1, "gone");
    EXPECT_TRUE(holds_open(waiting, magtek_node, 5000));
    reader->unplug();
    CommandRun gone = finish_command(dir_, waiting, "gone");
    EXPECT_EQ(gone.status, 2) << gone.out << gone.err;
    EXPECT_NE(gone.err.find("kestro: the reader has left; waiting for it to come back\n"
                            "kestro: the reader left and was not back within 2000 ms\n"),
              std::string::npos)
        << gone.err;
}

}  // namespace
}  // namespace kernel_test
