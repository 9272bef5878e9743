// A failure raised while a handler runs: a number and a description, as the
// classic BASIC runtime reports them. Handlers either trap it (the card read)
// or let it end the program with the run-time error message.
#ifndef KESTRO_UTILITY_LOGIC_RUN_TIME_ERROR_H
#define KESTRO_UTILITY_LOGIC_RUN_TIME_ERROR_H

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kestro {

// Error numbers the utility raises.
inline constexpr int32_t kErrOverflow = 6;
inline constexpr int32_t kErrSubscriptOutOfRange = 9;
inline constexpr int32_t kErrFileNotFound = 53;
// A property or method the control does not have, or a value it refuses.
inline constexpr int32_t kErrInvalidPropertyValue = 380;
// A control name the window does not have.
inline constexpr int32_t kErrObjectRequired = 424;
inline constexpr int32_t kErrEntryPointNotFound = 453;

class RunTimeError : public std::runtime_error {
  public:
    RunTimeError(int32_t number, const std::string& description)
        : std::runtime_error(description), number_(number), description_(description) {}

    int32_t number() const { return number_; }
    const std::string& description() const { return description_; }

  private:
    int32_t number_;
    std::string description_;
};

}  // namespace kestro

#endif
