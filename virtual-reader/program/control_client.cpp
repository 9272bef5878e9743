#include "control_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "served/client.h"
#include "served/paths.h"
#include "server.h"
#include "sockets.h"
#include "status_format.h"

namespace vrp {

using served::Message;
using served::Type;

namespace {

constexpr int kAnswerTimeoutMs = 2000;

class ControlLink {
  public:
    explicit ControlLink(int fd) : fd_(fd) {}
    ~ControlLink() { close(fd_); }

    bool send(Type type, const served::Bytes& body) {
        return served::send_all(fd_, served::encode(type, body), kAnswerTimeoutMs);
    }

    // The next message, waiting at most until the deadline.
    bool receive(Message* m) {
        int64_t deadline = now_ms() + kAnswerTimeoutMs;
        for (;;) {
            auto r = decoder_.next(m);
            if (r == served::Decoder::Result::Ready) {
                return true;
            }
            if (r == served::Decoder::Result::Malformed) {
                return false;
            }
            int64_t left = deadline - now_ms();
            pollfd p{fd_, POLLIN, 0};
            const int ready = left > 0 ? poll(&p, 1, static_cast<int>(left)) : 0;
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready <= 0) {
                return false;
            }
            uint8_t chunk[2048];
            ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
            if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            decoder_.feed(chunk, static_cast<size_t>(n));
        }
    }

  private:
    int fd_;
    served::Decoder decoder_;
};

Type request_of(Command command) {
    switch (command) {
        case Command::Swipe:
            return Type::Swipe;
        case Command::Unplug:
            return Type::Unplug;
        case Command::Plug:
            return Type::Plug;
        default:
            return Type::Status;
    }
}

int fail(int code, const std::string& text) {
    std::fprintf(stderr, "kestro-virtual-reader: %s\n", text.c_str());
    return code;
}

// Sends one request and takes its answer; the exit code.
int exchange(ControlLink& link, Type request, const served::Bytes& body, const std::string& who) {
    Message m;
    if (!link.send(request, body) || !link.receive(&m)) {
        return fail(kExitNoReader, who + " does not answer");
    }
    bool ok = false;
    std::vector<uint8_t> data;
    if (m.type != Type::Answer || !served::decode_answer(m.body, &ok, &data)) {
        return fail(kExitNoReader, who + " refused the command");
    }
    if (!ok && request == Type::Swipe) {
        // The reader says why no application received the card.
        return fail(kExitNotDelivered, who + " delivered the card to no application: " +
                                           printable(std::string(data.begin(), data.end())));
    }
    return ok ? kExitDone : fail(kExitNoReader, who + " refused the command");
}

// The reader's status, or false when it gives none.
bool ask_status(ControlLink& link, bool reset, served::Status* s) {
    Message m;
    const served::Bytes body = reset ? served::Bytes{served::kStatusReset} : served::Bytes{};
    return link.send(Type::Status, body) && link.receive(&m) && m.type == Type::StatusAnswer &&
           served::decode_status(m.body, s);
}

// Waits at most `ms` until the reader is on the bus and an application is
// connected to it (or it types, in keyboard mode); false when the reader
// stops answering.
bool wait_for_host(ControlLink& link, int ms) {
    const int64_t deadline = now_ms() + ms;
    for (;;) {
        served::Status s;
        if (!ask_status(link, false, &s)) {
            return false;
        }
        const bool on_bus = s.plugged && !s.restarting && !s.away;
        const bool keyboard = s.mode == static_cast<uint8_t>(vr::Mode::Keyboard);
        if ((on_bus && (keyboard || !s.host_pids.empty())) || now_ms() >= deadline) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

// fault --list: every fault with its value and what an application sees.
std::string fault_list() {
    std::string out;
    for (const vr::FaultInfo& f : vr::fault_catalogue()) {
        std::string head = f.name;
        if (f.value == vr::FaultValue::Duration) {
            head += " [MS]";
        } else if (f.value == vr::FaultValue::Count) {
            head += " [N]";
        }
        if (f.once_allowed) {
            head += " [--once]";
        }
        out += head + ": " + f.effect + "\n";
    }
    return out;
}

int run_control_command(const std::string& dir, const Options& options) {
    if (options.command == Command::Fault && options.fault_list) {
        std::fputs(fault_list().c_str(), stdout);
        return kExitDone;
    }
    const std::string path = served::control_socket(dir, options.name);
    int fd = served::dir_trusted(dir) && served::socket_trusted(path) ? connect_to(path) : -1;
    if (fd < 0) {
        return fail(kExitNoReader, "no reader named '" + options.name + "' is served");
    }
    ControlLink link(fd);
    Message m;
    served::Hello theirs;
    uint16_t version = 0;
    switch (served::probe_hello(fd, kAnswerTimeoutMs, &theirs, &version)) {
        case served::Probe::Answered:
            break;
        case served::Probe::OtherVersion:
            return fail(kExitNoReader, "reader '" + options.name + "' speaks protocol version " +
                                           std::to_string(version) + ", this program version " +
                                           std::to_string(served::kProtocolVersion) +
                                           ": serve it with this kestro-virtual-reader");
        case served::Probe::Closed:
            // A reader of another protocol version that does not say which
            // closes the connection at once.
            return fail(kExitNoReader,
                        "reader '" + options.name +
                            "' closed the connection at hello: it speaks another protocol "
                            "version than this program (" +
                            std::to_string(served::kProtocolVersion) + ")");
        case served::Probe::Silent:
            return fail(kExitNoReader, "reader '" + options.name + "' does not answer");
    }
    const std::string who = "reader '" + options.name + "'";
    if (options.command == Command::Swipe) {
        if (options.wait_host_ms > 0 && !wait_for_host(link, options.wait_host_ms)) {
            return fail(kExitNoReader, who + " does not answer");
        }
        // Each card in turn, the whole set `repeat` times, with the pause
        // between two swipes.
        bool first = true;
        for (int r = 0; r < options.repeat; ++r) {
            for (const served::Swipe& card : options.cards) {
                if (!first && options.every_ms > 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(options.every_ms));
                }
                first = false;
                int code = exchange(link, Type::Swipe, served::encode_swipe(card), who);
                if (code != kExitDone) {
                    return code;
                }
            }
        }
        return kExitDone;
    }
    if (options.command == Command::Fault) {
        return exchange(link, Type::Fault, served::encode_fault(options.fault), who);
    }
    Type request = request_of(options.command);
    if (request != Type::Status) {
        return exchange(link, request, {}, who);
    }
    served::Status s;
    if (!ask_status(link, options.reset, &s)) {
        return fail(kExitNoReader, who + " gave no status");
    }
    // By length: the text is escaped, but never cut at a byte.
    const std::string text =
        options.json ? format_status_json(options.name, s) : format_status(options.name, s);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return kExitDone;
}

}  // namespace vrp
