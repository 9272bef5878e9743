// The reader program's side of a swipe leaves no card in freed memory: the
// command line's cards and frames, the reader's received swipe, its tracks,
// the report or keystrokes made of them, the cards it holds back and the
// reports queued to its hosts. The reader runs in this process, so this
// program's operator new and delete see every block: each block starts as
// zeros and is searched for the test card's number before it is freed. A
// separate program, since the replacement covers all of it.
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

#include "control_client.h"
#include "options.h"
#include "served/client.h"
#include "served/paths.h"
#include "server.h"

namespace {

const char kNumber[] = "4111111111111111";  // in both tracks of test card A
std::atomic<bool> scanning{false};
std::atomic<int> found{0};

bool holds_number(const void* data, size_t length) {
    return memmem(data, length, kNumber, sizeof kNumber - 1) != nullptr;
}

}  // namespace

void* operator new(std::size_t n) {
    void* p = std::malloc(n == 0 ? 1 : n);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    // Zeros first: what a block holds when freed was written while it lived.
    memset(p, 0, malloc_usable_size(p));
    return p;
}

void operator delete(void* p) noexcept {
    if (p != nullptr && scanning && holds_number(p, malloc_usable_size(p))) {
        ++found;
    }
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    ::operator delete(p);
}

namespace {

// Waits at most 2 s for one whole message on `fd`.
bool receive(int fd, served::Decoder* decoder, served::Message* m) {
    for (int tries = 0; tries < 200; ++tries) {
        if (decoder->next(m) == served::Decoder::Result::Ready) {
            return true;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10) == 1) {
            uint8_t chunk[1024];
            const ssize_t n = read(fd, chunk, sizeof chunk);
            if (n <= 0) {
                return false;
            }
            decoder->feed(chunk, static_cast<size_t>(n));
        }
    }
    return false;
}

// The command line's exit code for `args` against the reader in `dir`.
int command(const std::string& dir, std::vector<const char*> args) {
    args.insert(args.begin(), "kestro-virtual-reader");
    vrp::Options options;
    std::string error;
    if (!vrp::parse_options(static_cast<int>(args.size()), args.data(), &options, &error)) {
        ADD_FAILURE() << error;
        return -1;
    }
    return vrp::run_control_command(dir, options);
}

TEST(ProgramWipe, ASwipeLeavesNoCardInFreedMemoryOnAnyPath) {
    enum class Path { Report, Held, Typed, File, Refused };
    struct Row {
        const char* name;
        vr::Mode mode;
        Path path;
        int exit_code;
    };
    const Row rows[] = {
        {"an input report to a host", vr::Mode::Idtech, Path::Report, vrp::kExitDone},
        {"in the other layout", vr::Mode::Magtek, Path::Report, vrp::kExitDone},
        {"held back by stall-reads, then sent", vr::Mode::Idtech, Path::Held, vrp::kExitDone},
        {"typed in keyboard mode", vr::Mode::Keyboard, Path::Typed, vrp::kExitDone},
        {"cards from a file", vr::Mode::Idtech, Path::File, vrp::kExitDone},
        {"refused: no application", vr::Mode::Idtech, Path::Refused, vrp::kExitNotDelivered},
    };
    char base[] = "/tmp/vr-wipe-XXXXXX";
    ASSERT_NE(mkdtemp(base), nullptr);
    const std::string dir = std::string(base) + "/kestro";
    const std::string cards = std::string(base) + "/cards";
    const std::string typed = std::string(base) + "/typed";
    {
        // Test card A twice, a failed track in the second.
        const char text[] =
            "# cards\n"
            "%B4111111111111111^TEST/CARD A^30121010000000000000?|"
            ";4111111111111111=30121010000000000?\r\n"
            "!|;4111111111111111=30121010000000000?\n";
        const int fd = open(cards.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, text, sizeof text - 1), static_cast<ssize_t>(sizeof text - 1));
        close(fd);
    }
    unsetenv("DISPLAY");  // keyboard mode writes to standard output

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        found = 0;
        scanning = true;
        int stop[2];
        ASSERT_EQ(pipe(stop), 0);
        auto server = std::make_unique<vrp::Server>(dir, "wipe", row.mode);
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
        std::thread serving([&] { server->run(stop[0]); });

        int host = -1;
        served::Decoder from_host;
        served::Message m;
        if (row.path != Path::Typed && row.path != Path::Refused) {
            host = served::connect_socket(served::host_socket(dir, "wipe"), 1000);
            EXPECT_GE(host, 0);
            EXPECT_TRUE(served::send_all(
                host, served::encode(served::Type::Hello, served::encode_hello({})), 1000));
            EXPECT_TRUE(receive(host, &from_host, &m) && m.type == served::Type::Hello);
        }
        int saved_stdout = -1;
        if (row.path == Path::Typed) {
            std::fflush(stdout);
            saved_stdout = dup(STDOUT_FILENO);
            const int out = open(typed.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, STDOUT_FILENO);
            close(out);
        }
        if (row.path == Path::Held) {
            EXPECT_EQ(command(dir, {"fault", "--name", "wipe", "stall-reads"}), vrp::kExitDone);
        }
        const int code = row.path == Path::File
                             ? command(dir, {"swipe", "--name", "wipe", "--file", cards.c_str()})
                             : command(dir, {"swipe", "--name", "wipe"});
        EXPECT_EQ(code, row.exit_code);
        if (row.path == Path::Held) {
            EXPECT_EQ(command(dir, {"fault", "--name", "wipe", "--clear", "stall-reads"}),
                      vrp::kExitDone);
        }
        // What reached the host is the card, once per card swiped.
        const int reports = row.path == Path::File ? 2 : host >= 0 ? 1 : 0;
        for (int i = 0; i < reports; ++i) {
            ASSERT_TRUE(receive(host, &from_host, &m));
            EXPECT_EQ(m.type, served::Type::InputReport);
            EXPECT_EQ(m.body.size(), vr::input_report_length(row.mode));
            EXPECT_TRUE(holds_number(m.body.data(), m.body.size()));
        }

        ASSERT_EQ(write(stop[1], "x", 1), 1);
        serving.join();
        server.reset();
        if (host >= 0) {
            close(host);
        }
        close(stop[0]);
        close(stop[1]);
        if (saved_stdout >= 0) {
            std::fflush(stdout);
            dup2(saved_stdout, STDOUT_FILENO);
            close(saved_stdout);
            char keys[512] = {};
            const int in = open(typed.c_str(), O_RDONLY);
            EXPECT_GT(read(in, keys, sizeof keys - 1), 0);
            close(in);
            EXPECT_TRUE(holds_number(keys, sizeof keys)) << "the card was typed";
        }
        scanning = false;
        EXPECT_EQ(found, 0) << "freed blocks that held the card's number";
    }
    unlink(cards.c_str());
    unlink(typed.c_str());
    rmdir(dir.c_str());
    rmdir(base);
}

}  // namespace
