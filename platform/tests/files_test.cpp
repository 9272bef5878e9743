// Files in the directory that stands for the drive root (the trace's
// "\kestro.log"): opened only when they exist, appended to, and only when
// they are the caller's own regular file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "kp/platform.h"
#include "kp/winapi.h"

namespace {

const DWORD kRW = GENERIC_READ | GENERIC_WRITE;

// The trace's own open: read and write, shared, only if it exists.
HANDLE open_trace(const char* name = "\\kestro.log") {
    return CreateFileA(name, kRW, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class DriveFileTest : public ::testing::Test {
  public:
    std::string dir;
    int fifo_fd = -1;  // holds a FIFO open and full

  protected:
    void SetUp() override {
        kp::reset_platform();
        char tmpl[] = "/tmp/kp-drive-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        kp::set_drive_root(dir);
    }
    void TearDown() override {
        if (fifo_fd >= 0) {
            ::close(fifo_fd);
        }
        kp::reset_platform();
        EXPECT_EQ(kp::open_handle_count(), 0u);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

TEST_F(DriveFileTest, DriveFilesOpenOnlyWhenTheyExistAndAppend) {
    EXPECT_EQ(open_trace("\\log.txt"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    std::string file = dir + "/log.txt";
    std::ofstream(file) << "ab";
    HANDLE f = open_trace("\\log.txt");
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetFilePointer(f, 0, nullptr, FILE_END), 2u);
    DWORD n = 0;
    EXPECT_TRUE(WriteFile(f, "cd", 2, &n, nullptr));
    EXPECT_EQ(n, 2u);
    CloseHandle(f);
    EXPECT_EQ(read_all(file), "abcd");
}

// What "\kestro.log" is in the drive root, and what it points to (the file
// whose content must stay as it was).
struct Planted {
    const char* what;
    // Makes the log; returns a reason to skip, or "" when made.
    std::string (*make)(DriveFileTest& t, const std::string& log, const std::string& target);
    bool held_full_fifo;  // writing to it would block
};

void PrintTo(const Planted& p, std::ostream* os) {
    *os << p.what;
}

class TraceRefusesTest : public DriveFileTest, public ::testing::WithParamInterface<Planted> {};

std::string make_symlink(DriveFileTest&, const std::string& log, const std::string& target) {
    return ::symlink(target.c_str(), log.c_str()) == 0 ? "" : "symlink failed";
}

std::string make_hard_link(DriveFileTest&, const std::string& log, const std::string& target) {
    return ::link(target.c_str(), log.c_str()) == 0 ? "" : "link failed";
}

std::string make_full_fifo(DriveFileTest& t, const std::string& log, const std::string&) {
    if (::mkfifo(log.c_str(), 0600) != 0) {
        return "mkfifo failed";
    }
    // Opened for reading and writing, so it has a reader and a writer and
    // never sees an end; filled until another byte would block.
    t.fifo_fd = ::open(log.c_str(), O_RDWR | O_NONBLOCK);
    if (t.fifo_fd < 0) {
        return "open of the FIFO failed";
    }
    char block[4096] = {};
    while (::write(t.fifo_fd, block, sizeof block) > 0) {
    }
    return errno == EAGAIN ? "" : "filling the FIFO failed";
}

std::string make_directory(DriveFileTest&, const std::string& log, const std::string&) {
    return ::mkdir(log.c_str(), 0700) == 0 ? "" : "mkdir failed";
}

std::string make_other_users_file(DriveFileTest&, const std::string& log, const std::string&) {
    if (::geteuid() != 0) {
        return "only root can give a file to another user";
    }
    std::ofstream(log) << "theirs";
    const uid_t nobody = 65534;
    return ::chown(log.c_str(), nobody, nobody) == 0 ? "" : "chown failed";
}

TEST_P(TraceRefusesTest, NoHandleNoHangAndTheTargetUnchanged) {
    const Planted& p = GetParam();
    // A file only its owner may write, as a root-only file would be.
    std::string target = dir + "/target";
    std::ofstream(target) << "keep";
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    std::string planted = dir + "/kestro.log";
    std::string skip = p.make(*this, planted, target);
    if (!skip.empty()) {
        GTEST_SKIP() << skip;
    }
    struct stat before {};
    ASSERT_EQ(::lstat(planted.c_str(), &before), 0);
    std::string planted_text = S_ISREG(before.st_mode) ? read_all(planted) : "";

    SetLastError(0xDEAD);
    HANDLE h = open_trace();
    EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "the trace opened " << p.what;
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    if (h != INVALID_HANDLE_VALUE) {
        // Show what the trace would have done, unless that would block.
        if (!p.held_full_fifo) {
            DWORD n = 0;
            SetFilePointer(h, 0, nullptr, FILE_END);
            WriteFile(h, "trace", 5, &n, nullptr);
        }
        CloseHandle(h);
    }

    EXPECT_EQ(read_all(target), "keep");
    struct stat after {};
    ASSERT_EQ(::lstat(planted.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_size, before.st_size);
    if (S_ISREG(after.st_mode)) {
        EXPECT_EQ(read_all(planted), planted_text);
    }
}

std::string planted_name(const ::testing::TestParamInfo<Planted>& info) {
    return info.param.what;
}

INSTANTIATE_TEST_SUITE_P(Planted, TraceRefusesTest,
                         ::testing::Values(Planted{"Symlink", make_symlink, false},
                                           Planted{"HardLink", make_hard_link, false},
                                           Planted{"FifoHeldFull", make_full_fifo, true},
                                           Planted{"Directory", make_directory, false},
                                           Planted{"OtherUsersFile", make_other_users_file, false}),
                         planted_name);

TEST(DriveRootTest, TheDriveRootComesFromTheEnvironmentWhenAbsolute) {
    const struct {
        const char* value;  // nullptr: unset
        const char* root;
    } cases[] = {
        {nullptr, "/"},
        {"", "/"},
        {"relative/dir", "/"},
        {"/home/u", "/home/u"},
        {"/tmp/trace/", "/tmp/trace/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "(unset)");
        if (c.value != nullptr) {
            setenv(kp::kDriveRootVariable, c.value, 1);
        } else {
            unsetenv(kp::kDriveRootVariable);
        }
        EXPECT_EQ(kp::drive_root_from_environment(), c.root);
    }
    unsetenv(kp::kDriveRootVariable);
}

}  // namespace
