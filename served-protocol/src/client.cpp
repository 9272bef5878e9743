// Connecting to a served reader, checking who serves it, listing readers and
// the hello exchange.
#include "served/client.h"

#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "served/paths.h"

namespace served {
namespace {

// How often a connect to a full backlog is tried again: a local socket
// gives no readiness event for room in its listener's backlog.
constexpr int kRetryMs = 2;

Connect reason_of(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return Connect::Missing;
        case ECONNREFUSED:
            return Connect::Refused;
        case EAGAIN:
            return Connect::Busy;
        default:
            return Connect::Failed;
    }
}

// Waits for `ms` milliseconds or less, on nothing.
void pause_ms(int64_t ms) {
    if (ms > 0) {
        poll(nullptr, 0, static_cast<int>(std::min<int64_t>(ms, kRetryMs)));
    }
}

}  // namespace

int64_t steady_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int connect_socket(const std::string& path, int timeout_ms, Connect* result) {
    Connect ignored;
    Connect& why = result != nullptr ? *result : ignored;
    why = Connect::Failed;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        return -1;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const int64_t deadline = steady_ms() + std::max(0, timeout_ms);
    for (;;) {
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            why = Connect::Connected;
            return fd;
        }
        const int error = errno;
        const int64_t left = deadline - steady_ms();
        if (error == EINTR || (error == EAGAIN && left > 0)) {
            pause_ms(error == EINTR ? 0 : left);
            continue;
        }
        if (error == EINPROGRESS) {
            // Not what a local socket does, but handled as the call allows.
            pollfd p{fd, POLLOUT, 0};
            int soerr = 0;
            socklen_t len = sizeof soerr;
            if (poll(&p, 1, static_cast<int>(std::max<int64_t>(0, left))) == 1 &&
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &soerr, &len) == 0 && soerr == 0) {
                why = Connect::Connected;
                return fd;
            }
            why = soerr != 0 ? reason_of(soerr) : Connect::Busy;
            close(fd);
            return -1;
        }
        why = reason_of(error);
        close(fd);
        return -1;
    }
}

bool peer_uid(int fd, uid_t* uid) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || len != sizeof cred) {
        return false;
    }
    *uid = cred.uid;
    return true;
}

bool peer_is_us(int fd) {
    uid_t uid = 0;
    return peer_uid(fd, &uid) && uid == geteuid();
}

std::vector<std::string> reader_names(const std::string& dir) {
    static const char kSuffix[] = ".sock";
    const size_t suffix = sizeof kSuffix - 1;
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) {
        return names;
    }
    while (dirent* e = readdir(d)) {
        const std::string file = e->d_name;
        if (file.size() <= suffix || file.compare(file.size() - suffix, suffix, kSuffix) != 0) {
            continue;
        }
        std::string name = file.substr(0, file.size() - suffix);
        if (name_valid(name)) {
            names.push_back(std::move(name));
        }
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool send_all(int fd, const Bytes& frame, int timeout_ms) {
    const int64_t deadline = steady_ms() + std::max(0, timeout_ms);
    size_t done = 0;
    while (done < frame.size()) {
        const ssize_t n = ::send(fd, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        const int64_t left = deadline - steady_ms();
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && left > 0) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, static_cast<int>(left));
            continue;
        }
        return false;
    }
    return true;
}

Probe probe_hello(int fd, int timeout_ms, Hello* theirs, uint16_t* version) {
    const int64_t deadline = steady_ms() + std::max(0, timeout_ms);
    if (!send_all(fd, encode(Type::Hello, encode_hello(Hello{})), timeout_ms)) {
        return Probe::Closed;
    }
    Decoder decoder;
    Message m;
    for (;;) {
        const Decoder::Result r = decoder.next(&m);
        if (r == Decoder::Result::Malformed) {
            return Probe::Silent;
        }
        if (r == Decoder::Result::Ready) {
            if (m.type != Type::Hello) {
                return Probe::Silent;
            }
            if (decode_hello(m.body, theirs)) {
                return Probe::Answered;
            }
            const uint16_t v = hello_version(m.body);
            if (v == 0) {
                return Probe::Silent;
            }
            if (version != nullptr) {
                *version = v;
            }
            return Probe::OtherVersion;
        }
        const int64_t left = deadline - steady_ms();
        if (left <= 0) {
            return Probe::Silent;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return Probe::Silent;
        }
        uint8_t chunk[512];
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (n <= 0) {
            return Probe::Closed;
        }
        decoder.feed(chunk, static_cast<size_t>(n));
    }
}

}  // namespace served
