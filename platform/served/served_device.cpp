#include "served_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "kp/served.h"
#include "kp/winapi.h"
#include "kp/wipe.h"
#include "served/client.h"

namespace kp {
namespace {

// Real time, whatever the platform's clock: the reader is another process.
int64_t real_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A listening local socket accepts at once; anything else (no one
// listening, a full backlog) is no reader for this scan. The file was
// checked before; the process behind it must be ours too.
int open_socket(const std::string& path) {
    const int fd = served::connect_socket(path, 0);
    if (fd >= 0 && !served::peer_is_us(fd)) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

ServedDevice::ServedDevice(int fd, std::string socket_path, ino_t inode)
    : fd_(fd), socket_path_(std::move(socket_path)), inode_(inode) {}

ServedDevice::~ServedDevice() {
    disconnect();
}

std::shared_ptr<ServedDevice> ServedDevice::connect(const std::string& socket_path) {
    struct stat st;
    if (lstat(socket_path.c_str(), &st) != 0) {
        return nullptr;
    }
    int fd = open_socket(socket_path);
    if (fd < 0) {
        return nullptr;
    }
    std::shared_ptr<ServedDevice> d(new ServedDevice(fd, socket_path, st.st_ino));
    served::Bytes reply;
    served::Hello ours;
    if (!d->exchange(served::Type::Hello, served::encode_hello(ours), served::Type::Hello,
                     &reply) ||
        !served::decode_hello(reply, &d->hello_)) {
        return nullptr;
    }
    d->hello_done_ = true;
    return d;
}

bool ServedDevice::attach(const std::string& device_path) {
    if (attach_device(shared_from_this(), device_path) != device_path) {
        return false;
    }
    std::weak_ptr<ServedDevice> self = shared_from_this();
    poll_id_ = add_poll_source(fd_, [self] {
        if (auto d = self.lock()) {
            d->pump();
        }
    });
    watched_ = true;
    return true;
}

void ServedDevice::pump() {
    if (connected()) {
        drain();
    }
}

void ServedDevice::disconnect() {
    if (fd_ < 0) {
        return;
    }
    close(fd_);
    fd_ = -1;
    if (process_ending()) {
        return;
    }
    if (watched_) {
        remove_poll_source(poll_id_);
        watched_ = false;
    }
    // Pending reads complete with an error; later calls fail.
    detach_device(this);
}

HidIdentity ServedDevice::identity() const {
    const served::Identity& in = hello_.identity;
    HidIdentity id;
    id.vendor_id = in.vendor_id;
    id.product_id = in.product_id;
    id.version = in.version;
    id.usage_page = in.usage_page;
    id.usage = in.usage;
    id.input_report_length = in.input_report_length;
    id.output_report_length = in.output_report_length;
    id.feature_report_length = in.feature_report_length;
    return id;
}

uint32_t ServedDevice::open_error(uint32_t access, bool) const {
    if (access != 0 && (hello_.flags & served::kRefuseReadWrite) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    return 0;
}

bool ServedDevice::set_feature(const uint8_t* report, size_t length) {
    if (report == nullptr || length > served::kMaxBody) {
        return false;
    }
    served::Bytes reply;
    bool ok = false;
    std::vector<uint8_t> data;
    return exchange(served::Type::SetFeature, served::Bytes(report, report + length),
                    served::Type::Answer, &reply) &&
           served::decode_answer(reply, &ok, &data) && ok;
}

bool ServedDevice::get_feature(uint8_t* report, size_t length) {
    if (report == nullptr || length > served::kMaxBody - 1) {
        return false;
    }
    served::Bytes reply;
    bool ok = false;
    std::vector<uint8_t> data;
    if (!exchange(served::Type::GetFeature, served::Bytes(report, report + length),
                  served::Type::Answer, &reply) ||
        !served::decode_answer(reply, &ok, &data) || !ok || data.size() != length) {
        return false;
    }
    std::memcpy(report, data.data(), length);
    return true;
}

bool ServedDevice::exchange(served::Type type, const served::Bytes& body, served::Type reply,
                            served::Bytes* reply_body) {
    if (!connected()) {
        return false;
    }
    int64_t deadline = real_ms() + served_timeout_ms();
    awaiting_ = true;
    awaited_type_ = reply;
    replied_ = false;
    if (!send_frame(served::encode(type, body), deadline)) {
        awaiting_ = false;
        disconnect();
        return false;
    }
    for (;;) {
        bool open = drain();
        if (replied_) {
            break;
        }
        int64_t left = deadline - real_ms();
        if (!open || left <= 0) {
            // A reader that does not answer in time is taken as gone: a late
            // answer could otherwise be taken for that of the next request.
            awaiting_ = false;
            disconnect();
            return false;
        }
        pollfd p{fd_, POLLIN, 0};
        poll(&p, 1, static_cast<int>(left));
    }
    awaiting_ = false;
    *reply_body = std::move(reply_);
    return true;
}

bool ServedDevice::send_frame(const served::Bytes& frame, int64_t deadline_ms) {
    size_t done = 0;
    while (done < frame.size()) {
        ssize_t n = send(fd_, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        int64_t left = deadline_ms - real_ms();
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && left > 0) {
            pollfd p{fd_, POLLOUT, 0};
            poll(&p, 1, static_cast<int>(left));
            continue;
        }
        return false;
    }
    return true;
}

bool ServedDevice::drain() {
    uint8_t chunk[4096];
    // Bounded, so that a reader flooding reports cannot hold the wait.
    for (int round = 0; round < 64 && connected(); ++round) {
        ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        if (n <= 0) {
            disconnect();  // hung up, or the connection failed
            return false;
        }
        decoder_.feed(chunk, static_cast<size_t>(n));
        secure_wipe(chunk, static_cast<size_t>(n));  // it may hold a card
        served::Message m;
        for (;;) {
            served::Decoder::Result r = decoder_.next(&m);
            if (r == served::Decoder::Result::NeedMore) {
                break;
            }
            if (r == served::Decoder::Result::Malformed || !handle(m)) {
                disconnect();
                return false;
            }
        }
    }
    return connected();
}

bool ServedDevice::handle(served::Message& m) {
    if (m.type == served::Type::InputReport && hello_done_) {
        if (m.body.empty()) {
            return false;
        }
        deliver_input(this, m.body.data(), m.body.size());
        secure_wipe(m.body.data(), m.body.size());  // the handles have their copies
        return true;
    }
    if (m.type == served::Type::InputError && hello_done_) {
        if (!m.body.empty()) {
            return false;
        }
        // The reader failed a read, as a device error completes the reads
        // under way.
        fail_pending_reads(this);
        return true;
    }
    if (awaiting_ && !replied_ && m.type == awaited_type_) {
        reply_ = std::move(m.body);
        replied_ = true;
        return true;
    }
    return false;  // out of turn, or not for a host
}

}  // namespace kp
