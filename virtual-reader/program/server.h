// The reader as a program: one ReaderModel served on two local sockets in
// the runtime directory, NAME.sock for hosts (the library's platform layer)
// and NAME.ctl for the command line. A plain poll() loop in real time.
//
// Off the bus (unplugged, or restarting after a reset) the host socket is
// gone and every host connection closed; the control socket stays.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "connection.h"
#include "vr/model.h"

namespace vrp {

class Server {
  public:
    Server(std::string dir, std::string name, vr::Mode mode);

    // The feature report length the reader announces: 25, or 10 for a
    // reader that takes the short configuration form (the library sends it
    // as a second try only to such a reader).
    void set_feature_length(size_t length) { feature_length_ = length; }
    // How long an accepted reset keeps the reader off the bus.
    void set_restart_ms(int64_t ms) { restart_ms_ = ms; }
    // How many feature reports the history keeps.
    void set_history_length(size_t length) { model_.set_history_length(length); }
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Creates the directory and the sockets. False with a reason.
    bool start(std::string* error);
    // Serves until `stop_fd` becomes readable (a signal arrived).
    void run(int stop_fd);

    static constexpr size_t kMaxClientsPerRole = 32;
    static constexpr int64_t kStalledClientMs = 2000;

  private:
    enum class Role { Host, Control };
    struct Client {
        std::unique_ptr<Connection> connection;
        Role role;
        bool closing = false;
    };

    bool on_bus() const { return plugged_ && restart_at_ms_ < 0 && away_until_ms_ < 0; }
    // Puts the reader on the bus or takes it off, as the state asks.
    void update_bus();
    // Whether another client of that role is taken now.
    bool accepting(Role role) const;
    void accept_from(int listen_fd, Role role);
    void serve_client(Client& client);
    // False when the client is to be closed (malformed or out of turn).
    bool on_message(Client& client, served::Message& message);
    bool on_host_message(Connection& c, served::Message& message);
    bool on_control_message(Connection& c, served::Message& message);
    // Swipes a card: "" when it reaches the hosts (or is typed, or held
    // by the stall-reads fault), else why no application receives it.
    std::string swipe(const served::Swipe& swipe);
    bool has_host() const;
    // Sends an input report (or, with the read-error fault, a read error)
    // to every host.
    void deliver(const std::vector<uint8_t>& report);
    served::Status status() const;

    // Scenario faults (server_state.cpp): set or clear one by the command
    // line's request (false when the request is not valid), and end those
    // whose time is up.
    bool apply_fault(const served::FaultRequest& request);
    void end_timed_faults();
    // When the next timed event is due (a restart or a fault's end); -1 for
    // none.
    int64_t next_deadline() const;
    void end_stall();

    served::Bytes hello() const;
    // Closes a client that has taken none of its answers for
    // kStalledClientMs while it still has requests waiting: it sends and
    // does not read. Logged on standard error.
    void drop_if_stalled(Client& client);
    void drop_closed_clients();

    std::string dir_;
    std::string name_;
    std::string host_path_;
    std::string control_path_;
    vr::ReaderModel model_;
    int host_listen_ = -1;
    int control_listen_ = -1;
    // The socket files made, so that only they are ever removed.
    ino_t host_inode_ = 0;
    ino_t control_inode_ = 0;
    std::vector<Client> clients_;
    bool plugged_ = true;
    int64_t restart_at_ms_ = -1;  // when off the bus for a reset: when it comes back
    bool leave_now_ = false;      // a reset was accepted: leave once answered
    int64_t started_ms_ = 0;
    size_t feature_length_ = vr::kFeatureLength;
    int64_t restart_ms_ = vr::kRestartMs;
    // Off the bus by the leave-bus fault: until then (kForever until cleared).
    int64_t away_until_ms_ = -1;
    // Cards held back by the stall-reads fault, and until when.
    int64_t stall_until_ms_ = -1;
    served::Swipes held_;
    uint32_t cards_swiped_ = 0;
    uint32_t cards_delivered_ = 0;

    static constexpr int64_t kForever = INT64_MAX;
    static constexpr size_t kMaxHeld = 64;
};

int64_t now_ms();

}  // namespace vrp
