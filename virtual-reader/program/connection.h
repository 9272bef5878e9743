// One client of the reader program (a host or the command line): its
// socket, the messages it sent that are not handled yet, and what is still
// to be sent to it. Never blocks, except briefly in flush_for.
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
    void send(served::Type type, const std::vector<uint8_t>& body, bool droppable = false);
    bool wants_to_write() const { return !out_.empty(); }
    // Sends what the socket takes now. False when the peer is gone.
    bool flush();
    // Sends the rest, waiting at most `ms` milliseconds.
    void flush_for(int ms);

    static constexpr size_t kMaxQueued = 64 * 1024;

  private:
    int fd_;
    uint32_t peer_pid_ = 0;
    served::Decoder decoder_;
    std::vector<uint8_t> out_;
};

}  // namespace vrp
