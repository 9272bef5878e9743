#include "connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>

#include "served/client.h"

namespace vrp {

Connection::Connection(int fd) : fd_(fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0) {
        peer_pid_ = static_cast<uint32_t>(cred.pid);
    }
}

Connection::~Connection() {
    close(fd_);
}

bool Connection::receive() {
    uint8_t chunk[4096];
    ssize_t n = recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    }
    if (n == 0) {
        return false;
    }
    decoder_.feed(chunk, static_cast<size_t>(n));
    wipe::secure_wipe(chunk, static_cast<size_t>(n));  // it may hold a swipe
    return true;
}

void Connection::send(served::Type type, const uint8_t* body, size_t length, bool droppable) {
    if (droppable && backed_up()) {
        return;
    }
    if (queued() == 0) {
        wipe::clear(out_);
        sent_ = 0;
        progress_ms_ = served::steady_ms();
    } else if (sent_ >= out_.size() / 2) {
        // What was sent goes once it is at least half: each byte is moved
        // at most once on average.
        wipe::erase_front(out_, sent_);
        sent_ = 0;
    }
    // Straight into the queue: no copy of the frame is left to free.
    served::append_frame(&out_, type, body, length);
}

bool Connection::flush() {
    while (queued() > 0) {
        ssize_t n = ::send(fd_, out_.data() + sent_, queued(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            sent_ += static_cast<size_t>(n);
            progress_ms_ = served::steady_ms();
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    wipe::clear(out_);
    sent_ = 0;
    return true;
}

void Connection::flush_for(int ms) {
    using namespace std::chrono;
    auto deadline = steady_clock::now() + milliseconds(ms);
    while (flush() && queued() > 0) {
        auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0) {
            return;
        }
        pollfd p{fd_, POLLOUT, 0};
        poll(&p, 1, static_cast<int>(left));
    }
}

}  // namespace vrp
