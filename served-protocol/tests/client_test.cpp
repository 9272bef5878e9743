// The clients' side: connects and what their failures mean, who serves a
// socket, the listing of readers, the hello exchange, and the words for a
// readers' directory that cannot be used.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "served/client.h"
#include "served/paths.h"

namespace {

using namespace served;

constexpr uid_t kNobody = 65534;

class ClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kestro-client-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        for (int fd : fds_) {
            close(fd);
        }
        std::filesystem::remove_all(dir_);
    }

    // A socket bound at `path`, listening with `backlog` unless it is -1.
    int bound(const std::string& path, int backlog) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, path.c_str());
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        if (backlog >= 0) {
            EXPECT_EQ(listen(fd, backlog), 0);
        }
        fds_.push_back(fd);
        return fd;
    }
    int keep(int fd) {
        if (fd >= 0) {
            fds_.push_back(fd);
        }
        return fd;
    }

    std::string dir_;
    std::vector<int> fds_;
};

TEST_F(ClientTest, ConnectTellsAStaleSocketFromABusyOne) {
    const std::string listening = dir_ + "/live.sock";
    const std::string stale = dir_ + "/stale.sock";
    const std::string full = dir_ + "/full.sock";
    bound(listening, 4);
    close(bound(stale, -1));  // the file of a server that is gone
    fds_.pop_back();
    bound(full, 0);
    // Fill the backlog of `full`, as a stopped server leaves it.
    Connect why = Connect::Connected;
    for (int i = 0; i < 64 && why == Connect::Connected; ++i) {
        keep(connect_socket(full, 0, &why));
    }
    ASSERT_EQ(why, Connect::Busy);
    struct Case {
        std::string path;
        int timeout_ms;
        Connect result;
    };
    const Case cases[] = {
        {listening, 0, Connect::Connected},
        {dir_ + "/none.sock", 0, Connect::Missing},
        {stale, 0, Connect::Refused},
        {full, 0, Connect::Busy},
        {full, 3, Connect::Busy},  // waited for, then given up
        {dir_ + "/" + std::string(200, 'x'), 0, Connect::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.substr(dir_.size()));
        const int64_t start = steady_ms();
        const int fd = keep(connect_socket(c.path, c.timeout_ms, &why));
        EXPECT_EQ(why, c.result);
        EXPECT_EQ(fd >= 0, c.result == Connect::Connected);
        EXPECT_GE(steady_ms() - start, c.result == Connect::Busy ? c.timeout_ms : 0);
        if (fd >= 0) {
            EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << "a client never blocks";
        }
    }
}

TEST_F(ClientTest, PeerIsThisUserOnlyWhenItsProcessRunsAsThisUser) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    keep(pair[0]);
    keep(pair[1]);
    uid_t uid = 1;
    ASSERT_TRUE(peer_uid(pair[0], &uid));
    EXPECT_EQ(uid, geteuid());
    EXPECT_TRUE(peer_is_us(pair[0]));
    EXPECT_FALSE(peer_is_us(-1));
    if (geteuid() != 0) {
        GTEST_SKIP() << "another user's listener needs root to be made";
    }
    // Our socket file, another user's process behind it: bound as us, then
    // that process changes user and listens.
    const std::string path = dir_ + "/theirs.sock";
    int ready[2];
    int done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(done[1]);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, path.c_str());
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                        setgid(kNobody) == 0 && setuid(kNobody) == 0 && listen(fd, 4) == 0;
        char c = ok ? 1 : 0;
        (void)!write(ready[1], &c, 1);
        char end;
        (void)!read(done[0], &end, 1);  // until the parent closes its end
        _exit(0);
    }
    close(done[0]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 1);
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, geteuid()) << "the file is ours";
    const int fd = keep(connect_socket(path, 0));
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(peer_uid(fd, &uid));
    EXPECT_EQ(uid, kNobody);
    EXPECT_FALSE(peer_is_us(fd));
    close(done[1]);
    close(ready[1]);
    close(ready[0]);
    waitpid(child, nullptr, 0);
}

TEST_F(ClientTest, ReaderNamesAreTheValidHostSocketsInOrder) {
    for (const char* file : {"zeta.sock", "alpha.sock", "alpha.ctl", ".hidden.sock",
                             "bad name.sock", ".sock", "x.sockx"}) {
        std::ofstream(dir_ + "/" + file).close();
    }
    EXPECT_EQ(reader_names(dir_), (std::vector<std::string>{"alpha", "zeta"}));
    EXPECT_TRUE(has_readers(dir_));
    EXPECT_TRUE(reader_names(dir_ + "/missing").empty());
}

TEST_F(ClientTest, HelloProbeTellsEachWayAReaderAnswers) {
    Hello reader;
    reader.identity.vendor_id = 0x1234;
    reader.identity.product_id = 0x05A0;
    Hello other;
    other.version = kProtocolVersion + 7;
    struct Case {
        const char* what;
        Bytes reply;  // what the reader sends
        bool hang_up;
        Probe result;
    };
    const Case cases[] = {
        {"answers", encode(Type::Hello, encode_hello(reader)), false, Probe::Answered},
        {"other version", encode(Type::Hello, encode_hello(other)), false, Probe::OtherVersion},
        {"hangs up", {}, true, Probe::Closed},
        {"silent", {}, false, Probe::Silent},
        {"out of turn", encode(Type::Answer, encode_answer(true)), false, Probe::Silent},
        {"malformed", {0x00, 0x00}, false, Probe::Silent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
        keep(pair[0]);
        ASSERT_EQ(write(pair[1], c.reply.data(), c.reply.size()),
                  static_cast<ssize_t>(c.reply.size()));
        if (c.hang_up) {
            close(pair[1]);
        } else {
            keep(pair[1]);
        }
        Hello theirs;
        uint16_t version = 0;
        EXPECT_EQ(probe_hello(pair[0], 2, &theirs, &version), c.result);
        if (c.result == Probe::Answered) {
            EXPECT_EQ(theirs.identity.product_id, 0x05A0);
        }
        if (c.result == Probe::OtherVersion) {
            EXPECT_EQ(version, other.version);
        }
    }
}

TEST_F(ClientTest, AReadersDirectoryThatIsTakenIsNamedWithItsOwnerAndTheWayOut) {
    const std::string file = dir_ + "/file";
    std::ofstream(file).close();
    const std::string link = dir_ + "/link";
    ASSERT_EQ(symlink(dir_.c_str(), link.c_str()), 0);
    const std::string open = dir_ + "/open";
    ASSERT_EQ(mkdir(open.c_str(), 0777), 0);
    ASSERT_EQ(chmod(open.c_str(), 0777), 0);
    const std::string ours = dir_ + "/ours";
    ASSERT_EQ(mkdir(ours.c_str(), 0700), 0);
    struct Case {
        std::string dir;
        std::vector<std::string> words;  // empty: no problem
    };
    std::vector<Case> cases = {
        {ours, {}},
        {dir_ + "/missing", {}},
        {file, {file, "not a folder", "uid " + std::to_string(geteuid())}},
        {link, {link, "symbolic link"}},
        {open, {open, "written by other users"}},
    };
    if (geteuid() == 0) {
        const std::string theirs = dir_ + "/theirs";
        ASSERT_EQ(mkdir(theirs.c_str(), 0700), 0);
        ASSERT_EQ(chown(theirs.c_str(), kNobody, kNobody), 0);
        cases.push_back({theirs, {theirs, "taken", "belongs to", "(uid 65534)"}});
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = runtime != nullptr ? runtime : "";
    unsetenv("XDG_RUNTIME_DIR");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dir);
        const std::string text = dir_problem(c.dir);
        if (c.words.empty()) {
            EXPECT_EQ(text, "");
            continue;
        }
        for (const std::string& w : c.words) {
            EXPECT_NE(text.find(w), std::string::npos) << text;
        }
        // The fallback folder is avoided with a runtime directory of one's own.
        EXPECT_NE(text.find("set XDG_RUNTIME_DIR"), std::string::npos) << text;
    }
    setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(dir_problem(file).find("XDG_RUNTIME_DIR"), std::string::npos);
    if (runtime != nullptr) {
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    } else {
        unsetenv("XDG_RUNTIME_DIR");
    }
}

}  // namespace
