#include "server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "keyboard.h"
#include "served/paths.h"
#include "sockets.h"

namespace vrp {

using served::Message;
using served::Type;

namespace {

// The reader's USB identity in its current mode. In keyboard mode it is a
// keyboard that the system holds: opens with read or write access fail.
served::Hello identity_of(const vr::ReaderModel& model, size_t feature_length) {
    served::Hello h;
    bool keyboard = model.mode() == vr::Mode::Keyboard;
    served::Identity& id = h.identity;
    id.vendor_id = vr::kVendorId;
    id.product_id = model.product_id();
    id.version = vr::kVersion;
    id.usage_page = keyboard ? 0x01 : 0xFF00;
    id.usage = keyboard ? 0x06 : 0x01;
    id.input_report_length =
        static_cast<uint16_t>(keyboard ? 9 : vr::input_report_length(model.mode()));
    id.feature_report_length = static_cast<uint16_t>(feature_length);
    h.flags = keyboard ? served::kRefuseReadWrite : 0;
    return h;
}

// A swipe's tracks as the model takes them, wiped when they go: the model's
// tracks are plain strings.
struct WipedTracks {
    vr::Track tracks[3];
    explicit WipedTracks(const served::Swipe& s) {
        for (int t = 0; t < 3; ++t) {
            tracks[t].text.assign(s[t].text.data(), s[t].text.size());
            tracks[t].status = s[t].status;
        }
    }
    ~WipedTracks() {
        for (vr::Track& t : tracks) {
            wipe::secure_wipe(t.text.data(), t.text.size());
        }
    }
    WipedTracks(const WipedTracks&) = delete;
    WipedTracks& operator=(const WipedTracks&) = delete;
};

// Time a host gets to take its last answer before the reader leaves.
constexpr int kLeaveFlushMs = 100;
// Longest single wait of the loop, so that far deadlines fit poll's int.
constexpr int64_t kMaxPollMs = 60000;

}  // namespace

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Server::Server(std::string dir, std::string name, vr::Mode mode)
    : dir_(std::move(dir)),
      name_(std::move(name)),
      host_path_(served::host_socket(dir_, name_)),
      control_path_(served::control_socket(dir_, name_)),
      model_(mode),
      started_ms_(now_ms()) {
    model_.set_clock([this] { return now_ms() - started_ms_; });
}

Server::~Server() {
    clients_.clear();
    if (host_listen_ >= 0) {
        close(host_listen_);
        unlink_socket(host_path_, host_inode_);
    }
    if (control_listen_ >= 0) {
        close(control_listen_);
        unlink_socket(control_path_, control_inode_);
    }
}

bool Server::start(std::string* error) {
    if (!make_private_dir(dir_, error)) {
        return false;
    }
    control_listen_ = listen_at(control_path_, &control_inode_, error);
    if (control_listen_ < 0) {
        return false;
    }
    host_listen_ = listen_at(host_path_, &host_inode_, error);
    return host_listen_ >= 0;
}

void Server::update_bus() {
    if (on_bus() && host_listen_ < 0) {
        std::string error;
        host_listen_ = listen_at(host_path_, &host_inode_, &error);
        if (host_listen_ < 0) {
            std::fprintf(stderr, "kestro-virtual-reader: %s\n", error.c_str());
        }
    } else if (!on_bus() && host_listen_ >= 0) {
        // Leaving the bus: every host loses the device.
        for (Client& c : clients_) {
            if (c.role == Role::Host) {
                c.connection->flush_for(kLeaveFlushMs);
                c.closing = true;
            }
        }
        close(host_listen_);
        host_listen_ = -1;
        unlink_socket(host_path_, host_inode_);
    }
}

bool Server::accepting(Role role) const {
    size_t n = 0;
    for (const Client& c : clients_) {
        n += c.role == role ? 1 : 0;
    }
    return n < kMaxClientsPerRole;
}

void Server::accept_from(int listen_fd, Role role) {
    while (accepting(role)) {
        int fd = accept4(listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        clients_.push_back(Client{std::make_unique<Connection>(fd), role});
    }
}

void Server::run(int stop_fd) {
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back(pollfd{stop_fd, POLLIN, 0});
        // Past the limit of clients, new ones wait in the backlog (poll
        // ignores a negative descriptor).
        fds.push_back(pollfd{accepting(Role::Control) ? control_listen_ : -1, POLLIN, 0});
        fds.push_back(pollfd{accepting(Role::Host) ? host_listen_ : -1, POLLIN, 0});
        int64_t deadline = next_deadline();
        for (const Client& c : clients_) {
            const Connection& conn = *c.connection;
            // A client with answers piling up is not read from until it
            // takes them; one whose held requests may go on is served now.
            short events = conn.backed_up() ? 0 : POLLIN;
            if (conn.wants_to_write()) {
                events |= POLLOUT;
            }
            fds.push_back(pollfd{conn.fd(), events, 0});
            if (conn.held) {
                const int64_t due =
                    conn.backed_up() ? conn.last_progress_ms() + kStalledClientMs : now_ms();
                deadline = deadline < 0 ? due : std::min(deadline, due);
            }
        }
        int timeout = -1;
        if (deadline >= 0) {
            timeout = static_cast<int>(
                std::min<int64_t>(std::max<int64_t>(0, deadline - now_ms()), kMaxPollMs));
        }
        int n = poll(fds.data(), fds.size(), timeout);
        if (n < 0 && errno != EINTR) {
            return;
        }
        if (fds[0].revents != 0) {
            return;
        }
        if (restart_at_ms_ >= 0 && now_ms() >= restart_at_ms_) {
            // Back from the reset, under the product id of the new mode.
            model_.restart();
            restart_at_ms_ = -1;
            update_bus();
        }
        end_timed_faults();
        // Clients first, so that new connections are not served before
        // their first poll.
        size_t count = clients_.size();
        for (size_t i = 0; i < count; ++i) {
            Client& c = clients_[i];
            if (!c.closing &&
                (fds[3 + i].revents != 0 || (c.connection->held && !c.connection->backed_up()))) {
                serve_client(c);
            }
        }
        if (leave_now_) {
            leave_now_ = false;
            restart_at_ms_ = now_ms() + restart_ms_;
            update_bus();
        }
        for (Client& c : clients_) {
            if (!c.closing && !c.connection->flush()) {
                c.closing = true;
            }
            drop_if_stalled(c);
        }
        drop_closed_clients();
        if (fds[1].fd >= 0 && fds[1].revents != 0) {
            accept_from(control_listen_, Role::Control);
        }
        if (host_listen_ >= 0 && fds[2].fd == host_listen_ && fds[2].revents != 0) {
            accept_from(host_listen_, Role::Host);
        }
    }
}

void Server::serve_client(Client& client) {
    Connection& c = *client.connection;
    if (!c.held && !c.receive()) {
        client.closing = true;  // hung up, maybe in the middle of a message
        return;
    }
    Message m;
    for (;;) {
        // Requests wait while the client's answers pile up unread.
        c.held = c.backed_up();
        if (c.held) {
            return;
        }
        auto r = c.decoder().next(&m);
        if (r == served::Decoder::Result::NeedMore) {
            return;
        }
        if (r == served::Decoder::Result::Malformed || !on_message(client, m)) {
            client.closing = true;  // this connection only
            return;
        }
        if (client.closing) {
            return;
        }
    }
}

bool Server::on_message(Client& client, Message& m) {
    Connection& c = *client.connection;
    if (!c.hello_done) {
        served::Hello theirs;
        if (m.type != Type::Hello) {
            return false;
        }
        if (!served::decode_hello(m.body, &theirs)) {
            const uint16_t version = served::hello_version(m.body);
            if (version != 0 && version != served::kProtocolVersion) {
                // Tell the client which version this reader speaks, then
                // close: it can say so instead of waiting for an answer.
                std::fprintf(stderr,
                             "kestro-virtual-reader: turned away a client of protocol version "
                             "%u (pid %u); this reader speaks version %u\n",
                             version, c.peer_pid(), served::kProtocolVersion);
                c.send(Type::Hello, hello());
                c.flush_for(kLeaveFlushMs);
            }
            return false;
        }
        c.hello_done = true;
        c.send(Type::Hello, hello());
        return true;
    }
    return client.role == Role::Host ? on_host_message(c, m) : on_control_message(c, m);
}

bool Server::on_host_message(Connection& c, Message& m) {
    const bool request = m.type == Type::SetFeature || m.type == Type::GetFeature;
    if (request && model_.scenario.hit(vr::Fault::NoAnswer)) {
        // The host waits for an answer that does not come.
        model_.note_unanswered(m.type == Type::GetFeature, m.body.data(), m.body.size());
        return true;
    }
    if (m.type == Type::SetFeature) {
        vr::Effect effect = vr::Effect::None;
        bool ok = model_.set_feature(m.body.data(), m.body.size(), &effect);
        // The model keeps every report for tests; a long-running reader
        // must not.
        model_.received.clear();
        c.send(Type::Answer, served::encode_answer(ok));
        if (ok && effect == vr::Effect::Restart) {
            leave_now_ = true;
        }
        return true;
    }
    if (m.type == Type::GetFeature) {
        served::Bytes report = m.body;
        // The answer carries the report after its ok byte: it must fit.
        bool ok =
            report.size() < served::kMaxBody && model_.get_feature(report.data(), report.size());
        if (!ok) {
            report.clear();
        }
        c.send(Type::Answer, served::encode_answer(ok, report.data(), report.size()));
        return true;
    }
    return false;
}

bool Server::on_control_message(Connection& c, Message& m) {
    switch (m.type) {
        case Type::Swipe: {
            served::Swipe s;
            if (!served::decode_swipe(m.body, &s)) {
                return false;
            }
            // A card that no application receives is refused with the
            // reason, so that the command line can say why.
            ++cards_swiped_;
            const std::string lost = swipe(s);
            if (lost.empty()) {
                ++cards_delivered_;
            }
            c.send(Type::Answer,
                   served::encode_answer(
                       lost.empty(), reinterpret_cast<const uint8_t*>(lost.data()), lost.size()));
            return true;
        }
        case Type::Status: {
            const bool reset = m.body.size() == 1 && m.body[0] == served::kStatusReset;
            if (!m.body.empty() && !reset) {
                return false;
            }
            c.send(Type::StatusAnswer, served::encode_status(status()));
            if (reset) {
                model_.clear_counts();
                cards_swiped_ = 0;
                cards_delivered_ = 0;
            }
            return true;
        }
        case Type::Fault: {
            served::FaultRequest f;
            if (!served::decode_fault(m.body, &f)) {
                return false;
            }
            c.send(Type::Answer, served::encode_answer(apply_fault(f)));
            return true;
        }
        case Type::Unplug:
        case Type::Plug:
            if (!m.body.empty()) {
                return false;
            }
            plugged_ = m.type == Type::Plug;
            update_bus();
            c.send(Type::Answer, served::encode_answer(true));
            return true;
        default:
            return false;
    }
}

std::string Server::swipe(const served::Swipe& s) {
    // An unplugged reader reaches no one.
    if (!plugged_) {
        return "the reader is unplugged";
    }
    if (restart_at_ms_ >= 0) {
        return "the reader is restarting after a reset";
    }
    if (away_until_ms_ >= 0) {
        return "the reader is off the bus (fault leave-bus)";
    }
    const bool keyboard = model_.mode() == vr::Mode::Keyboard;
    if (!keyboard && !has_host()) {
        return "no application has connected to the reader";
    }
    if (stall_until_ms_ >= 0) {
        if (held_.size() >= kMaxHeld) {
            return "the reader holds " + std::to_string(kMaxHeld) +
                   " cards already (fault stall-reads)";  // as a full queue loses them
        }
        held_.push_back(s);
        return "";
    }
    const WipedTracks card(s);
    if (keyboard) {
        std::string keys = vr::ReaderModel::keystrokes(card.tracks);
        type_keys(keys);
        wipe::secure_wipe(keys.data(), keys.size());
        return "";
    }
    std::vector<uint8_t> report = model_.swipe_report(card.tracks);
    deliver(report);
    wipe::secure_wipe(report.data(), report.size());  // the hosts' queues have it
    return "";
}

bool Server::has_host() const {
    for (const Client& c : clients_) {
        if (c.role == Role::Host && c.connection->hello_done && !c.closing) {
            return true;
        }
    }
    return false;
}

void Server::deliver(const std::vector<uint8_t>& report) {
    std::vector<Connection*> hosts;
    for (Client& c : clients_) {
        if (c.role == Role::Host && c.connection->hello_done && !c.closing) {
            hosts.push_back(c.connection.get());
        }
    }
    // A read error needs a host whose read it fails.
    const bool error = !hosts.empty() && model_.scenario.hit(vr::Fault::ReadError);
    for (Connection* c : hosts) {
        if (error) {
            c->send(Type::InputError, {});
        } else {
            c->send(Type::InputReport, report.data(), report.size(), true);
        }
    }
}

served::Bytes Server::hello() const {
    return served::encode_hello(identity_of(model_, feature_length_));
}

void Server::drop_if_stalled(Client& client) {
    const Connection& c = *client.connection;
    if (client.closing || !c.held || !c.backed_up() ||
        now_ms() - c.last_progress_ms() < kStalledClientMs) {
        return;
    }
    std::fprintf(stderr,
                 "kestro-virtual-reader: disconnected a %s (pid %u) that stopped reading: %zu "
                 "bytes of answers untaken for %lld ms\n",
                 client.role == Role::Host ? "host" : "command", c.peer_pid(), c.queued(),
                 static_cast<long long>(kStalledClientMs));
    client.closing = true;
}

void Server::drop_closed_clients() {
    clients_.erase(
        std::remove_if(clients_.begin(), clients_.end(), [](const Client& c) { return c.closing; }),
        clients_.end());
}

}  // namespace vrp
