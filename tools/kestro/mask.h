// Card data as `kestro read` shows it by default: each card number with its
// first 6 and last 4 digits, the name and the discretionary data hidden.
#pragma once

#include <string>

namespace kcli {

// The character that stands for each hidden one.
constexpr char kHidden = '*';

// One decoded line, masked track by track (a track ends at its end sentinel
// '?', so two tracks in one line are masked each on its own). What a track
// keeps: its start sentinel, track 1's format code, the field separators,
// the card number's first 6 and last 4 digits (none of a number shorter than
// 13 digits), the 7 digits of expiry date and service code after the name or
// after '=', and the end sentinel. Every other character is hidden, so a
// line that follows no track layout is hidden whole. Lengths are unchanged.
std::string mask_line(const std::string& line);

}  // namespace kcli
