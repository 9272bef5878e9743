#include "uhid_reader.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace kernel_test {
namespace {

constexpr uint16_t kBusUsb = 0x03;
constexpr int64_t kLeaveDelayMs = 50;  // a reset is acknowledged before the reader leaves

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string read_text(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void put_count(std::vector<uint8_t>* d, size_t count) {
    // Report Count with a 2-byte value: the card reports exceed 255 bytes.
    d->insert(d->end(),
              {0x96, static_cast<uint8_t>(count & 0xFF), static_cast<uint8_t>(count >> 8)});
}

std::atomic<int> next_uniq{1};

}  // namespace

std::string uhid_unavailable() {
    int fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return std::string("/dev/uhid cannot be opened (") + std::strerror(errno) +
               "); scripts/kernel-test.sh runs these tests in a virtual machine";
    }
    ::close(fd);
    return std::string();
}

std::vector<uint8_t> reader_descriptor(vr::Mode mode, uint16_t feature_bytes) {
    std::vector<uint8_t> d;
    if (mode == vr::Mode::Keyboard) {
        d = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,  // generic desktop, keyboard, application
             0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01,
             0x95, 0x08, 0x81, 0x02,              // modifier bits
             0x95, 0x01, 0x75, 0x08, 0x81, 0x01,  // reserved byte
             0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02,  // LEDs
             0x95, 0x01, 0x75, 0x03, 0x91, 0x01,                                      // LED padding
             0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x05, 0x07, 0x19,
             0x00, 0x2A, 0xFF, 0x00, 0x81, 0x00};  // six key codes
    } else {
        d = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,  // vendor page, usage 1, application
             0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x09, 0x20};
        put_count(&d, vr::input_report_length(mode) - 1);
        d.insert(d.end(), {0x81, 0x02});  // input: the card report
    }
    d.insert(d.end(), {0x06, 0x00, 0xFF, 0x09, 0x21, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08});
    put_count(&d, feature_bytes);
    d.insert(d.end(), {0xB1, 0x02, 0xC0});  // feature: the command frame; end collection
    return d;
}

std::unique_ptr<UhidReader> UhidReader::create(vr::Mode mode, UhidOptions options) {
    int fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        ADD_FAILURE() << "/dev/uhid: " << std::strerror(errno);
        return nullptr;
    }
    std::string uniq =
        "kestro-test-" + std::to_string(::getpid()) + "-" + std::to_string(next_uniq.fetch_add(1));
    std::unique_ptr<UhidReader> r(new UhidReader(fd, mode, options, uniq));
    {
        std::lock_guard<std::mutex> lock(r->model_mutex_);
        if (!r->create_device()) {
            ADD_FAILURE() << "UHID_CREATE2 failed: " << std::strerror(errno);
            return nullptr;
        }
    }
    r->thread_ = std::thread([p = r.get()] { p->run(); });
    if (r->node().empty()) {
        ADD_FAILURE() << "no hidraw node appeared for " << uniq
                      << " (are hid-generic and hidraw there?)";
        return nullptr;
    }
    return r;
}

UhidReader::UhidReader(int fd, vr::Mode mode, UhidOptions options, std::string uniq)
    : fd_(fd),
      wake_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      options_(options),
      uniq_(std::move(uniq)),
      model_(mode) {}

UhidReader::~UhidReader() {
    {
        std::lock_guard<std::mutex> lock(timer_mutex_);
        stopping_ = true;
    }
    wake();
    if (thread_.joinable()) {
        thread_.join();
    }
    destroy_device();
    ::close(fd_);
    ::close(wake_fd_);
}

bool UhidReader::write_event(const void* event) {
    std::lock_guard<std::mutex> lock(write_mutex_);
    return ::write(fd_, event, sizeof(uhid_event)) == static_cast<ssize_t>(sizeof(uhid_event));
}

// Called with the model locked.
bool UhidReader::create_device() {
    auto ev = std::make_unique<uhid_event>();
    std::memset(ev.get(), 0, sizeof *ev);
    ev->type = UHID_CREATE2;
    auto& c = ev->u.create2;
    std::snprintf(reinterpret_cast<char*>(c.name), sizeof c.name, "Kestro test reader %04x:%04x",
                  options_.vendor_id, model_.product_id());
    std::snprintf(reinterpret_cast<char*>(c.phys), sizeof c.phys, "kestro-test");
    std::snprintf(reinterpret_cast<char*>(c.uniq), sizeof c.uniq, "%s", uniq_.c_str());
    std::vector<uint8_t> rd = reader_descriptor(model_.mode(), options_.feature_bytes);
    std::memcpy(c.rd_data, rd.data(), rd.size());
    c.rd_size = static_cast<uint16_t>(rd.size());
    c.bus = kBusUsb;
    c.vendor = options_.vendor_id;
    c.product = model_.product_id();
    c.version = vr::kVersion;
    if (!write_event(ev.get())) {
        return false;
    }
    created_ = true;
    ++generation_;
    return true;
}

void UhidReader::destroy_device() {
    if (!created_) {
        return;
    }
    uhid_event ev;
    std::memset(&ev, 0, sizeof ev);
    ev.type = UHID_DESTROY;
    write_event(&ev);
    created_ = false;
}

std::string UhidReader::node(int wait_ms) {
    char pid[16];
    std::snprintf(pid, sizeof pid, ":%08X\n", product_id());
    const std::string want_uniq = "HID_UNIQ=" + uniq_ + "\n";
    int64_t deadline = now_ms() + wait_ms;
    for (;;) {
        if (DIR* d = ::opendir("/sys/class/hidraw")) {
            std::string found;
            while (dirent* e = ::readdir(d)) {
                if (std::strncmp(e->d_name, "hidraw", 6) != 0) {
                    continue;
                }
                std::string uevent =
                    read_text(std::string("/sys/class/hidraw/") + e->d_name + "/device/uevent");
                if (uevent.find(want_uniq) != std::string::npos &&
                    uevent.find(pid) != std::string::npos) {
                    found = std::string("/dev/") + e->d_name;
                }
            }
            ::closedir(d);
            if (!found.empty() && ::access(found.c_str(), F_OK) == 0) {
                return found;
            }
        }
        if (now_ms() >= deadline) {
            return std::string();
        }
        ::usleep(5000);
    }
}

uint16_t UhidReader::product_id() {
    std::lock_guard<std::mutex> lock(model_mutex_);
    return model_.product_id();
}

void UhidReader::send_input(const std::vector<uint8_t>& report) {
    if (report.size() < 2) {
        return;
    }
    auto ev = std::make_unique<uhid_event>();
    std::memset(ev.get(), 0, sizeof *ev);
    ev->type = UHID_INPUT2;
    // The report is unnumbered: on the bus it has no id byte.
    ev->u.input2.size = static_cast<uint16_t>(report.size() - 1);
    std::memcpy(ev->u.input2.data, report.data() + 1, report.size() - 1);
    EXPECT_TRUE(write_event(ev.get())) << "UHID_INPUT2: " << std::strerror(errno);
}

std::vector<uint8_t> UhidReader::swipe(const vr::Track tracks[3]) {
    std::vector<uint8_t> report =
        with_model([&](vr::ReaderModel& m) { return m.swipe_report(tracks); });
    send_input(report);
    return report;
}

void UhidReader::unplug() {
    std::lock_guard<std::mutex> lock(model_mutex_);
    destroy_device();
}

void UhidReader::after(int64_t ms, std::function<void()> action) {
    {
        std::lock_guard<std::mutex> lock(timer_mutex_);
        timers_.emplace(now_ms() + ms, std::move(action));
    }
    wake();
}

std::vector<std::vector<uint8_t>> UhidReader::received() {
    return with_model([](vr::ReaderModel& m) { return m.received; });
}

int UhidReader::generation() {
    std::lock_guard<std::mutex> lock(model_mutex_);
    return generation_;
}

void UhidReader::wake() {
    uint64_t one = 1;
    (void)!::write(wake_fd_, &one, sizeof one);
}

void UhidReader::run() {
    for (;;) {
        std::function<void()> due;
        int timeout = -1;
        {
            std::lock_guard<std::mutex> lock(timer_mutex_);
            if (stopping_) {
                return;
            }
            if (!timers_.empty()) {
                int64_t left = timers_.begin()->first - now_ms();
                if (left <= 0) {
                    due = std::move(timers_.begin()->second);
                    timers_.erase(timers_.begin());
                } else {
                    timeout = static_cast<int>(left);
                }
            }
        }
        if (due) {
            due();
            continue;
        }
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0) {
            continue;
        }
        if (fds[1].revents != 0) {
            uint64_t n;
            (void)!::read(wake_fd_, &n, sizeof n);
        }
        if (fds[0].revents & POLLIN) {
            handle_event();
        }
    }
}

void UhidReader::handle_event() {
    auto ev = std::make_unique<uhid_event>();
    if (::read(fd_, ev.get(), sizeof *ev) <= 0) {
        return;
    }
    auto reply = std::make_unique<uhid_event>();
    std::memset(reply.get(), 0, sizeof *reply);
    if (ev->type == UHID_GET_REPORT) {
        reply->type = UHID_GET_REPORT_REPLY;
        auto& r = reply->u.get_report_reply;
        r.id = ev->u.get_report.id;
        bool ok = false;
        if (ev->u.get_report.rtype == UHID_FEATURE_REPORT) {
            // The answer goes back with its report id 0 first, as the
            // kernel copies it to the caller verbatim.
            r.size = static_cast<uint16_t>(options_.feature_bytes + 1);
            std::lock_guard<std::mutex> lock(model_mutex_);
            ok = model_.get_feature(r.data, r.size);
        }
        r.err = ok ? 0 : EIO;
        write_event(reply.get());
        return;
    }
    if (ev->type == UHID_SET_REPORT) {
        reply->type = UHID_SET_REPORT_REPLY;
        reply->u.set_report_reply.id = ev->u.set_report.id;
        bool ok = false;
        vr::Effect effect = vr::Effect::None;
        if (ev->u.set_report.rtype == UHID_FEATURE_REPORT) {
            std::lock_guard<std::mutex> lock(model_mutex_);
            size_t size = std::min<size_t>(ev->u.set_report.size, UHID_DATA_MAX);
            ok = model_.set_feature(ev->u.set_report.data, size, &effect);
        }
        reply->u.set_report_reply.err = ok ? 0 : EIO;
        write_event(reply.get());
        if (ok && effect == vr::Effect::Restart) {
            // The reader acknowledges, leaves the bus, and comes back in its
            // new mode once it has restarted.
            after(kLeaveDelayMs, [this] { unplug(); });
            after(kLeaveDelayMs + options_.restart_ms, [this] {
                std::lock_guard<std::mutex> lock(model_mutex_);
                model_.restart();
                EXPECT_TRUE(create_device()) << "UHID_CREATE2 after the restart";
            });
        }
        return;
    }
    // UHID_START, UHID_OPEN, UHID_CLOSE, UHID_OUTPUT (keyboard LEDs): nothing to do.
}

}  // namespace kernel_test
