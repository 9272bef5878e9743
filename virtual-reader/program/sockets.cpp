#include "sockets.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vrp {
namespace {

bool make_address(const std::string& path, sockaddr_un* addr) {
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (path.size() >= sizeof addr->sun_path) {
        return false;
    }
    std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

bool make_private_dir(const std::string& dir, std::string* error) {
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = "cannot create " + dir + ": " + std::strerror(errno);
        return false;
    }
    struct stat st;
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
        *error = dir + " is not a directory of this user";
        return false;
    }
    if ((st.st_mode & 077) != 0 && chmod(dir.c_str(), 0700) != 0) {
        *error = "cannot make " + dir + " private: " + std::strerror(errno);
        return false;
    }
    return true;
}

int listen_at(const std::string& path, std::string* error) {
    sockaddr_un addr;
    if (!make_address(path, &addr)) {
        *error = "socket path too long: " + path;
        return -1;
    }
    if (someone_listens(path)) {
        *error = "a reader is already served at " + path;
        return -1;
    }
    unlink(path.c_str());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    // Only this user may connect, from the moment the file exists.
    mode_t old = umask(0177);
    int bound = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    umask(old);
    if (bound != 0 || listen(fd, 16) != 0) {
        *error = "cannot listen at " + path + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

bool someone_listens(const std::string& path) {
    int fd = connect_to(path);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

int connect_to(const std::string& path) {
    sockaddr_un addr;
    if (!make_address(path, &addr)) {
        return -1;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace vrp
