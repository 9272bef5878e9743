// Faults kept apart: a reader unplugged or killed during a read, killed or
// hung during a command, clients that send garbage or hang up mid-message,
// and readers in places that another user could have planted them.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <iterator>
#include <thread>

#include "kp/clock.h"
#include "kp/served.h"
#include "served/paths.h"
#include "served/protocol.h"
#include "served_fixture.h"

using namespace served_test;

namespace {

using FaultsTest = ServedTest;

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool all_zero(const unsigned char* buf, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (buf[i] != 0) {
            return false;
        }
    }
    return true;
}

int connect_raw(const std::string& path) {
    const int fd = vr::harness::Connect(path);
    if (fd < 0) {
        return -1;
    }
    timeval tv{3, 0};  // a reader that keeps a bad connection open fails the test
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

// Reads until the peer closes; true when it did (false on the timeout).
bool peer_closes(int fd) {
    char buf[4096];
    for (;;) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n == 0 || (n < 0 && errno == ECONNRESET)) {
            return true;
        }
        if (n < 0) {
            return false;
        }
    }
}

served::Bytes frame(served::Type type, served::Bytes body = {}) {
    return served::encode(type, body);
}

served::Bytes hello() {
    return frame(served::Type::Hello, served::encode_hello(served::Hello{}));
}

served::Bytes concat(served::Bytes a, const served::Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(FaultsTest, UnplugDuringReadDataFailsTheReadAndLaterCommands) {
    serve("unplug");
    ASSERT_EQ(open_within(MR_PID_IDTECH, 0), 0);
    kp::clock_schedule_in(30, [this] { EXPECT_EQ(run({"unplug", "--name", "unplug"}), 0); });
    unsigned char buf[MR_READ_BUF_LEN];
    int64_t start = now_ms();
    EXPECT_EQ(ReadData(buf, 5000, 0), 3);
    EXPECT_LT(now_ms() - start, 2000) << "the read waited for its timeout";
    EXPECT_TRUE(all_zero(buf, sizeof buf));
    const unsigned char state[MR_STATE_LEN] = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(SetMrStateEx(state), 5);
    CloseUSB();

    SetID(MR_PID_IDTECH);
    EXPECT_EQ(OpenUSB(), 2);
    CloseUSB();
    ASSERT_EQ(run({"plug", "--name", "unplug"}), 0);
    ASSERT_EQ(open_within(MR_PID_IDTECH, 2000), 0);
    EXPECT_EQ(SetMrStateEx(state), 0);
}

TEST_F(FaultsTest, SwipeDuringAPendingReadCompletesIt) {
    serve("pending");
    ASSERT_EQ(open_within(MR_PID_IDTECH, 0), 0);
    kp::clock_schedule_in(30, [this] { EXPECT_EQ(run({"swipe", "--name", "pending"}), 0); });
    unsigned char buf[MR_READ_BUF_LEN];
    ASSERT_EQ(ReadData(buf, 5000, 0), 0);
    EXPECT_EQ(buf[0] | (buf[1] << 8), 538);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf + 2 + 10), std::strlen(kCardA.track1)),
              kCardA.track1);
}

TEST_F(FaultsTest, KillDuringReadCompletesTheReadWithAnError) {
    pid_t server = serve("killread");
    ASSERT_EQ(open_within(MR_PID_IDTECH, 0), 0);
    kp::clock_schedule_in(30, [server] { kill(server, SIGKILL); });
    unsigned char buf[MR_READ_BUF_LEN];
    int64_t start = now_ms();
    EXPECT_EQ(ReadData(buf, 5000, 0), 3);
    EXPECT_LT(now_ms() - start, 2000);
    EXPECT_TRUE(all_zero(buf, sizeof buf));
    EXPECT_EQ(ReadData(buf, 0, 0), 3);
    CloseUSB();
    // Its socket file stays behind, but no one answers there.
    SetID(MR_PID_IDTECH);
    EXPECT_EQ(OpenUSB(), 2);
}

TEST_F(FaultsTest, KillDuringCommandFailsTheCommand) {
    pid_t server = serve("killcmd");
    ASSERT_EQ(open_within(MR_PID_IDTECH, 0), 0);
    // Stopped, the reader cannot answer; it is killed while the library
    // waits for the answer.
    kill(server, SIGSTOP);
    std::thread killer([server] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        kill(server, SIGKILL);
    });
    const unsigned char state[MR_STATE_LEN] = {1, 2, 3, 4, 5, 6, 7};
    int64_t start = now_ms();
    EXPECT_EQ(SetMrStateEx(state), 5);
    EXPECT_LT(now_ms() - start, 1500) << "the command waited for the timeout, not the hang-up";
    killer.join();
    unsigned char report[MR_FEATURE_LEN];
    EXPECT_EQ(GetMrState(report), 3);
}

TEST_F(FaultsTest, ReaderThatDoesNotAnswerInTimeIsTakenAsGone) {
    kp::set_served_timeout_ms(150);
    pid_t server = serve("hung");
    ASSERT_EQ(open_within(MR_PID_IDTECH, 0), 0);
    kill(server, SIGSTOP);
    unsigned char report[MR_FEATURE_LEN];
    int64_t start = now_ms();
    EXPECT_EQ(GetMrState(report), 3);
    EXPECT_LT(now_ms() - start, 1000);
    kill(server, SIGCONT);
    CloseUSB();
    // Running again, it is found again with a fresh connection.
    ASSERT_EQ(open_within(MR_PID_IDTECH, 2000), 0);
    EXPECT_EQ(GetMrState(report), 0);
}

TEST_F(FaultsTest, MalformedClientLosesOnlyItsOwnConnection) {
    using served::Type;
    serve("robust");
    ASSERT_EQ(open_within(MR_PID_IDTECH, 0), 0);
    const std::string host = socket_path("robust");
    const std::string control = served::control_socket(dir(), "robust");
    struct Case {
        const char* what;
        const std::string* socket;
        served::Bytes bytes;
        bool hang_up;  // the client goes away instead of the reader closing it
    };
    const served::Bytes oversize = {0xFF, 0xFF, 0x02};
    const Case cases[] = {
        {"length over the limit", &host, oversize, false},
        {"zero length", &host, {0x00, 0x00}, false},
        {"unknown type", &host, {0x01, 0x00, 0x7F}, false},
        {"feature before hello", &host, frame(Type::SetFeature, {0x00, 0xB3}), false},
        {"hello of another version", &host, frame(Type::Hello, {0x02, 0x00}), false},
        {"control command on the host socket", &host, concat(hello(), frame(Type::Unplug)), false},
        {"host command on the control socket", &control,
         concat(hello(), frame(Type::SetFeature, {0x00, 0xB3})), false},
        {"swipe with a truncated track", &control,
         concat(hello(), frame(Type::Swipe, {0, 10, 'a'})), false},
        {"half a message, then gone", &host, concat(hello(), {0x20, 0x00, 0x02, 0x00}), true},
        {"half a header, then gone", &control, {0x05}, true},
    };
    // GetMrState's 100 ms wait between its set and its get is asserted, not
    // slept; the exchanges with the reader are real whatever the clock.
    kp::clock_use_virtual(1796650862);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int fd = connect_raw(*c.socket);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(send(fd, c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(c.bytes.size()));
        if (!c.hang_up) {
            EXPECT_TRUE(peer_closes(fd)) << "the reader kept a malformed connection";
        }
        close(fd);
        // The library's connection and the reader are unharmed.
        unsigned char report[MR_FEATURE_LEN] = {};
        ASSERT_EQ(GetMrState(report), 0);
        EXPECT_EQ(report[1], MR_CMD_GET_STATE);
    }
    EXPECT_EQ(kp::clock_slept_ms(), 100 * static_cast<int64_t>(std::size(cases)));
    // A card comes in over the socket while ReadData waits: real time.
    kp::clock_use_real();
    ASSERT_EQ(run({"swipe", "--name", "robust"}), 0);
    unsigned char buf[MR_READ_BUF_LEN];
    EXPECT_EQ(ReadData(buf, 2000, 0), 0);
}

// A client of an older protocol version is not left waiting: the reader
// answers its hello with its own, so the client can tell the versions
// apart, and closes the connection.
TEST_F(FaultsTest, ClientOfAnotherVersionIsToldTheReadersVersionAndClosed) {
    using served::Type;
    serve("versions");
    served::Bytes old_hello(2 + 8 * 2 + 1, 0);
    old_hello[0] = 1;  // version 1, as the first readers spoke it
    for (const std::string& path :
         {socket_path("versions"), served::control_socket(dir(), "versions")}) {
        SCOPED_TRACE(path);
        int fd = connect_raw(path);
        ASSERT_GE(fd, 0);
        auto bytes = frame(Type::Hello, old_hello);
        ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
        served::Decoder d;
        char buf[256];
        ssize_t n;
        while ((n = recv(fd, buf, sizeof buf, 0)) > 0) {
            d.feed(reinterpret_cast<uint8_t*>(buf), static_cast<size_t>(n));
        }
        EXPECT_EQ(n, 0) << "the reader kept the connection open";
        served::Message m;
        ASSERT_EQ(d.next(&m), served::Decoder::Result::Ready);
        EXPECT_EQ(m.type, Type::Hello);
        EXPECT_EQ(served::hello_version(m.body), served::kProtocolVersion);
        close(fd);
    }
}

TEST_F(FaultsTest, ReaderOthersCouldHavePlantedIsIgnored) {
    serve("planted");
    const std::string sock = socket_path("planted");
    struct Case {
        const char* what;
        std::string path;
        mode_t loose;
        mode_t tight;
    };
    // Each case follows a successful open, so the reader is also dropped
    // from the backend's connections once its place is no longer private.
    for (const Case& c : {Case{"directory writable by others", dir(), 0777, 0700},
                          Case{"directory writable by the group", dir(), 0770, 0700},
                          Case{"socket writable by others", sock, 0666, 0600}}) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(chmod(c.path.c_str(), c.loose), 0);
        SetID(MR_PID_IDTECH);
        EXPECT_EQ(OpenUSB(), 2);
        CloseUSB();
        EXPECT_FALSE(served::dir_trusted(dir()) && served::socket_trusted(sock));
        ASSERT_EQ(chmod(c.path.c_str(), c.tight), 0);
        EXPECT_EQ(OpenUSB(), 0) << "the same reader in a private place is found";
        CloseUSB();
    }
}

TEST_F(FaultsTest, SymbolicLinkInPlaceOfTheDirectoryIsIgnored) {
    serve("linked");
    const std::string link = dir() + "-link";
    ASSERT_EQ(symlink(dir().c_str(), link.c_str()), 0);
    kp::clear_backends();
    kp::register_backend(kp::make_served_backend(link));
    SetID(MR_PID_IDTECH);
    EXPECT_EQ(OpenUSB(), 2);
    unlink(link.c_str());
}

}  // namespace
