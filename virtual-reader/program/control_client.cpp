#include "control_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "served/paths.h"
#include "server.h"
#include "sockets.h"

namespace vrp {

using served::Message;
using served::Type;

namespace {

constexpr int kAnswerTimeoutMs = 2000;

class ControlLink {
  public:
    explicit ControlLink(int fd) : fd_(fd) {}
    ~ControlLink() { close(fd_); }

    bool send(Type type, const std::vector<uint8_t>& body) {
        std::vector<uint8_t> frame = served::encode(type, body);
        size_t done = 0;
        while (done < frame.size()) {
            ssize_t n = ::send(fd_, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
            if (n <= 0 && errno != EINTR) {
                return false;
            }
            done += n > 0 ? static_cast<size_t>(n) : 0;
        }
        return true;
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
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
                return false;
            }
            uint8_t chunk[2048];
            ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
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

std::string hex_bytes(const uint8_t* data, size_t n) {
    std::string out;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i == 0 ? "%02X" : " %02X", data[i]);
        out += b;
    }
    return out;
}

int fail(int code, const std::string& text) {
    std::fprintf(stderr, "kestro-virtual-reader: %s\n", text.c_str());
    return code;
}

}  // namespace

std::string format_status(const std::string& name, const served::Status& s) {
    std::string out;
    char line[160];
    auto mode = static_cast<vr::Mode>(s.mode);
    std::snprintf(line, sizeof line, "reader: %s\nmode: %u %s\nproduct id: 0x%04X\n", name.c_str(),
                  s.mode, vr::mode_name(mode), s.product_id);
    out += line;
    out += std::string("bus: ") +
           (s.restarting ? "restarting"
            : s.plugged  ? "plugged"
                         : "unplugged") +
           "\n";
    out += "configuration: " + hex_bytes(s.state.data(), s.state.size()) + "\n";
    for (size_t i = 0; i < s.records.size(); ++i) {
        const auto& r = s.records[i];
        if (r.empty()) {
            continue;
        }
        std::snprintf(line, sizeof line, "statistics %zu: ", i + 1);
        out += line + hex_bytes(r.data(), r.size()) + "\n";
    }
    out += "hosts: " + std::to_string(s.host_pids.size());
    for (size_t i = 0; i < s.host_pids.size(); ++i) {
        out += (i == 0 ? " (pid " : ", pid ") + std::to_string(s.host_pids[i]);
    }
    out += s.host_pids.empty() ? "\n" : ")\n";
    return out;
}

int run_control_command(const std::string& dir, const Options& options) {
    const std::string path = served::control_socket(dir, options.name);
    int fd = served::dir_trusted(dir) && served::socket_trusted(path) ? connect_to(path) : -1;
    if (fd < 0) {
        return fail(kExitNoReader, "no reader named '" + options.name + "' is served");
    }
    ControlLink link(fd);
    Message m;
    served::Hello theirs;
    if (!link.send(Type::Hello, served::encode_hello(served::Hello{})) || !link.receive(&m) ||
        m.type != Type::Hello || !served::decode_hello(m.body, &theirs)) {
        return fail(kExitNoReader, "reader '" + options.name + "' does not answer");
    }
    std::vector<uint8_t> body;
    if (options.command == Command::Swipe) {
        body = served::encode_swipe(options.swipe);
    }
    Type request = request_of(options.command);
    if (!link.send(request, body) || !link.receive(&m)) {
        return fail(kExitNoReader, "reader '" + options.name + "' does not answer");
    }
    if (request == Type::Status) {
        served::Status s;
        if (m.type != Type::StatusAnswer || !served::decode_status(m.body, &s)) {
            return fail(kExitNoReader, "reader '" + options.name + "' gave no status");
        }
        std::fputs(format_status(options.name, s).c_str(), stdout);
        return kExitDone;
    }
    bool ok = false;
    std::vector<uint8_t> data;
    if (m.type != Type::Answer || !served::decode_answer(m.body, &ok, &data) || !ok) {
        return fail(kExitNoReader, "reader '" + options.name + "' refused the command");
    }
    return kExitDone;
}

}  // namespace vrp
