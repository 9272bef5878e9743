// Texts the window builds from numbers.
#ifndef KESTRO_UTILITY_LOGIC_TEXT_FORMAT_H
#define KESTRO_UTILITY_LOGIC_TEXT_FORMAT_H

#include <cstdint>
#include <string>

#include "run_time_error.h"

namespace kestro {

// Upper-case hexadecimal, no prefix, no leading zeros; a negative value as
// its eight-digit two's complement.
std::string Hex(int32_t value);

// The card read's error report: description, a blank, then the number, which
// gets a leading blank when it is not negative.
std::string ErrorReportText(const RunTimeError& error);

// The message shown when an untrapped run-time error ends the program.
std::string RunTimeErrorMessage(const RunTimeError& error);

// The last six characters of text (all of it when shorter), in upper case.
std::string UpperTail6(const std::string& text);

}  // namespace kestro

#endif
