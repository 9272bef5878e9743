// The reader's device model: identity per mode, the feature commands, and the
// card data a swipe produces in each mode.
#include "vr/model.h"

#include <algorithm>

namespace vr {

namespace {

// Command codes in byte 1 of a feature report.
constexpr uint8_t kCmdSetState = 0xB2;
constexpr uint8_t kCmdGetState = 0xB3;
constexpr uint8_t kCmdChangeMode = 0xBE;
constexpr uint8_t kCmdFlushCounter = 0xBF;
constexpr uint8_t kCmdResetStatistics = 0xC0;
constexpr uint8_t kCmdRetrieveStatistics = 0xD0;
constexpr uint8_t kCmdUpdateStatistics = 0xE0;
constexpr uint8_t kCmdReset = 0xFF;
constexpr uint8_t kResetMark = 0xAA;

constexpr size_t kSetStateShort = 10;
constexpr uint8_t kCarriageReturn = 13;
constexpr uint8_t kRetrieveFill = 0xA0;  // filler of a forced retrieve count
constexpr int kDefaultBadCount = 255;    // bad retrieve count when none is given

bool valid_record(int index) {
    return index >= 1 && index <= kStatRecords;
}

// First report byte of the track text.
size_t text_offset(Mode mode) {
    return mode == Mode::Magtek ? 8 : 10;
}

char start_sentinel(int track) {
    return track == 0 ? '%' : ';';
}

}  // namespace

uint16_t product_id(Mode mode) {
    switch (mode) {
        case Mode::Keyboard:
            return 0x0500;
        case Mode::Idtech:
            return 0x05A0;
        case Mode::Magtek:
            return 0x05B0;
    }
    return 0;
}

const char* mode_name(Mode mode) {
    switch (mode) {
        case Mode::Keyboard:
            return "USB/KB";
        case Mode::Idtech:
            return "USB/HID IDTECH";
        case Mode::Magtek:
            return "USB/HID MAGTEK";
    }
    return "";
}

size_t input_report_length(Mode mode) {
    switch (mode) {
        case Mode::Keyboard:
            return 0;
        case Mode::Idtech:
            return kIdtechReportLength;
        case Mode::Magtek:
            return kMagtekReportLength;
    }
    return 0;
}

ReaderModel::ReaderModel(Mode mode) : mode_(mode), pending_mode_(mode) {}

bool ReaderModel::set_feature(const uint8_t* report, size_t length, Effect* effect) {
    if (effect != nullptr) {
        *effect = Effect::None;
    }
    if (report == nullptr) {
        received.emplace_back();
        remember(false, false, nullptr, 0, "unknown");
        return false;
    }
    received.emplace_back(report, report + length);
    const bool accepted = set_feature_checked(report, length, effect);
    remember(false, accepted, report, length, command_name(report, length));
    return accepted;
}

bool ReaderModel::set_feature_checked(const uint8_t* report, size_t length, Effect* effect) {
    if (faults.reject_all || scenario.hit(Fault::RejectCommands)) {
        return false;
    }
    // Only the 25-byte frame is interpreted, whatever the host sent.
    const size_t n = std::min(length, kFeatureLength);
    if (n < 2 || report[0] != 0x00) {
        return false;
    }

    switch (report[1]) {
        case kCmdSetState: {
            if (n < kSetStateShort) {
                return false;
            }
            const bool is_short = length == kSetStateShort;
            if (is_short ? faults.reject_short_set_state || scenario.hit(Fault::RejectShortConfig)
                         : faults.reject_long_set_state || scenario.hit(Fault::RejectLongConfig)) {
                return false;
            }
            std::copy(report + 2, report + 2 + kStateLength, state_.begin());
            return true;
        }
        case kCmdGetState: {
            answer_.assign(kFeatureLength, 0);
            answer_[1] = kCmdGetState;
            std::copy(state_.begin(), state_.end(), answer_.begin() + 2);
            answer_[9] = static_cast<uint8_t>(mode_);
            const uint16_t pid = product_id();
            answer_[10] = static_cast<uint8_t>(pid & 0xFF);
            answer_[11] = static_cast<uint8_t>(pid >> 8);
            answer_[12] = static_cast<uint8_t>(kVersion & 0xFF);
            answer_[13] = static_cast<uint8_t>(kVersion >> 8);
            answer_command_ = "MR_CMD_GET_STATE";
            return true;
        }
        case kCmdChangeMode: {
            if (n < 3 || report[2] < '1' || report[2] > '3') {
                return false;
            }
            pending_mode_ = static_cast<Mode>(report[2] - '0');
            mode_changes_++;
            return true;
        }
        case kCmdReset: {
            if (n < 3 || report[2] != kResetMark) {
                return false;
            }
            if (effect != nullptr) {
                *effect = Effect::Restart;
            }
            resets_++;
            return true;
        }
        case kCmdFlushCounter:
            flushes_++;
            return true;
        case kCmdResetStatistics: {
            if (n < 3 || !valid_record(report[2])) {
                return false;
            }
            stats_[report[2]].clear();
            return true;
        }
        case kCmdRetrieveStatistics: {
            if (n < 3 || !valid_record(report[2])) {
                return false;
            }
            const std::vector<uint8_t>& record = stats_[report[2]];
            answer_.assign(kFeatureLength, 0);
            answer_[1] = static_cast<uint8_t>(record.size());
            std::copy(record.begin(), record.end(), answer_.begin() + 2);
            answer_command_ = "MR_CMD_RETRIEVE_STATISTICS";
            int count = faults.retrieve_count;
            if (scenario.hit(Fault::BadRetrieveCount, &count) && count < 0) {
                count = kDefaultBadCount;
            }
            if (count >= 0) {
                answer_[1] = static_cast<uint8_t>(std::min(count, 255));
                for (size_t i = record.size(); i + 2 < kFeatureLength; ++i) {
                    answer_[i + 2] = static_cast<uint8_t>(kRetrieveFill + i);
                }
            }
            return true;
        }
        case kCmdUpdateStatistics: {
            if (n < 4 || !valid_record(report[2]) || report[3] > kStatRecordMax) {
                return false;
            }
            const size_t len = report[3];
            if (4 + len > n) {
                return false;
            }
            stats_[report[2]].assign(report + 4, report + 4 + len);
            return true;
        }
        default:
            return false;
    }
}

bool ReaderModel::get_feature(uint8_t* report, size_t length) {
    const std::string command = answer_.empty() ? "none" : answer_command_;
    if (faults.fail_get || scenario.hit(Fault::FailGet) || report == nullptr) {
        remember(true, false, nullptr, 0, command);
        return false;
    }
    const size_t n = std::min(length, kFeatureLength);
    if (answer_.empty()) {
        std::fill(report, report + n, 0);
    } else {
        std::copy(answer_.begin(), answer_.begin() + n, report);
    }
    remember(true, true, report, n, command);
    return true;
}

void ReaderModel::restart() {
    mode_ = pending_mode_;
    answer_.clear();
}

void ReaderModel::note_unanswered(bool get, const uint8_t* report, size_t length) {
    remember(get, false, report, length,
             get ? (answer_.empty() ? "none" : answer_command_) : command_name(report, length));
    if (!history_.empty()) {
        history_.back().unanswered = true;
    }
}

void ReaderModel::remember(bool get, bool accepted, const uint8_t* bytes, size_t length,
                           std::string command) {
    FeatureRecord r;
    r.time_ms = clock_ ? clock_() : 0;
    r.get = get;
    r.accepted = accepted;
    r.length = length;
    if (bytes != nullptr) {
        r.bytes.assign(bytes, bytes + std::min(length, kFeatureLength));
    }
    r.command = std::move(command);
    history_.push_back(std::move(r));
    while (history_.size() > history_length_) {
        history_.pop_front();
    }
}

void ReaderModel::set_history_length(size_t length) {
    history_length_ = length;
    while (history_.size() > history_length_) {
        history_.pop_front();
    }
}

void ReaderModel::clear_counts() {
    flushes_ = 0;
    resets_ = 0;
    mode_changes_ = 0;
    history_.clear();
}

std::string command_name(const uint8_t* report, size_t length) {
    if (report == nullptr || length < 2 || report[0] != 0x00) {
        return "unknown";
    }
    switch (report[1]) {
        case kCmdSetState:
            return length == kSetStateShort ? "MR_CMD_SET_STATE short" : "MR_CMD_SET_STATE";
        case kCmdGetState:
            return "MR_CMD_GET_STATE";
        case kCmdChangeMode:
            return "MR_CMD_CHANGE_MODE";
        case kCmdFlushCounter:
            return "MR_CMD_FLUSH_COUNTER";
        case kCmdResetStatistics:
            return "MR_CMD_RESET_STATISTICS";
        case kCmdRetrieveStatistics:
            return "MR_CMD_RETRIEVE_STATISTICS";
        case kCmdUpdateStatistics:
            return "MR_CMD_UPDATE_STATISTICS";
        case kCmdReset:
            return "MR_CMD_RESET";
        default:
            return "unknown";
    }
}

std::vector<uint8_t> ReaderModel::swipe_report(const Track tracks[3]) const {
    const size_t size = input_report_length(mode_);
    if (size == 0) {
        return {};
    }
    std::vector<uint8_t> report(size, 0);
    size_t pos = text_offset(mode_);
    for (int t = 0; t < 3; ++t) {
        const Track& track = tracks[t];
        report[1 + t] = track.status;
        if (track.status != 0 || track.text.empty()) {
            continue;
        }
        report[4 + t] = static_cast<uint8_t>(std::min<size_t>(track.text.size(), 255));
        // The text and its carriage return, as far as the report has room.
        const size_t room = size - pos;
        const size_t take = std::min(track.text.size(), room);
        std::copy(track.text.begin(), track.text.begin() + take, report.begin() + pos);
        pos += take;
        if (pos < size) {
            report[pos++] = kCarriageReturn;
        }
    }
    return report;
}

std::string ReaderModel::keystrokes(const Track tracks[3]) {
    // Room for all of it first: a string that grows frees copies of the
    // tracks typed so far, and they are card data.
    size_t length = 0;
    for (int t = 0; t < 3; ++t) {
        length += std::max<size_t>(tracks[t].text.size(), 3) + 1;
    }
    std::string typed;
    typed.reserve(length);
    for (int t = 0; t < 3; ++t) {
        const Track& track = tracks[t];
        if (track.status != 0) {
            typed += start_sentinel(t);
            typed += "E?";
            typed += static_cast<char>(kCarriageReturn);
        } else if (!track.text.empty()) {
            typed += track.text;
            typed += static_cast<char>(kCarriageReturn);
        }
    }
    return typed;
}

const std::vector<uint8_t>& ReaderModel::statistics(int index) const {
    static const std::vector<uint8_t> kNone;
    return valid_record(index) ? stats_[index] : kNone;
}

}  // namespace vr
