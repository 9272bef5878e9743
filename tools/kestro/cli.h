// The kestro command: shared pieces of its command groups.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kcli {

// Exit codes, as the help text lists them.
enum Exit : int {
    kOk = 0,
    kUsage = 1,     // bad usage; nothing was changed
    kNoReader = 2,  // no reader answered
    kFailed = 3,    // no card in time, or the reader refused or failed a command
};

struct Mode {
    const char* word;  // on the command line
    const char* name;  // as the reader's modes are called
    int32_t pid;
    int32_t number;  // ChangeMode's argument
};

// The three modes, in the order they are tried: the two HID modes first.
const std::vector<Mode>& modes();
const Mode* mode_by_word(const std::string& word);
const Mode* mode_by_pid(int32_t pid);

// Opens the reader in whichever mode answers; nullptr when none does (the
// session is then closed).
const Mode* open_reader();

// Milliseconds on a steady clock.
int64_t now_ms();

// Parses an integer in [low, high]; false for anything else.
bool parse_int(const std::string& text, long low, long high, long* value);
// Bytes given as hex, one argument each ("1f") or all in one ("1f2e3d").
bool parse_hex_bytes(const std::vector<std::string>& args, std::vector<uint8_t>* bytes);
// False when a word is not bytes in hex (an even number of hex digits, at
// least two); *bad is then the first such word.
bool all_hex_words(const std::vector<std::string>& args, std::string* bad);
// Upper-case hex, the bytes apart by `separator`.
std::string hex_bytes(const uint8_t* bytes, size_t count, const char* separator = " ");
// The value of --format: "" when good (then *json says which), else the
// error text.
std::string parse_format(const char* value, bool* json);

// The command group that usage errors point to for help ("" for none).
void set_usage_group(const std::string& group);
// Reports bad usage: one line on stderr, and kUsage.
int usage_error(const std::string& message);
// One line on stderr, and `code`.
int fail(int code, const std::string& message);

// The command groups; argv[0] is the group's word.
int run_list(int argc, char** argv);
int run_read(int argc, char** argv);
int run_mode(int argc, char** argv);
int run_config(int argc, char** argv);
int run_stats(int argc, char** argv);

// Help texts: the whole command's and each group's.
const char* help_text();
const char* group_help(const std::string& group);

}  // namespace kcli
