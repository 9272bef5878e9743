// A stand-in for the reader library with a simple reader model and a fake
// clock: Sleep only advances the clock.
#ifndef KESTRO_UTILITY_TESTS_FAKE_LIBRARY_H
#define KESTRO_UTILITY_TESTS_FAKE_LIBRARY_H

#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "../logic/kestro_library.h"
#include "fake_view.h"

namespace kestro::testing {

inline constexpr int32_t kPidKeyboard = 0x0500;
inline constexpr int32_t kPidIdtech = 0x05A0;
inline constexpr int32_t kPidMagtek = 0x05B0;

class FakeLibrary : public KestroLibrary {
  public:
    explicit FakeLibrary(Trace& trace) : trace_(trace) {}

    // The product id the reader presents; none when unplugged.
    std::optional<int32_t> reader_pid;
    bool library_missing = false;
    std::set<std::string> missing_exports;
    int32_t change_mode_result = 0;
    int32_t reset_result = 0;
    // Whether the reader comes back under its new product id after a reset.
    bool returns_after_reset = true;
    // Buffer images handed out by the next ReadData calls of an open session.
    std::deque<std::vector<unsigned char>> reports;
    bool trace_reads = false;

    int64_t clock_ms = 0;
    int read_calls = 0;
    bool open = false;

    int32_t SetID(int32_t pid) override;
    int32_t OpenKestro() override;
    int32_t CloseKestro() override;
    int32_t ReadData(unsigned char* buffer, int32_t timeout, int32_t tag) override;
    int32_t ChangeMode(int32_t mode) override;
    int32_t ResetDevice(int32_t mode) override;
    void Sleep(int32_t milliseconds) override;

  private:
    void Bind(const std::string& name);

    Trace& trace_;
    int32_t selected_ = kPidKeyboard;
    int32_t requested_mode_ = 0;
};

// A card buffer image: statuses at 3..5, lengths at 6..8, text from start.
std::vector<unsigned char> CardBuffer(const std::vector<int>& statuses,
                                      const std::vector<int>& lengths, int start,
                                      const std::string& text);

}  // namespace kestro::testing

#endif
