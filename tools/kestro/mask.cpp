#include "mask.h"

namespace kcli {
namespace {

bool digit(char c) {
    return c >= '0' && c <= '9';
}

// Digits kept at each end of a card number, and the shortest number that
// keeps any (shorter ones would show too large a share).
constexpr size_t kKeepFirst = 6;
constexpr size_t kKeepLast = 4;
constexpr size_t kShortestKept = 13;
// Expiry date (YYMM) and service code.
constexpr size_t kExpiryAndService = 7;

std::string mask_track(const std::string& t) {
    std::string m(t.size(), kHidden);
    size_t i = 0;
    auto keep = [&](size_t at) { m[at] = t[at]; };
    if (i < t.size() && (t[i] == '%' || t[i] == ';' || t[i] == '+')) {
        keep(i++);
    }
    if (t[0] == '%' && i < t.size() && t[i] >= 'A' && t[i] <= 'Z') {
        keep(i++);  // track 1's format code
    }
    const size_t number = i;
    while (i < t.size() && digit(t[i])) {
        ++i;
    }
    if (i - number >= kShortestKept) {
        for (size_t k = 0; k < kKeepFirst; ++k) {
            keep(number + k);
        }
        for (size_t k = i - kKeepLast; k < i; ++k) {
            keep(k);
        }
    }
    auto keep_expiry_and_service = [&] {
        for (size_t k = 0; k < kExpiryAndService && i < t.size() && digit(t[i]); ++k) {
            keep(i++);
        }
    };
    if (i < t.size() && t[i] == '^') {
        keep(i++);
        while (i < t.size() && t[i] != '^' && t[i] != '?') {
            ++i;  // the name
        }
        if (i < t.size() && t[i] == '^') {
            keep(i++);
            keep_expiry_and_service();
        }
    } else if (i < t.size() && t[i] == '=') {
        keep(i++);
        keep_expiry_and_service();
    }
    if (t.back() == '?') {
        keep(t.size() - 1);
    }
    return m;
}

}  // namespace

std::string mask_line(const std::string& line) {
    std::string masked;
    size_t start = 0;
    while (start < line.size()) {
        size_t end = line.find('?', start);
        end = end == std::string::npos ? line.size() : end + 1;
        masked += mask_track(line.substr(start, end - start));
        start = end;
    }
    return masked;
}

}  // namespace kcli
