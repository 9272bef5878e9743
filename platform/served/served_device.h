// One served reader as a HID device: a connection to its host socket.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "kp/backend.h"
#include "kp/device.h"
#include "served/protocol.h"

namespace kp {

class ServedDevice : public HidDevice, public std::enable_shared_from_this<ServedDevice> {
  public:
    // Connects to the reader socket at `socket_path` and exchanges hellos.
    // Null when it cannot be reached, is run by another user, or does not
    // answer in time.
    static std::shared_ptr<ServedDevice> connect(const std::string& socket_path);
    ~ServedDevice() override;

    // Attaches the device under `device_path` and watches its socket from
    // the platform's waits. False when the path is taken.
    bool attach(const std::string& device_path);
    // Handles whatever arrived, without waiting: input reports are
    // delivered; a hang-up or a malformed message ends the connection.
    void pump();
    // Ends the connection: the device leaves the enumeration and its
    // pending reads fail.
    void disconnect();
    bool connected() const { return fd_ >= 0; }
    const std::string& socket_path() const { return socket_path_; }
    // The socket file's inode when connected (a new file is a new reader).
    ino_t socket_inode() const { return inode_; }

    // HidDevice
    HidIdentity identity() const override;
    uint32_t open_error(uint32_t access, bool overlapped) const override;
    bool set_feature(const uint8_t* report, size_t length) override;
    bool get_feature(uint8_t* report, size_t length) override;

  private:
    ServedDevice(int fd, std::string socket_path, ino_t inode);

    // Sends one message and waits for the reader's reply of type `reply`,
    // handling input reports meanwhile. A reader that hangs up, answers
    // out of turn or not in time is disconnected.
    bool exchange(served::Type type, const served::Bytes& body, served::Type reply,
                  served::Bytes* reply_body);
    bool send_frame(const served::Bytes& frame, int64_t deadline_ms);
    // Reads what is available and handles each whole message. False once
    // the connection has ended.
    bool drain();
    bool handle(served::Message& message);

    int fd_;
    std::string socket_path_;
    ino_t inode_;
    PollSourceId poll_id_ = 0;
    bool watched_ = false;
    served::Decoder decoder_;
    served::Hello hello_;
    bool hello_done_ = false;
    // The reply awaited by exchange().
    bool awaiting_ = false;
    served::Type awaited_type_ = served::Type::Answer;
    bool replied_ = false;
    served::Bytes reply_;
};

}  // namespace kp
