#include "follow.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "kestro.h"

namespace kcli {
namespace {

// Longest single wait inside the library, so a long timeout stays a loop.
constexpr int32_t kSliceMs = 500;
// A read the library ends early without a card failed: the reader has most
// likely left. Slices shorter than this cannot tell.
constexpr int32_t kShortestTellingSliceMs = 20;
// While no card comes, how often the reader is asked whether it is still
// there (a read that started after it left would only time out).
constexpr int64_t kCheckEveryMs = 1000;
// How often a reader that has left is looked for.
constexpr int64_t kLookEveryMs = 100;
// Sessions in a row without a read handle before the reader counts as one
// that cannot be read.
constexpr int kMostUnreadable = 3;

}  // namespace

const Mode* FollowedReader::open() {
    mode_ = open_reader();
    checked_at_ = now_ms();
    return mode_;
}

void FollowedReader::close() {
    CloseKestro();
    mode_ = nullptr;
}

bool FollowedReader::still_there() {
    // Asking for the configuration is harmless to the reader; it answers
    // only while it is there. Reports that arrive meanwhile queue on the
    // read handle.
    uint8_t report[MR_FEATURE_LEN];
    if (GetMrState(report) == 0) {
        checked_at_ = now_ms();
        return true;
    }
    // A refused answer is no proof: the reader is there if it opens again.
    return reopen();
}

bool FollowedReader::reopen() {
    CloseKestro();
    SetID(mode_->pid);
    if (OpenKestro() == 0) {
        checked_at_ = now_ms();
        return true;
    }
    CloseKestro();
    return false;
}

bool FollowedReader::wait_until_back(int64_t deadline) {
    bool told_keyboard = false;
    for (;;) {
        for (const Mode& m : modes()) {
            SetID(m.pid);
            const bool answers = OpenKestro() == 0;
            if (answers && m.pid != MR_PID_KEYBOARD) {
                mode_ = &m;
                checked_at_ = now_ms();
                std::fprintf(stderr, "kestro: the reader is back in %s\n", m.name);
                return true;
            }
            CloseKestro();
            if (answers && !told_keyboard) {
                std::fprintf(stderr,
                             "kestro: the reader is back in USB/KB mode, which types cards as "
                             "keystrokes; waiting for it in an HID mode (kestro mode idtech)\n");
                told_keyboard = true;
            }
        }
        const int64_t left = deadline < 0 ? kLookEveryMs : deadline - now_ms();
        if (left <= 0) {
            return false;
        }
        std::this_thread::sleep_for(
            std::chrono::milliseconds(left < kLookEveryMs ? left : kLookEveryMs));
    }
}

FollowedReader::Outcome FollowedReader::next_card(int64_t deadline, Card* card, int32_t* status) {
    uint8_t buffer[MR_READ_BUF_LEN];
    for (;;) {
        const int64_t start = now_ms();
        const int64_t left = deadline < 0 ? kSliceMs : deadline - start;
        if (left <= 0) {
            return Outcome::NoCard;
        }
        const int32_t slice = static_cast<int32_t>(left < kSliceMs ? left : kSliceMs);
        *status = ReadData(buffer, slice, 0);
        if (*status == 1 || *status == 2) {
            // A session without a read handle: the reader was leaving as it
            // was opened (its node still listed, its read handle refused).
            // Once opened again it reads, or it has left; a reader that
            // keeps giving no read handle cannot be read.
            if (++unreadable_ > kMostUnreadable) {
                return Outcome::Failed;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kLookEveryMs));
            if (reopen()) {
                continue;
            }
        } else {
            unreadable_ = 0;
        }
        if (*status == 0) {
            checked_at_ = now_ms();
            if (decode_card(buffer, mode_->pid, card)) {
                return Outcome::Card;
            }
            continue;  // a report without a track
        }
        if (*status == 3) {
            const bool ended_early =
                slice >= kShortestTellingSliceMs && now_ms() - start < slice / 2;
            if (!ended_early && now_ms() - checked_at_ < kCheckEveryMs) {
                continue;
            }
            if (still_there()) {
                continue;
            }
        }
        std::fputs("kestro: the reader has left; waiting for it to come back\n", stderr);
        if (!wait_until_back(deadline)) {
            mode_ = nullptr;
            return Outcome::Gone;
        }
    }
}

}  // namespace kcli
