// The reader as a program: one ReaderModel served on two local sockets in
// the runtime directory, NAME.sock for hosts (the library's platform layer)
// and NAME.ctl for the command line. A plain poll() loop in real time.
//
// Off the bus (unplugged, or restarting after a reset) the host socket is
// gone and every host connection closed; the control socket stays.
#pragma once

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
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Creates the directory and the sockets. False with a reason.
    bool start(std::string* error);
    // Serves until `stop_fd` becomes readable (a signal arrived).
    void run(int stop_fd);

    static constexpr size_t kMaxClientsPerRole = 32;

  private:
    enum class Role { Host, Control };
    struct Client {
        std::unique_ptr<Connection> connection;
        Role role;
        bool closing = false;
    };

    bool on_bus() const { return plugged_ && restart_at_ms_ < 0; }
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
    void swipe(const served::Swipe& swipe);
    served::Status status() const;
    std::vector<uint8_t> hello() const;
    void drop_closed_clients();

    std::string dir_;
    std::string name_;
    std::string host_path_;
    std::string control_path_;
    vr::ReaderModel model_;
    int host_listen_ = -1;
    int control_listen_ = -1;
    std::vector<Client> clients_;
    bool plugged_ = true;
    int64_t restart_at_ms_ = -1;  // when off the bus for a reset: when it comes back
    bool leave_now_ = false;      // a reset was accepted: leave once answered
};

int64_t now_ms();

}  // namespace vrp
