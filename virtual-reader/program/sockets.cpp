#include "sockets.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "served/client.h"
#include "served/paths.h"

namespace vrp {

bool make_private_dir(const std::string& dir, std::string* error) {
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = "cannot create " + dir + ": " + std::strerror(errno);
        return false;
    }
    struct stat st;
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
        *error = served::dir_problem(dir);
        if (error->empty()) {
            *error = dir + " is not a directory of this user";
        }
        return false;
    }
    if ((st.st_mode & 077) != 0 && chmod(dir.c_str(), 0700) != 0) {
        *error = "cannot make " + dir + " private: " + std::strerror(errno);
        return false;
    }
    return true;
}

int listen_at(const std::string& path, ino_t* inode, std::string* error) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        *error = "socket path too long: " + path;
        return -1;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    served::Connect why = served::Connect::Failed;
    const int probe = served::connect_socket(path, kConnectTimeoutMs, &why);
    if (probe >= 0) {
        close(probe);
    }
    struct stat st;
    switch (why) {
        case served::Connect::Missing:
            break;
        case served::Connect::Refused:
            // Only a socket of ours that no one listens on is a stale one.
            if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != geteuid()) {
                *error = path + " is in the way: it is not a socket of this user";
                return -1;
            }
            unlink(path.c_str());
            break;
        case served::Connect::Connected:
            *error = "a reader is already served at " + path;
            return -1;
        case served::Connect::Busy:
            *error = "a reader is already served at " + path +
                     ", but it takes no connection (stopped?); it is left alone";
            return -1;
        case served::Connect::Failed:
            *error =
                "cannot tell whether a reader is served at " + path + ": " + std::strerror(errno);
            return -1;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    // Only this user may connect, from the moment the file exists.
    mode_t old = umask(0177);
    int bound = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    umask(old);
    if (bound != 0 || listen(fd, 16) != 0 || lstat(path.c_str(), &st) != 0) {
        *error = "cannot listen at " + path + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    *inode = st.st_ino;
    return fd;
}

void unlink_socket(const std::string& path, ino_t inode) {
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_ino == inode) {
        unlink(path.c_str());
    }
}

int connect_to(const std::string& path) {
    return served::connect_socket(path, kConnectTimeoutMs);
}

}  // namespace vrp
