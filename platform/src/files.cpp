#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "kp/platform.h"

namespace kp {
namespace {

std::string& root() {
    static std::string r = drive_root_from_environment();
    return r;
}

}  // namespace

std::string drive_root_from_environment() {
    const char* dir = secure_getenv(kDriveRootVariable);
    return dir != nullptr && dir[0] == '/' ? std::string(dir) : std::string("/");
}

void set_drive_root(const std::string& dir) {
    root() = dir.empty() ? "/" : dir;
}

const std::string& drive_root() {
    return root();
}

File::~File() {
    ::close(fd);
}

HANDLE open_drive_file(LPCSTR name, DWORD access, DWORD disposition) {
    if (disposition != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);  // the library never creates files
        return INVALID_HANDLE_VALUE;
    }
    std::string path = root();
    if (path.back() != '/') {
        path += '/';
    }
    for (const char* p = name + 1; *p != '\0'; ++p) {
        path += *p == '\\' ? '/' : *p;
    }
    // The drive root may be a directory that other users can write (a
    // KESTRO_TRACE_DIR of /tmp, or a user's folder while root runs with that
    // user's environment), so only the caller's own plain file is used: a
    // symlink is not followed, a FIFO or device cannot block the open, and
    // anything but a regular file with one link, owned by the effective
    // user, is refused as Windows refuses a file it may not open.
    int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    bool r = (access & GENERIC_READ) != 0;
    bool w = (access & GENERIC_WRITE) != 0;
    flags |= r && w ? O_RDWR : w ? O_WRONLY : O_RDONLY;
    int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_FILE_NOT_FOUND
                                                         : ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        st.st_nlink != 1 || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return handle_insert(std::make_unique<File>(fd));
}

}  // namespace kp

DWORD SetFilePointer(HANDLE h, LONG distance, PLONG distance_high, DWORD method) {
    auto* f = kp::handle_as<kp::File>(h);
    if (f == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t offset = distance;
    if (distance_high != nullptr) {
        offset = static_cast<int64_t>(
            (static_cast<uint64_t>(static_cast<uint32_t>(*distance_high)) << 32) |
            static_cast<uint32_t>(distance));
    }
    int whence = method == FILE_END ? SEEK_END : method == FILE_CURRENT ? SEEK_CUR : SEEK_SET;
    off_t pos = ::lseek(f->fd, static_cast<off_t>(offset), whence);
    if (pos < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (distance_high != nullptr) {
        *distance_high = static_cast<LONG>(static_cast<uint64_t>(pos) >> 32);
    }
    return static_cast<DWORD>(pos);
}
