// One client of the reader program (a host or the command line): its
// socket, the messages it sent that are not handled yet, and what is still
// to be sent to it. Never blocks, except briefly in flush_for. What waits to
// be sent is bounded: past kMaxQueued the server takes no more requests
// from the client until it has read its answers. What it received and what
// it sent (swipes, input reports: card data) is wiped once handled.
#pragma once

#include <cstdint>
#include <vector>

#include "served/protocol.h"

namespace vrp {

class Connection {
  public:
    explicit Connection(int fd);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int fd() const { return fd_; }
    uint32_t peer_pid() const { return peer_pid_; }
    bool hello_done = false;

    // Reads what is available. False when the peer hung up or failed.
    bool receive();
    served::Decoder& decoder() { return decoder_; }

    // Queues a message. A droppable one (an input report) is dropped when
    // the peer has not taken the last kMaxQueued bytes, as a full report
    // queue drops reports; an answer is always queued.
    void send(served::Type type, const uint8_t* body, size_t length, bool droppable = false);
    void send(served::Type type, const served::Bytes& body, bool droppable = false) {
        send(type, body.data(), body.size(), droppable);
    }
    bool wants_to_write() const { return queued() > 0; }
    // Bytes waiting to be sent.
    size_t queued() const { return out_.size() - sent_; }
    // Whether so much waits that no further request is to be answered now.
    bool backed_up() const { return queued() >= kMaxQueued; }
    // Sends what the socket takes now, at a cost in the bytes sent. False
    // when the peer is gone.
    bool flush();
    // Sends the rest, waiting at most `ms` milliseconds.
    void flush_for(int ms);
    // When the peer last took a byte, or its queue last started to fill
    // (steady milliseconds).
    int64_t last_progress_ms() const { return progress_ms_; }

    // Requests received that wait for the queue to drain.
    bool held = false;

    static constexpr size_t kMaxQueued = 64 * 1024;

  private:
    int fd_;
    uint32_t peer_pid_ = 0;
    served::Decoder decoder_;
    served::Bytes out_;
    size_t sent_ = 0;  // bytes at the front of out_ already sent (wiped as they go)
    int64_t progress_ms_ = 0;
};

}  // namespace vrp
