// Where served readers live, and which of their directories and sockets this
// process may trust.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "served/paths.h"

namespace served {
namespace {

std::string& dir_override() {
    static std::string dir;
    return dir;
}

// Owned by this user and not writable by its group or by others.
bool private_to_us(const struct stat& st) {
    return st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// "user NAME (uid N)", or "uid N" for a user without a name.
std::string user_text(uid_t uid) {
    const passwd* pw = getpwuid(uid);
    const std::string number = "uid " + std::to_string(uid);
    return pw != nullptr && pw->pw_name != nullptr
               ? std::string("user ") + pw->pw_name + " (" + number + ")"
               : number;
}

bool runtime_dir_set() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && runtime[0] == '/';
}

}  // namespace

bool readers_requested() {
    const char* value = secure_getenv(kRequestVariable);
    return value != nullptr && value[0] == '1' && value[1] == '\0';
}

int answer_timeout_ms(std::string* problem) {
    problem->clear();
    const char* text = secure_getenv(kTimeoutVariable);
    if (text == nullptr || *text == '\0') {
        return kDefaultAnswerMs;
    }
    const std::string value = text;
    if (value.size() <= 5 && value.find_first_not_of("0123456789") == std::string::npos) {
        const int ms = std::stoi(value);
        if (ms >= 1 && ms <= kMaxAnswerMs) {
            return ms;
        }
    }
    *problem = std::string(kTimeoutVariable) + "='" + value + "' is not a time from 1 to " +
               std::to_string(kMaxAnswerMs) + " ms; " + std::to_string(kDefaultAnswerMs) +
               " ms are used";
    return kDefaultAnswerMs;
}

std::string reader_dir() {
    if (!dir_override().empty()) {
        return dir_override();
    }
    if (runtime_dir_set()) {
        return std::string(std::getenv("XDG_RUNTIME_DIR")) + "/kestro";
    }
    return "/tmp/kestro-" + std::to_string(geteuid());
}

void set_reader_dir(const std::string& dir) {
    dir_override() = dir;
}

std::string host_socket(const std::string& dir, const std::string& name) {
    return dir + "/" + name + ".sock";
}

std::string control_socket(const std::string& dir, const std::string& name) {
    return dir + "/" + name + ".ctl";
}

bool name_valid(const std::string& name) {
    if (name.empty() || name.size() > 32 || name[0] == '.') {
        return false;
    }
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '-' || c == '.';
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool dir_trusted(const std::string& path) {
    struct stat st;
    // lstat: a symbolic link could lead anywhere, so it is no directory here.
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && private_to_us(st);
}

bool socket_trusted(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && private_to_us(st);
}

std::string dir_problem(const std::string& dir) {
    struct stat st;
    if (lstat(dir.c_str(), &st) != 0 || (S_ISDIR(st.st_mode) && private_to_us(st))) {
        return "";
    }
    std::string text;
    if (S_ISLNK(st.st_mode)) {
        text = dir + " is taken: it is a symbolic link of " + user_text(st.st_uid);
    } else if (!S_ISDIR(st.st_mode)) {
        text = dir + " is taken: it is not a folder but a file of " + user_text(st.st_uid);
    } else if (st.st_uid != geteuid()) {
        text = "the folder " + dir + " is taken: it belongs to " + user_text(st.st_uid);
    } else {
        text = "the folder " + dir + " may be written by other users";
    }
    if (!runtime_dir_set() && dir_override().empty()) {
        text += "; set XDG_RUNTIME_DIR to a private folder of this user (for example /run/user/" +
                std::to_string(geteuid()) + ") to avoid it";
    } else {
        text += "; remove it, or make it a private folder of this user";
    }
    return text;
}

}  // namespace served
