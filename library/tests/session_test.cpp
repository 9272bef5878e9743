// Discovery, open and close: slots, access, state changes and the session's
// trace block.
#include <string>
#include <vector>

#include "fixture.h"
#include "trace.h"

using namespace kestro_test;
using kestro::hd;
using kestro::hdc;
using kestro::hdi;
using kestro::hdr;
using kestro::hdx;
using kestro::nod;

namespace {

std::string record_hex(uint32_t i) {
    return hex8(kestro::table_record(&kestro::myHidDevices, i));
}

using SessionTest = LibraryTest;

TEST_F(SessionTest, AdmitsMatchingInterfacesAsSlotsInEnumerationOrder) {
    kp::attach_device(vr::make_mouse());
    auto first = plug(vr::Mode::Idtech);
    kp::attach_device(vr::make_foreign_device(0x1111, MR_PID_IDTECH));
    auto magtek = plug(vr::Mode::Magtek);
    auto second = plug(vr::Mode::Idtech);

    ASSERT_EQ(OpenUSB(), 0);
    EXPECT_EQ(nod, 5u);
    ASSERT_EQ(hdc, 2);
    EXPECT_EQ(kestro::hxc, 2);
    EXPECT_EQ(kestro::vpc, 2);
    EXPECT_EQ(std::string(kestro::vp[0]->DevicePath), first->path());
    EXPECT_EQ(std::string(kestro::vp[1]->DevicePath), second->path());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(hdi[i], MR_PID_IDTECH);
        EXPECT_EQ(hdx[i]->handle, hd[i]);
        EXPECT_EQ(hdx[i]->attributes.VendorID, MR_VID);
        EXPECT_EQ(hdx[i]->caps.InputReportByteLength, 538);
        EXPECT_NE(hdr[i], INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(hdx[0], kestro::table_record(&kestro::myHidDevices, 1));
    EXPECT_EQ(hdx[1], kestro::table_record(&kestro::myHidDevices, 4));
    // Skipped interfaces keep nothing open: 2 slots x 2 handles + the event.
    EXPECT_EQ(kp::open_handle_count(), 2u * 2u + 2u + 1u);
}

TEST_F(SessionTest, OpensWithoutAccessInKeyboardModeAndReadWriteOtherwise) {
    struct Case {
        vr::Mode mode;
        const char* access;
        bool read_handle;
    };
    for (const Case& c : {Case{vr::Mode::Keyboard, "acc=0,", false},
                          Case{vr::Mode::Idtech, "acc=3221225472,", true},
                          Case{vr::Mode::Magtek, "acc=3221225472,", true}}) {
        auto reader = plug(c.mode);
        enable_trace();
        SetID(pid_of(c.mode));
        ASSERT_EQ(OpenUSB(), 0);
        EXPECT_NE(trace_text().find(c.access), std::string::npos) << trace_text();
        ASSERT_EQ(hdc, 1);
        // The keyboard-mode reader refuses the overlapped read/write open.
        EXPECT_EQ(hdr[0] != INVALID_HANDLE_VALUE, c.read_handle);
        CloseUSB();
        reader->unplug();
    }
}

TEST_F(SessionTest, InterfaceRefusingTheAccessIsSkippedButCounted) {
    kp::attach_device(vr::make_system_keyboard());
    auto refusing = plug(vr::Mode::Idtech);
    refusing->open_faults.refuse_read_write = true;
    auto good = plug(vr::Mode::Idtech);
    ASSERT_EQ(OpenUSB(), 0);
    EXPECT_EQ(nod, 3u);
    ASSERT_EQ(hdc, 1);
    EXPECT_EQ(std::string(kestro::vp[0]->DevicePath), good->path());
}

TEST_F(SessionTest, DiscoveryFaultsSkipTheInterfaceAndReleaseEverything) {
    struct Case {
        const char* name;
        void (*apply)(vr::OpenFaults&);
    };
    const Case cases[] = {
        {"query access refused", [](vr::OpenFaults& f) { f.refuse_query = true; }},
        {"parser data", [](vr::OpenFaults& f) { f.fail_preparsed = true; }},
        {"attributes", [](vr::OpenFaults& f) { f.fail_attributes = true; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetID(MR_PID_KEYBOARD);
        auto reader = plug(vr::Mode::Keyboard);
        c.apply(reader->open_faults);
        EXPECT_EQ(OpenUSB(), 2);
        EXPECT_EQ(nod, 0u);
        EXPECT_EQ(hdc, 0);
        EXPECT_EQ(kp::open_handle_count(), 0u);
        reader->unplug();
    }
}

TEST_F(SessionTest, FailedOverlappedOpenStillAdmitsTheSlot) {
    auto reader = plug(vr::Mode::Idtech);
    reader->open_faults.refuse_overlapped = true;
    ASSERT_EQ(OpenUSB(), 0);
    ASSERT_EQ(hdc, 1);
    EXPECT_NE(hd[0], nullptr);
    EXPECT_EQ(hdr[0], INVALID_HANDLE_VALUE);
}

TEST_F(SessionTest, SecondOpenReturnsOneAndChangesNothing) {
    auto reader = plug(vr::Mode::Idtech);
    enable_trace();
    ASSERT_EQ(OpenUSB(), 0);
    std::string before = trace_text();
    HANDLE slot0 = hd[0];
    SetID(MR_PID_MAGTEK);
    plug(vr::Mode::Magtek);
    EXPECT_EQ(OpenUSB(), 1);
    EXPECT_EQ(trace_text(), before);
    EXPECT_EQ(hdc, 1);
    EXPECT_EQ(hd[0], slot0);
    EXPECT_EQ(hdi[0], MR_PID_IDTECH);
    // The open session's slots no longer match the selected product id.
    EXPECT_FALSE(kestro::matched_slot(0));
}

TEST_F(SessionTest, NoReaderLeavesTheStateAsBeforeAndALaterOpenStartsOver) {
    kp::attach_device(vr::make_mouse());
    auto reader = plug(vr::Mode::Magtek);  // present, but in another mode
    size_t handles = kp::open_handle_count();
    EXPECT_EQ(OpenUSB(), 2);
    EXPECT_EQ(nod, 0u);
    EXPECT_EQ(hdc, 0);
    EXPECT_EQ(kestro::myHidDevices.capacity, 0u);
    EXPECT_EQ(kestro::hov.hEvent, nullptr);
    EXPECT_EQ(kp::open_handle_count(), handles);

    kp::detach_all_devices();
    EXPECT_EQ(OpenUSB(), 2);  // no HID interface at all

    plug(vr::Mode::Idtech);
    EXPECT_EQ(OpenUSB(), 0);
    EXPECT_EQ(hdc, 1);
}

TEST_F(SessionTest, SetIdZeroKeepsThePidAndOtherValuesAreStoredUnchanged) {
    plug(vr::Mode::Idtech);
    EXPECT_EQ(SetID(0), 0);
    EXPECT_EQ(kestro::Pid, MR_PID_IDTECH);
    for (int32_t pid : {-1, -5, 0x10000, 0x7FFFFFFF, MR_PID_IDTECH | 0x10000}) {
        EXPECT_EQ(SetID(pid), 0);
        EXPECT_EQ(kestro::Pid, pid);
        EXPECT_EQ(OpenUSB(), 2) << pid;
    }
    enable_trace();
    SetID(-5);
    EXPECT_EQ(OpenUSB(), 2);
    EXPECT_NE(trace_text().find("Pid=fffffffb "), std::string::npos);
}

TEST_F(SessionTest, CloseWithoutSessionReturnsZeroAndCloseResetsEverything) {
    EXPECT_EQ(CloseUSB(), 0);
    EXPECT_EQ(CloseKestro(), 0);
    plug(vr::Mode::Idtech);
    ASSERT_EQ(OpenKestro(), 0);
    EXPECT_EQ(CloseKestro(), 0);
    EXPECT_EQ(nod, 0u);
    EXPECT_EQ(hdc, 0);
    EXPECT_EQ(kestro::hxc, 0);
    EXPECT_EQ(kestro::vpc, 0);
    EXPECT_EQ(hdr[0], INVALID_HANDLE_VALUE);
    EXPECT_EQ(hdx[0], nullptr);
    EXPECT_EQ(kestro::vp[0], nullptr);
    EXPECT_EQ(kestro::fdd, INVALID_HANDLE_VALUE);
    EXPECT_EQ(kp::open_handle_count(), 0u);
}

TEST_F(SessionTest, GrowingTableKeepsEverySlotsRecordValid) {
    // 40 interfaces grow the table from 8 to 16, 32 and 64 records.
    std::vector<std::shared_ptr<vr::InProcessReader>> readers;
    for (int i = 0; i < 40; ++i) {
        if (i % 3 == 1) {
            kp::attach_device(vr::make_mouse());
        } else {
            readers.push_back(plug(vr::Mode::Idtech));
        }
    }
    ASSERT_EQ(OpenUSB(), 0);
    EXPECT_EQ(nod, 40u);
    EXPECT_EQ(kestro::myHidDevices.capacity, 64u);
    ASSERT_EQ(hdc, static_cast<int32_t>(readers.size()));
    for (int i = 0; i < hdc; ++i) {
        EXPECT_EQ(hdx[i]->handle, hd[i]);
        EXPECT_EQ(hdx[i]->attributes.ProductID, MR_PID_IDTECH);
        EXPECT_EQ(std::string(kestro::vp[i]->DevicePath), readers[i]->path());
    }
}

TEST_F(SessionTest, MatchingInterfacesBeyondTheSlotLimitAreNotAdmitted) {
    std::vector<std::shared_ptr<vr::InProcessReader>> readers;
    for (int i = 0; i < MR_MAX_SLOTS + 2; ++i) {
        readers.push_back(plug(vr::Mode::Idtech));
    }
    ASSERT_EQ(OpenUSB(), 0);
    EXPECT_EQ(nod, static_cast<uint32_t>(MR_MAX_SLOTS + 2));
    EXPECT_EQ(hdc, MR_MAX_SLOTS);
    EXPECT_EQ(std::string(kestro::vp[MR_MAX_SLOTS - 1]->DevicePath),
              readers[MR_MAX_SLOTS - 1]->path());
    // Two handles and a parser data block per slot, and the event; nothing is
    // kept for the two extra interfaces.
    EXPECT_EQ(kp::open_handle_count(), 3u * MR_MAX_SLOTS + 1u);
}

TEST_F(SessionTest, WritesTheWholeBlockOfASuccessfulSession) {
    auto keyboard = vr::make_system_keyboard();
    std::string kb_path = kp::attach_device(keyboard);
    auto reader = plug(vr::Mode::Idtech);
    enable_trace();
    ASSERT_EQ(OpenUSB(), 0);
    std::string r0 = record_hex(0), r1 = record_hex(1);
    ASSERT_EQ(CloseUSB(), 0);

    // Handles: 4 the trace file, 8 the device set (closed before the event
    // takes its value), 12 and 16 the reader's two handles.
    std::string expected =
        std::string("\r\n\n Kestro-------------------- ") + kTimeText + "\r\n --> " + kb_path +
        " \r\n hxc=0, hdx=" + r0 + ", hd=FFFFFFFF, acc=3221225472, vid=0, pid=0 " + "\r\n --> " +
        reader->path() + " \r\n hxc=0, hdx=" + r1 + ", hd=0000000C, acc=3221225472, vid=0, pid=0 " +
        "\r\n hxc=0, hdx=" + r1 + ", hd=0000000C, hdr=00000010, vid=3e7a, pid=5a0 " +
        "\r\n hdc=1, hxc=1, vpc=1, nod=2, Pid=5a0 \r\n" + " myHidDev[0]=" + r0 + " \r\n" +
        " myHidDev[1]=" + r1 + " \r\n" + "\r\n hev=00000008, lerr=0 \r\n" +
        "\r\n hxc=1, nod=2 \r\n" + "\r\n ==========================  \r\n\r\n";
    EXPECT_EQ(trace_text(), expected);
}

TEST_F(SessionTest, WritesTheBlockOfAFailedOpenAndAppendsPerSession) {
    std::string mouse_path = kp::attach_device(vr::make_mouse());
    enable_trace();
    ASSERT_EQ(OpenUSB(), 2);
    // The records are gone after the failed open; the block names one.
    std::string block = trace_text();
    std::string head = std::string("\r\n\n Kestro-------------------- ") + kTimeText + "\r\n --> " +
                       mouse_path + " \r\n hxc=0, hdx=";
    ASSERT_EQ(block.compare(0, head.size(), head), 0) << block;
    std::string rec = block.substr(head.size(), 8);
    std::string expected = head + rec +
                           ", hd=FFFFFFFF, acc=3221225472, vid=0, pid=0 "
                           "\r\n hdc=0, hxc=0, vpc=0, nod=1, Pid=5a0 \r\n"
                           " myHidDev[0]=" +
                           rec +
                           " \r\n"
                           "\r\n hxc=0, nod=1 \r\n"
                           "\r\n ==========================  \r\n\r\n";
    EXPECT_EQ(block, expected);

    kp::clock_advance(61000);
    ASSERT_EQ(OpenUSB(), 2);
    std::string second = trace_text().substr(block.size());
    std::string banner = "\r\n\n Kestro-------------------- Mon Dec  7 13:42:03 2026\n";
    EXPECT_EQ(second.substr(0, banner.size()), banner) << second;
}

TEST_F(SessionTest, TraceIsNeverCreatedAndNothingIsWrittenOutsideASession) {
    plug(vr::Mode::Idtech);
    ASSERT_EQ(OpenUSB(), 0);
    CloseUSB();
    EXPECT_FALSE(trace_exists());

    enable_trace();
    ASSERT_EQ(OpenUSB(), 0);
    std::string during = trace_text();
    EXPECT_EQ(OpenUSB(), 1);
    EXPECT_EQ(trace_text(), during);
    CloseUSB();
    std::string closed = trace_text();
    EXPECT_EQ(CloseUSB(), 0);
    EXPECT_EQ(SetID(MR_PID_MAGTEK), 0);
    EXPECT_EQ(gtime(), kEpoch);
    EXPECT_EQ(trace_text(), closed);
}

TEST_F(SessionTest, ALongDevicePathIsShortenedToFitTheLineBuffer) {
    std::string long_path = "\\\\?\\hid#" + std::string(400, 'x');
    auto reader = vr::InProcessReader::plug_new(vr::Mode::Idtech);
    reader->unplug();
    kp::attach_device(reader, long_path);
    enable_trace();
    ASSERT_EQ(OpenUSB(), 0);
    std::string text = trace_text();
    size_t start = text.find("\r\n --> ");
    size_t end = text.find("pid=0 ", start);
    ASSERT_NE(end, std::string::npos) << "the entry lost its tail";
    size_t entry = end + 6 - start;
    EXPECT_EQ(entry, 255u);
    EXPECT_NE(text.find(std::string(150, 'x')), std::string::npos);
    EXPECT_EQ(std::string(kestro::vp[0]->DevicePath), long_path);
}

TEST_F(SessionTest, GtimeFollowsTheClock) {
    EXPECT_EQ(gtime(), kEpoch);
    kp::clock_advance(2500);
    EXPECT_EQ(gtime(), kEpoch + 2);
}

}  // namespace
