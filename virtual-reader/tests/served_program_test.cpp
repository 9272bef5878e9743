// The program's command line: exit codes, errors, signals, names, and the
// keyboard mode that types a swipe instead of sending a report.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "served/client.h"
#include "served/paths.h"
#include "served_fixture.h"

using namespace served_test;

namespace {

using ProgramTest = ServedTest;

bool exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

// A file in the test's private directory, next to the readers' directory.
std::string beside(const std::string& dir, const std::string& name) {
    return dir.substr(0, dir.rfind('/') + 1) + name;
}

void write_file(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(text.c_str(), f);
    std::fclose(f);
}

TEST_F(ProgramTest, ExitCodesAndOneLineErrors) {
    serve("present");
    const std::string four_tracks = beside(dir(), "four.txt");
    write_file(four_tracks, "a|b|c|d\n");
    const std::string no_cards = beside(dir(), "none.txt");
    write_file(no_cards, "# only a comment\n\n");
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string said = "";  // in the error, when given
    };
    const Case cases[] = {
        {{}, 1},
        {{"dance"}, 1},
        {{"serve", "--mode", "floppy"}, 1},
        {{"serve", "--name", "../escape"}, 1},
        {{"serve", "--feature-length", "12"}, 1},
        {{"serve", "--restart-ms", "60001"}, 1},
        {{"serve", "--restart-ms", "-1"}, 1},
        {{"swipe", "--restart-ms", "0"}, 1},
        {{"swipe", "--name"}, 1},
        {{"swipe", "--bad", "4"}, 1},
        {{"swipe", "--bad", "1,1"}, 1},
        {{"status", "--track1", "x"}, 1},
        {{"swipe", "--repeat", "0"}, 1},
        {{"swipe", "--repeat", "100001"}, 1},
        {{"swipe", "--every", "-5"}, 1},
        {{"swipe", "--every", "1x"}, 1},
        {{"swipe", "--file", dir() + "/missing.txt"}, 1},
        {{"swipe", "--file", four_tracks}, 1},
        {{"swipe", "--file", no_cards}, 1},
        {{"swipe", "--file", four_tracks, "--track1", "x"}, 1},
        {{"status", "--format", "xml"}, 1},
        {{"swipe", "--format", "json"}, 1},
        {{"fault"}, 1},
        {{"fault", "melt"}, 1},
        {{"fault", "fail-get", "3"}, 1},
        {{"fault", "leave-bus", "--once"}, 1},
        {{"fault", "leave-bus", "-1"}, 1},
        {{"fault", "leave-bus", "86400001"}, 1},
        {{"fault", "bad-retrieve-count", "256"}, 1},
        {{"fault", "fail-get", "--twice"}, 1},
        {{"fault", "--clear"}, 1},
        {{"fault", "--clear", "fail-get", "--once"}, 1},
        {{"fault", "--list", "fail-get"}, 1},
        {{"fault", "fail-get", "--name", "absent"}, 2},
        {{"fault", "--list", "--name", "absent"}, 0},  // needs no reader
        {{"fault", "fail-get", "--once", "--name", "present"}, 0},
        {{"fault", "bad-retrieve-count", "0", "--name", "present"}, 0},
        {{"fault", "--clear", "all", "--name", "present"}, 0},
        {{"serve", "--name", "present"}, 1},  // that name is served already
        {{"status", "--name", "absent"}, 2},
        {{"swipe", "--name", "absent"}, 2},
        {{"unplug", "--name", "absent"}, 2},
        {{"plug", "--name", "absent"}, 2},
        {{"status", "--name", "present"}, 0},
        {{"status", "--name", "present", "--format", "json"}, 0},
        {{"swipe", "--name", "present", "--bad", "1,3"},
         3,
         "reader 'present' delivered the card to no application: no application has "
         "connected to the reader"},
        {{"swipe", "--name", "present", "--wait-host", "20"}, 3, "no application"},
        {{"swipe", "--wait-host", "600001"}, 1, "bad wait '600001'"},
        // Each error names the argument that is wrong.
        {{"status", "--json"}, 1, "unknown option '--json' for status"},
        {{"status", "--name"}, 1, "option '--name' needs a value"},
        {{"status", "--name", "present", "now"}, 1, "unexpected argument 'now' for status"},
        {{"plug", "--reset"}, 1, "unknown option '--reset' for plug"},
        {{"swipe", "-x"}, 1, "unknown option '-x' for swipe"},
        {{"serve", "--history", "33"}, 1, "bad history length '33' (0 to 32)"},
        {{"swipe", "--file", "-"}, 1, "standard input: "},  // empty here
        {{"--version"}, 0},
        {{"status", "--help"}, 0},
    };
    for (const Case& c : cases) {
        std::string err;
        std::string joined;
        for (const auto& a : c.args) {
            joined += a + " ";
        }
        SCOPED_TRACE(joined);
        EXPECT_EQ(run(c.args, nullptr, &err), c.code);
        if (c.code != 0) {
            ASSERT_FALSE(err.empty());
            EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
            EXPECT_NE(err.find(c.said), std::string::npos) << err;
        }
    }
    std::string out;
    EXPECT_EQ(run({"--help"}, &out), 0);
    EXPECT_NE(out.find("serve"), std::string::npos);
    EXPECT_NE(out.find("every user of this machine can see them"), std::string::npos);
    EXPECT_EQ(run({"--version"}, &out), 0);
    EXPECT_EQ(out.rfind("kestro-virtual-reader ", 0), 0u) << out;
}

// Every swipe is counted, and one that no application receives is refused
// with the reason; cards come from standard input as from a file; status
// --reset clears the counts and the feature reports, of which serve
// --history keeps as many as asked.
TEST_F(ProgramTest, SwipesAreCountedAndOnesNoApplicationReceivesAreRefused) {
    serve("count", vr::Mode::Idtech, {"--history", "2"});
    std::string err;
    EXPECT_EQ(run({"swipe", "--name", "count"}, nullptr, &err), 3);
    ASSERT_EQ(open_within(MR_PID_IDTECH, 0), 0);
    const std::string cards = beside(dir(), "cards.txt");
    write_file(cards, std::string(kCardA.track1) + "|;5=1?\n");
    const pid_t piped = vr::harness::Spawn(
        {"/bin/sh", "-c", std::string("exec \"$0\" swipe --name count --file - < \"$1\""),
         KESTRO_VR_PROGRAM, cards},
        beside(dir(), "piped.out"), beside(dir(), "piped.err"),
        {"XDG_RUNTIME_DIR=" + beside(dir(), "")});
    EXPECT_EQ(vr::harness::WaitForExit(piped, 5000), 0) << ReadFile(beside(dir(), "piped.err"));
    unsigned char buf[MR_READ_BUF_LEN];
    ASSERT_EQ(ReadData(buf, 2000, 0), 0);
    EXPECT_EQ(buf[2 + 5], 5) << "track 2 from standard input";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(FlushCounter(), 0);
    }
    struct Step {
        std::vector<std::string> args;
        std::vector<std::string> shown;
    };
    const Step steps[] = {
        {{"--format", "json", "--reset"},
         {"\"flushes\": 3,", "\"cards_swiped\": 2, \"cards_delivered\": 1}"}},
        {{},
         {"counts: 0 flushes, 0 resets, 0 mode changes\n", "cards: 0 swiped, 0 delivered\n",
          "feature reports: 0\n"}},
    };
    std::string out;
    for (const Step& step : steps) {
        std::vector<std::string> args{"status", "--name", "count"};
        args.insert(args.end(), step.args.begin(), step.args.end());
        ASSERT_EQ(run(args, &out), 0);
        for (const std::string& text : step.shown) {
            EXPECT_NE(out.find(text), std::string::npos) << out;
        }
        if (!step.args.empty()) {
            // Two of the three flushes are kept.
            size_t kept = 0;
            for (size_t at = out.find("MR_CMD_FLUSH_COUNTER"); at != std::string::npos;
                 at = out.find("MR_CMD_FLUSH_COUNTER", at + 1)) {
                ++kept;
            }
            EXPECT_EQ(kept, 2u) << out;
            EXPECT_NE(out.find("\"feature_reports\": [\n    {"), std::string::npos) << out;
        }
    }
    ASSERT_EQ(run({"unplug", "--name", "count"}), 0);
    EXPECT_EQ(run({"swipe", "--name", "count"}, nullptr, &err), 3);
    EXPECT_NE(err.find("the reader is unplugged"), std::string::npos) << err;
}

TEST_F(ProgramTest, SignalsEndTheReaderAndRemoveItsSockets) {
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        pid_t server = serve("sig");
        EXPECT_EQ(open_within(MR_PID_IDTECH, 0), 0);
        int status = stop(server, sig);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_FALSE(exists(socket_path("sig")));
        EXPECT_FALSE(exists(served::control_socket(dir(), "sig")));
        unsigned char report[MR_FEATURE_LEN];
        EXPECT_EQ(GetMrState(report), 3);
        CloseUSB();
    }
    struct stat st;
    ASSERT_EQ(stat(dir().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

ino_t inode_of(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Whether the process has its handler for `signal` in place.
bool catches(pid_t pid, int signal) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("SigCgt:", 0) == 0) {
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1) != 0;
        }
    }
    return false;
}

// A reader that is stopped with its backlog full takes no connection. No
// command hangs on it, and a second serve of its name, even one that a
// signal interrupts while it checks, leaves its sockets alone.
TEST_F(ProgramTest, AStoppedReaderWithAFullBacklogIsLeftAloneAndNothingHangs) {
    const pid_t stuck = serve("stuck");
    const std::string control = served::control_socket(dir(), "stuck");
    const ino_t control_inode = inode_of(control);
    const ino_t host_inode = inode_of(socket_path("stuck"));
    ASSERT_EQ(kill(stuck, SIGSTOP), 0);
    std::vector<int> queued;
    served::Connect why = served::Connect::Connected;
    while (why == served::Connect::Connected && queued.size() < 256) {
        queued.push_back(served::connect_socket(control, 0, &why));
    }
    ASSERT_EQ(why, served::Connect::Busy) << "the backlog never filled";
    std::string err;
    EXPECT_EQ(run({"status", "--name", "stuck"}, nullptr, &err), 2) << "it must not hang";
    EXPECT_NE(err.find("'stuck'"), std::string::npos) << err;

    const pid_t second = start({"serve", "--name", "stuck"}, "second");
    ASSERT_GT(second, 0);
    ASSERT_TRUE(Eventually([&] { return catches(second, SIGINT); }, 5000));
    ASSERT_EQ(kill(second, SIGINT), 0);  // while it waits to tell whether "stuck" is alive
    const int status = stop(second, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(errors_of("second").find("left alone"), std::string::npos) << errors_of("second");
    EXPECT_EQ(inode_of(control), control_inode);
    EXPECT_EQ(inode_of(socket_path("stuck")), host_inode);

    for (int fd : queued) {
        if (fd >= 0) {
            close(fd);
        }
    }
    ASSERT_EQ(kill(stuck, SIGCONT), 0);
    EXPECT_EQ(run({"status", "--name", "stuck"}), 0);
    EXPECT_EQ(open_within(MR_PID_IDTECH, 2000), 0);
}

// The resident memory of a process in kB, 0 when unknown.
long resident_kb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

// A client that sends a million status requests and reads no answer: the
// reader takes no more than it can queue, drops that client once it has
// taken nothing for a while, says so, and serves everyone else as before.
TEST_F(ProgramTest, AClientThatSendsWithoutReadingIsDroppedAndTheReaderStaysSmall) {
    const pid_t server = serve("flood");
    const long before = resident_kb(server);
    const int fd = served::connect_socket(served::control_socket(dir(), "flood"), 0);
    ASSERT_GE(fd, 0);
    served::Bytes stream = served::encode(served::Type::Hello, served::encode_hello({}));
    const served::Bytes status = served::encode(served::Type::Status, {});
    for (int i = 0; i < 1000000; ++i) {
        stream.insert(stream.end(), status.begin(), status.end());
    }
    served::send_all(fd, stream, 4000);  // stops when the reader no longer takes any
    EXPECT_TRUE(Eventually(
        [&] {
            return ReadFile(dir() + "/../flood.err").find("stopped reading") != std::string::npos;
        },
        5000))
        << ReadFile(dir() + "/../flood.err");
    EXPECT_LT(resident_kb(server), before + 16 * 1024) << "kB, from " << before;
    close(fd);
    std::string out;
    EXPECT_EQ(run({"status", "--name", "flood"}, &out), 0);
    EXPECT_NE(out.find("hosts: 0"), std::string::npos) << out;
}

// A reader of our protocol that is not this program: it answers every
// status request with `status`, whatever names that holds.
class OtherReader {
  public:
    OtherReader(const std::string& path, served::Status status) : status_(std::move(status)) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, path.c_str());
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const mode_t old = umask(0177);
        bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        umask(old);
        listen(fd_, 4);
        thread_ = std::thread([this] { serve(); });
    }
    ~OtherReader() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }

  private:
    void serve() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 5) != 1) {
                continue;
            }
            const int c = accept(fd_, nullptr, nullptr);
            served::Decoder decoder;
            served::Message m;
            uint8_t buf[512];
            ssize_t n;
            while (c >= 0 && (n = read(c, buf, sizeof buf)) > 0) {
                decoder.feed(buf, static_cast<size_t>(n));
                while (decoder.next(&m) == served::Decoder::Result::Ready) {
                    const auto reply =
                        m.type == served::Type::Hello
                            ? served::encode(served::Type::Hello, served::encode_hello({}))
                            : served::encode(served::Type::StatusAnswer,
                                             served::encode_status(status_));
                    (void)!write(c, reply.data(), reply.size());
                }
            }
            close(c);
        }
    }

    served::Status status_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Whatever names a reader announces, status shows them escaped and whole:
// \xNN in text, JSON's escapes in JSON, never a raw control byte.
TEST_F(ProgramTest, StatusEscapesTheOddNamesAReaderAnnounces) {
    ASSERT_EQ(mkdir(dir().c_str(), 0700), 0);
    served::Status odd;
    odd.mode = 2;
    odd.plugged = true;
    served::StatusReport r;
    const char command[] = "cut\0here\ttab\x1b]0;title\x07";
    r.command.assign(command, sizeof command - 1);
    r.bytes = {0xAB};
    r.length = 1;
    odd.history.push_back(r);
    odd.faults.push_back({"q\"b\\\n\x7f\xc3", false, -1});
    ASSERT_FALSE(served::encode_status(odd).empty());
    OtherReader other(served::control_socket(dir(), "odd"), odd);
    struct Case {
        const char* format;
        std::vector<std::string> shown;
        std::string last;
    };
    const Case cases[] = {
        {"text",
         {"set cut\\x00here\\x09tab\\x1B]0;title\\x07 refused: AB\n",
          "faults: q\"b\\x5C\\x0A\\x7F\\xC3\n"},
         "feature reports: 1"},
        {"json",
         {"\"command\": \"cut\\u0000here\\ttab\\u001B]0;title\\u0007\"",
          "{\"name\": \"q\\\"b\\\\\\n\\u007F\\u00C3\""},
         "\n}\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        std::string out;
        ASSERT_EQ(run({"status", "--name", "odd", "--format", c.format}, &out), 0);
        for (const std::string& text : c.shown) {
            EXPECT_NE(out.find(text), std::string::npos) << out;
        }
        EXPECT_NE(out.find(c.last), std::string::npos) << out;
        for (char ch : out) {
            const auto b = static_cast<unsigned char>(ch);
            EXPECT_TRUE(ch == '\n' || (b >= 0x20 && b < 0x7F)) << "raw byte " << int(b);
        }
    }
}

// A readers' folder that is not this user's private folder is named, with
// what is wrong with it and whose it is.
TEST_F(ProgramTest, ServeNamesATakenReadersFolderAndItsOwner) {
    struct Case {
        std::string runtime;
        bool as_nobody;  // else a plain file is in the way
        std::string said;
    };
    std::vector<Case> cases = {
        {beside(dir(), "filed"), false, "is taken: it is not a folder but a file of "}};
    if (geteuid() == 0) {
        cases.push_back({beside(dir(), "owned"), true, "is taken: it belongs to "});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.runtime);
        ASSERT_EQ(mkdir(c.runtime.c_str(), 0700), 0);
        const std::string folder = c.runtime + "/kestro";
        if (c.as_nobody) {
            ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
            ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
        } else {
            write_file(folder, "");
        }
        vr::harness::ReaderProgram program(c.runtime);
        std::string err;
        EXPECT_EQ(program.Run({"serve", "--name", "x"}, nullptr, &err), 1);
        EXPECT_NE(err.find(folder + " " + c.said), std::string::npos) << err;
        EXPECT_NE(err.find(c.as_nobody ? "(uid 65534)" : "(uid "), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    }
}

TEST_F(ProgramTest, ReaderKilledEarlierIsReplacedByANewOneOfTheSameName) {
    pid_t first = serve("again");
    stop(first, SIGKILL);
    ASSERT_TRUE(exists(socket_path("again")));  // left behind
    serve("again");
    EXPECT_EQ(open_within(MR_PID_IDTECH, 0), 0);
}

TEST_F(ProgramTest, KeyboardModeTypesTheSwipeAndSendsNoReport) {
    serve("kb", vr::Mode::Keyboard);
    ASSERT_EQ(open_within(MR_PID_KEYBOARD, 0), 0);
    ASSERT_EQ(run({"swipe", "--name", "kb", "--bad", "1"}), 0);
    const std::string expected = std::string("%E?\n") + kCardA.track2 + "\n";
    EXPECT_TRUE(Eventually([&] { return served_output("kb") == expected; }, 2000))
        << served_output("kb");
    unsigned char buf[MR_READ_BUF_LEN];
    EXPECT_EQ(ReadData(buf, 0, 0), 2) << "a keyboard gives no read handle";
}

// A file of cards swiped twice with a pause: every card arrives, in order,
// with its failed tracks, as reports in a HID mode and typed in keyboard mode.
TEST_F(ProgramTest, SwipeRepeatsTheCardsOfAFileInEachMode) {
    const std::string file = beside(dir(), "cards.txt");
    write_file(file, std::string("# two cards\r\n") + kCardA.track1 + "|" + kCardA.track2 +
                         "\r\n\n!|;42=1?\n");
    const std::string card1 = std::string(kCardA.track1) + "\n" + kCardA.track2 + "\n";
    const std::string card2 = "%E?\n;42=1?\n";
    for (vr::Mode mode : {vr::Mode::Idtech, vr::Mode::Keyboard}) {
        SCOPED_TRACE(vr::mode_name(mode));
        const std::string name = mode == vr::Mode::Keyboard ? "filekb" : "filehid";
        pid_t server = serve(name, mode);
        ASSERT_EQ(open_within(vr::product_id(mode), 0), 0);
        ASSERT_EQ(run({"swipe", "--name", name, "--file", file, "--repeat", "2", "--every", "2"}),
                  0);
        if (mode == vr::Mode::Keyboard) {
            const std::string expected = card1 + card2 + card1 + card2;
            EXPECT_TRUE(Eventually([&] { return served_output(name) == expected; }, 2000))
                << served_output(name);
        } else {
            for (int i = 0; i < 4; ++i) {
                SCOPED_TRACE(i);
                unsigned char buf[MR_READ_BUF_LEN];
                ASSERT_EQ(ReadData(buf, 2000, 0), 0);
                const bool first = i % 2 == 0;
                EXPECT_EQ(buf[2 + 1], first ? 0 : 1);  // track 1 status
                EXPECT_EQ(buf[2 + 5], first ? std::strlen(kCardA.track2) : 6u);
            }
            unsigned char buf[MR_READ_BUF_LEN];
            EXPECT_EQ(ReadData(buf, 0, 0), 3) << "a fifth card";
        }
        CloseUSB();
        stop(server);
    }
}

TEST_F(ProgramTest, StatusShowsBusStateAndHosts) {
    serve("show", vr::Mode::Magtek);
    std::string out;
    ASSERT_EQ(run({"status", "--name", "show"}, &out), 0);
    EXPECT_NE(out.find("mode: 3 USB/HID MAGTEK\nproduct id: 0x05B0\nbus: plugged\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("hosts: 0\n"), std::string::npos) << out;
    ASSERT_EQ(run({"unplug", "--name", "show"}), 0);
    ASSERT_EQ(run({"status", "--name", "show"}, &out), 0);
    EXPECT_NE(out.find("bus: unplugged"), std::string::npos) << out;
    EXPECT_FALSE(exists(socket_path("show")));
    ASSERT_EQ(run({"plug", "--name", "show"}), 0);
    EXPECT_TRUE(exists(socket_path("show")));
}

}  // namespace
