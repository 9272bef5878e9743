// kestro-virtual-reader: a virtual card reader that the Kestro library finds
// among its HID devices, served on a local socket, and the commands that act
// on a running one.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "control_client.h"
#include "served/paths.h"
#include "options.h"
#include "server.h"

namespace {

int stop_pipe[2] = {-1, -1};

void on_stop_signal(int) {
    char c = 1;
    ssize_t ignored = write(stop_pipe[1], &c, 1);
    (void)ignored;
}

int serve(const std::string& dir, const vrp::Options& options) {
    if (pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("kestro-virtual-reader: pipe");
        return vrp::kExitUsage;
    }
    // Interrupted system calls are restarted; the loop's poll, which never
    // is, sees the stop pipe.
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    vrp::Server server(dir, options.name, options.mode);
    server.set_feature_length(options.feature_length);
    server.set_restart_ms(options.restart_ms);
    server.set_history_length(static_cast<size_t>(options.history));
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "kestro-virtual-reader: %s\n", error.c_str());
        return vrp::kExitUsage;
    }
    std::fprintf(stderr, "kestro-virtual-reader: serving '%s' in %s\n", options.name.c_str(),
                 vr::mode_name(options.mode));
    // What a program needs in its environment to find this reader.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const bool runtime_used = runtime != nullptr && runtime[0] == '/';
    std::fprintf(stderr, "kestro-virtual-reader: start programs with: %s=1%s%s\n",
                 served::kRequestVariable, runtime_used ? " XDG_RUNTIME_DIR=" : "",
                 runtime_used ? runtime : "");
    server.run(stop_pipe[0]);
    return vrp::kExitDone;  // the server's destructor removes the sockets
}

}  // namespace

int main(int argc, char** argv) {
    vrp::Options options;
    std::string error;
    if (!vrp::parse_options(argc, argv, &options, &error)) {
        std::fprintf(stderr, "kestro-virtual-reader: %s\n", error.c_str());
        return vrp::kExitUsage;
    }
    const std::string dir = served::reader_dir();
    switch (options.command) {
        case vrp::Command::Help:
            std::fputs(vrp::usage_text(), stdout);
            return vrp::kExitDone;
        case vrp::Command::Version:
            std::puts("kestro-virtual-reader " KESTRO_VERSION);
            return vrp::kExitDone;
        case vrp::Command::Serve:
            return serve(dir, options);
        default:
            return vrp::run_control_command(dir, options);
    }
}
