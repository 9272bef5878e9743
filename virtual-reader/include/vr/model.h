// The device model of the card reader: what a reader does, with no notion of
// how it is reached. The in-process device (for the library's tests) and the
// reader program both host one ReaderModel.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "vr/faults.h"

namespace vr {

constexpr uint16_t kVendorId = 0x3E7A;
constexpr uint16_t kVersion = 0x0100;
constexpr size_t kFeatureLength = 25;  // feature reports, report id included
constexpr size_t kIdtechReportLength = 538;
constexpr size_t kMagtekReportLength = 338;
constexpr size_t kStateLength = 7;
constexpr int kStatRecords = 15;       // statistics records 1 to 15
constexpr size_t kStatRecordMax = 21;  // data bytes a record holds
constexpr int64_t kRestartMs = 1000;   // time a reset takes before it comes back

enum class Mode { Keyboard = 1, Idtech = 2, Magtek = 3 };

uint16_t product_id(Mode mode);
const char* mode_name(Mode mode);  // "USB/KB", "USB/HID IDTECH", "USB/HID MAGTEK"
// Input report length of a mode (0 in keyboard mode: no input reports).
size_t input_report_length(Mode mode);

// One track of a swipe: its ISO text without the carriage return, and the
// decode status the reader reports (0 read well).
struct Track {
    std::string text;
    uint8_t status = 0;
};

// What a test or a user can make the reader do wrong.
struct Faults {
    bool reject_long_set_state = false;   // reject the 25-byte set-configuration
    bool reject_short_set_state = false;  // reject the 10-byte set-configuration
    bool reject_all = false;              // reject every set-feature
    bool fail_get = false;                // fail every get-feature
    // >= 0: count byte of every retrieve answer (255 at most); the data bytes
    // are then the record followed by 0xA0 + i at data position i, up to the
    // end of the report.
    int retrieve_count = -1;
};

// The name of the command a feature report carries, as kestro.h names it
// ("MR_CMD_SET_STATE", ...; the 10-byte form of the set-configuration
// report is "MR_CMD_SET_STATE short"), or "unknown".
std::string command_name(const uint8_t* report, size_t length);

// One feature report exchanged with the host, as the status shows it.
struct FeatureRecord {
    int64_t time_ms = 0;         // on the model's clock
    bool get = false;            // a get-feature answer (else a set-feature report)
    bool accepted = false;       // set: accepted; get: answered
    bool unanswered = false;     // the host left it without an answer
    size_t length = 0;           // its whole length
    std::vector<uint8_t> bytes;  // its first kFeatureLength bytes at most
    std::string command;         // command_name of a set report, of the request a get answers
};

// What the model asks its host to do after a command.
enum class Effect { None, Restart };

class ReaderModel {
  public:
    explicit ReaderModel(Mode mode = Mode::Idtech);

    Mode mode() const { return mode_; }
    uint16_t product_id() const { return vr::product_id(mode_); }

    // A set-feature report from the host (byte 0 the report id 0). Returns
    // whether the reader accepts it; `effect` tells the host what follows.
    bool set_feature(const uint8_t* report, size_t length, Effect* effect);
    // A get-feature request: answers the last get-configuration or retrieve
    // request into `report` (length bytes, byte 0 report id 0). At most the
    // 25 bytes of the frame are written; zeros when nothing was requested.
    //
    // Get-configuration answer (25 bytes):
    //   0       0x00 (report id)
    //   1       0xB3
    //   2 to 8  the seven configuration bytes
    //   9       mode number: 1 keyboard, 2 IDTECH, 3 MAGTEK
    //   10, 11  product id of the current mode, low byte first
    //   12, 13  kVersion, low byte first
    //   14..24  0x00
    // Retrieve answer: 0x00, the record's byte count, the record's bytes, zeros.
    // A rejected set-feature changes nothing, the prepared answer included.
    bool get_feature(uint8_t* report, size_t length);

    // The host leaves a feature request unanswered (a scenario fault): it is
    // kept in the history only, with the command it carries.
    void note_unanswered(bool get, const uint8_t* report, size_t length);

    // The host restarted the reader: a pending mode change takes effect.
    void restart();

    // Builds the input report of a swipe in the current HID mode; empty in
    // keyboard mode, where a swipe is typed as keystrokes instead.
    std::vector<uint8_t> swipe_report(const Track tracks[3]) const;
    // What a keyboard-mode reader types for a swipe: each track between its
    // sentinels, a failed track as "E" between them, each followed by CR.
    // Made in one block, so that nothing of it is freed on the way.
    static std::string keystrokes(const Track tracks[3]);

    const std::array<uint8_t, kStateLength>& state() const { return state_; }
    const std::vector<uint8_t>& statistics(int index) const;  // 1 to 15
    uint32_t flush_count() const { return flushes_; }
    uint32_t reset_count() const { return resets_; }              // accepted resets
    uint32_t mode_change_count() const { return mode_changes_; }  // accepted mode changes
    Mode pending_mode() const { return pending_mode_; }

    // The last feature reports exchanged, oldest first: kHistoryLength of
    // them unless set otherwise (0 keeps none).
    static constexpr size_t kHistoryLength = 16;
    const std::deque<FeatureRecord>& history() const { return history_; }
    void set_history_length(size_t length);
    // Sets the counts of flushes, resets and mode changes to 0 and forgets
    // the history.
    void clear_counts();
    // The clock of the history's times (milliseconds; 0 without one).
    void set_clock(std::function<int64_t()> clock) { clock_ = std::move(clock); }

    // Faults that stay until changed (the library's tests set them directly).
    Faults faults;
    // The named scenario faults, set once or until cleared; the model acts on
    // those of its feature commands.
    FaultTable scenario;
    // Every set-feature report received, as received (a host that runs for
    // long clears it).
    std::vector<std::vector<uint8_t>> received;

  private:
    bool set_feature_checked(const uint8_t* report, size_t length, Effect* effect);
    void remember(bool get, bool accepted, const uint8_t* bytes, size_t length,
                  std::string command);

    Mode mode_;
    Mode pending_mode_;
    std::array<uint8_t, kStateLength> state_{};
    std::array<std::vector<uint8_t>, kStatRecords + 1> stats_{};
    std::vector<uint8_t> answer_;  // answer to the last get request
    std::string answer_command_;   // the request the prepared answer belongs to
    uint32_t flushes_ = 0;
    uint32_t resets_ = 0;
    uint32_t mode_changes_ = 0;
    std::deque<FeatureRecord> history_;
    size_t history_length_ = kHistoryLength;
    std::function<int64_t()> clock_;
};

}  // namespace vr
