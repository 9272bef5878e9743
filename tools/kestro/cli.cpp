#include "cli.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "kestro.h"

namespace kcli {

const std::vector<Mode>& modes() {
    static const std::vector<Mode> all = {
        {"idtech", "USB/HID IDTECH", MR_PID_IDTECH, 2},
        {"magtek", "USB/HID MAGTEK", MR_PID_MAGTEK, 3},
        {"kb", "USB/KB", MR_PID_KEYBOARD, 1},
    };
    return all;
}

const Mode* mode_by_word(const std::string& word) {
    for (const Mode& m : modes()) {
        if (word == m.word) {
            return &m;
        }
    }
    return nullptr;
}

const Mode* mode_by_pid(int32_t pid) {
    for (const Mode& m : modes()) {
        if (pid == m.pid) {
            return &m;
        }
    }
    return nullptr;
}

const Mode* open_reader() {
    for (const Mode& m : modes()) {
        SetID(m.pid);
        if (OpenKestro() == 0) {
            return &m;
        }
        CloseKestro();
    }
    return nullptr;
}

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool parse_int(const std::string& text, long low, long high, long* value) {
    if (text.empty() || text.size() > 10) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high || !(text[0] >= '0' && text[0] <= '9')) {
        return false;
    }
    *value = v;
    return true;
}

bool parse_hex_bytes(const std::vector<std::string>& args, std::vector<uint8_t>* bytes) {
    bytes->clear();
    for (const std::string& arg : args) {
        if (arg.empty() || arg.size() % 2 != 0) {
            return false;
        }
        for (size_t i = 0; i < arg.size(); i += 2) {
            unsigned value = 0;
            for (size_t k = i; k < i + 2; ++k) {
                const char c = arg[k];
                unsigned digit;
                if (c >= '0' && c <= '9') {
                    digit = static_cast<unsigned>(c - '0');
                } else if (c >= 'a' && c <= 'f') {
                    digit = static_cast<unsigned>(c - 'a' + 10);
                } else if (c >= 'A' && c <= 'F') {
                    digit = static_cast<unsigned>(c - 'A' + 10);
                } else {
                    return false;
                }
                value = value * 16 + digit;
            }
            bytes->push_back(static_cast<uint8_t>(value));
        }
    }
    return true;
}

bool all_hex_words(const std::vector<std::string>& args, std::string* bad) {
    std::vector<uint8_t> bytes;
    for (const std::string& arg : args) {
        if (!parse_hex_bytes({arg}, &bytes)) {
            *bad = arg;
            return false;
        }
    }
    return true;
}

std::string hex_bytes(const uint8_t* bytes, size_t count, const char* separator) {
    std::string text;
    char two[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(two, sizeof two, "%02X", bytes[i]);
        if (i > 0) {
            text += separator;
        }
        text += two;
    }
    return text;
}

std::string parse_format(const char* value, bool* json) {
    const std::string v = value;
    if (v != "json" && v != "text") {
        return "bad --format '" + v + "' (text or json)";
    }
    *json = v == "json";
    return "";
}

namespace {
std::string usage_group;
}  // namespace

void set_usage_group(const std::string& group) {
    usage_group = group;
}

int usage_error(const std::string& message) {
    std::fprintf(stderr, "kestro: %s (try kestro %s%s--help)\n", message.c_str(),
                 usage_group.c_str(), usage_group.empty() ? "" : " ");
    return kUsage;
}

int fail(int code, const std::string& message) {
    std::fprintf(stderr, "kestro: %s\n", message.c_str());
    return code;
}

}  // namespace kcli
