#include "hidraw_device.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "kp/winapi.h"

namespace kp {
namespace {

// Largest report the kernel hands over (HID_MAX_BUFFER_SIZE); reads use a
// buffer of this size so that no report is ever cut short, and feature
// requests never ask for more.
constexpr size_t kMaxReport = 16384;

uint32_t open_failure(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return ERROR_FILE_NOT_FOUND;
        default:
            return ERROR_GEN_FAILURE;
    }
}

bool node_gone(int error) {
    return error == ENODEV || error == ENXIO || error == ESHUTDOWN || error == ENOENT;
}

}  // namespace

uint32_t HidrawDevice::open_error(uint32_t access, bool) const {
    // Windows holds keyboards and mice for itself: only a query open (access
    // 0) gets through. The kernel would let the node be read; the library
    // and its trace must mean the same on every system.
    if (info_.exclusive && access != 0) {
        return ERROR_ACCESS_DENIED;
    }
    return 0;
}

std::unique_ptr<DeviceChannel> HidrawDevice::open_channel(uint32_t access, bool, InputSink sink,
                                                          uint32_t* error) {
    *error = 0;
    const int flags = O_CLOEXEC | O_NONBLOCK;
    const bool reads = (access & GENERIC_READ) != 0;
    const bool writes = (access & GENERIC_WRITE) != 0;
    int fd = -1;
    if (reads || writes) {
        fd = ::open(node_.c_str(), (reads && writes ? O_RDWR
                                    : reads         ? O_RDONLY
                                                    : O_WRONLY) |
                                       flags);
    } else {
        // A query open: feature reports still go through it, so take the
        // widest file the node allows (the ioctls need no particular mode).
        for (int mode : {O_RDWR, O_RDONLY, O_WRONLY}) {
            fd = ::open(node_.c_str(), mode | flags);
            if (fd >= 0 || (errno != EACCES && errno != EPERM)) {
                break;
            }
        }
        if (fd < 0 && (errno == EACCES || errno == EPERM)) {
            // As on Windows, the query open succeeds; its feature reports
            // fail with access denied.
            return std::make_unique<HidrawChannel>(shared_from_this(), -1, info_, std::move(sink),
                                                   false);
        }
    }
    if (fd < 0) {
        int e = errno;
        *error = open_failure(e);
        if (node_gone(e)) {
            gone();
        }
        return nullptr;
    }
    return std::make_unique<HidrawChannel>(shared_from_this(), fd, info_, std::move(sink), reads);
}

void HidrawDevice::gone() {
    detach_device(this);
}

HidrawChannel::HidrawChannel(std::weak_ptr<HidrawDevice> device, int fd, const HidrawNodeInfo& info,
                             InputSink sink, bool watch)
    : device_(std::move(device)),
      fd_(fd),
      numbered_(info.numbered),
      feature_length_(info.identity.feature_report_length),
      sink_(std::move(sink)) {
    if (watch && fd_ >= 0) {
        buffer_.resize(kMaxReport + 1);
        poll_id_ = add_poll_source(fd_, [this] { pump(); });
        watched_ = true;
    }
}

HidrawChannel::~HidrawChannel() {
    // Once the process is ending the poller may be gone before the handles
    // that still hold channels: a channel then only closes its file.
    if (!process_ending()) {
        stop_watching();
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void HidrawChannel::stop_watching() {
    if (watched_) {
        remove_poll_source(poll_id_);
        watched_ = false;
    }
}

void HidrawChannel::pump() {
    for (;;) {
        // An unnumbered report comes without its id: it is read in after a
        // 0 byte, so the handle gets it as Windows gives it.
        uint8_t* into = numbered_ ? buffer_.data() : buffer_.data() + 1;
        ssize_t n = ::read(fd_, into, kMaxReport);
        if (n > 0) {
            buffer_[0] = numbered_ ? buffer_[0] : 0;
            const size_t length = static_cast<size_t>(n) + (numbered_ ? 0 : 1);
            sink_(buffer_.data(), length);
            // The handle has its copy; a shorter report next must not leave
            // the tail of this card behind it.
            secure_wipe(buffer_.data(), length);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        // EIO or ENODEV once the device is gone (the end of a file that is
        // no hidraw node, too): nothing more will come.
        stop_watching();
        if (auto device = device_.lock()) {
            device->gone();
        }
        return;
    }
}

uint32_t HidrawChannel::feature_failure(int error) {
    if (node_gone(error)) {
        if (auto device = device_.lock()) {
            device->gone();
        }
        return ERROR_DEVICE_NOT_CONNECTED;
    }
    if (error == EACCES || error == EPERM) {
        return ERROR_ACCESS_DENIED;
    }
    if (error == EINVAL) {
        return ERROR_INVALID_PARAMETER;
    }
    // EIO: the device rejected the report or did not answer; EPIPE: it
    // stalled the request.
    return ERROR_GEN_FAILURE;
}

uint32_t HidrawChannel::set_feature(const uint8_t* report, size_t length) {
    if (fd_ < 0) {
        return ERROR_ACCESS_DENIED;
    }
    size_t n = std::min(length, kMaxReport);
    // The ioctl takes a writable buffer; the caller's stays untouched.
    std::vector<uint8_t> copy(report, report + n);
    if (::ioctl(fd_, HIDIOCSFEATURE(n), copy.data()) < 0) {
        return feature_failure(errno);
    }
    return 0;
}

uint32_t HidrawChannel::get_feature(uint8_t* report, size_t length) {
    if (fd_ < 0) {
        return ERROR_ACCESS_DENIED;
    }
    size_t n = std::min(length, kMaxReport);
    int got = ::ioctl(fd_, HIDIOCGFEATURE(n), report);
    if (got < 0) {
        return feature_failure(errno);
    }
    // An answer shorter than the report reads as zero-padded to its length,
    // not as whatever the caller had prepared behind it.
    size_t end = std::min<size_t>(n, feature_length_);
    if (static_cast<size_t>(got) < end) {
        std::memset(report + got, 0, end - static_cast<size_t>(got));
    }
    return 0;
}

}  // namespace kp
