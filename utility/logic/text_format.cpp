#include "text_format.h"

#include <cstdio>

namespace kestro {

std::string Hex(int32_t value) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(static_cast<uint32_t>(value)));
    return digits;
}

std::string ErrorReportText(const RunTimeError& error) {
    const int32_t number = error.number();
    return error.description() + " " + (number >= 0 ? " " : "") + std::to_string(number);
}

std::string RunTimeErrorMessage(const RunTimeError& error) {
    return "Run-time error '" + std::to_string(error.number()) + "':\r\n\r\n" + error.description();
}

std::string UpperTail6(const std::string& text) {
    std::string tail = text.size() > 6 ? text.substr(text.size() - 6) : text;
    for (char& c : tail) {
        // Plain ASCII folding: the same result whatever locale the toolkit set.
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return tail;
}

}  // namespace kestro
