// Card reading: the read timer, one read per tick, decoding and display.
#include <array>
#include <optional>

#include "card_lines.h"
#include "form1_logic.h"
#include "text_format.h"

namespace kestro {

namespace {
constexpr std::size_t kCardBufferSize = 1025;
constexpr int32_t kReadTimeoutMs = 2;
constexpr int32_t kReadTag = 0;
constexpr Rgb kCardBoxColor{255, 255, 192};

// Buffer positions: three statuses, then three lengths.
constexpr std::size_t kStatusAt = 3;
constexpr std::size_t kLengthAt = 6;

// Raised in place of a subscript or overflow failure of the runtime.
const RunTimeError kSubscriptOutOfRange(kErrSubscriptOutOfRange, "Subscript out of range");
const RunTimeError kOverflow(kErrOverflow, "Overflow");

// Clears a flag when the scope ends, however it ends.
class FlagScope {
  public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

  private:
    bool& flag_;
};
}  // namespace

void Form1Logic::StartReading() {
    view_.SetBackColor(ctl::txtCardData, kCardBoxColor);
    view_.SetTimerInterval(ReadInterval);
    view_.SetTimerEnabled(true);
    ClearCard();
    ReadOnce();
    view_.SetFocus(ctl::txtCardData);
}

void Form1Logic::ReadOnce() {
    FlagScope reading(reading_);

    // A step that fails is skipped; the last failure is reported at the end.
    std::optional<RunTimeError> failure;
    auto step = [&failure](auto&& action) {
        try {
            action();
        } catch (const RunTimeError& error) {
            failure = error;
        }
    };

    std::array<unsigned char, kCardBufferSize> buffer{};
    step([&] { library_.ReadData(buffer.data(), kReadTimeoutMs, kReadTag); });

    bool hid_mode = false;
    step([&] {
        const std::string mode = UpperTail6(view_.Text(ctl::txtMsrType));
        if (mode == "IDTECH" || mode == "MAGTEK") {
            hid_mode = true;
            for (std::size_t n = 0; n < 3; ++n) {
                TrackStatus[n] = buffer[kStatusAt + n];
                TrackLength[n] = buffer[kLengthAt + n];
            }
        }
    });

    // Decode only in the HID modes: in keyboard mode the card arrives as
    // keystrokes in the card box, and no stored value may overwrite them.
    const int sum = TrackLength[0] + TrackLength[1] + TrackLength[2];
    if (hid_mode && sum > 0) {
        for (int n = 0; n < 3; ++n) {
            step([&] { view_.SetValue(ctl::chkStatusOK(n), TrackStatus[n] == 0 ? 1 : 0); });
        }
        for (int n = 0; n < 3; ++n) {
            step([&] { view_.SetText(ctl::txtTrackLenght(n), std::to_string(TrackLength[n])); });
        }

        const CardLines lines = SplitCardLines(buffer.data(), buffer.size(), DataStart, DataEnd);
        if (lines.dropped) {
            failure = kSubscriptOutOfRange;
        }

        step([&] {
            if (BrushTimes == INT16_MAX) {
                throw kOverflow;
            }
            ++BrushTimes;
        });
        step([&] { view_.SetCaption(ctl::lblBrushTimes, std::to_string(BrushTimes)); });

        step([&] { view_.SetText(ctl::txtCardData, ""); });
        LetEventsRun();
        step([&] { view_.SetText(ctl::txtCardData, ""); });

        for (int k = 1; k <= lines.count; ++k) {
            if (k > kMaxCardLines) {
                // Lines past the eighth have no place: neither shown nor listed.
                failure = kSubscriptOutOfRange;
                continue;
            }
            const std::string& line = lines.line[k - 1];
            step([&] {
                view_.SetText(ctl::txtCardData, view_.Text(ctl::txtCardData) + line + "\r\n");
            });
            step([&] { view_.AddItem(ctl::lstCardData, line); });
        }

        step([&] { view_.SetListIndex(ctl::lstCardData, view_.ListCount(ctl::lstCardData) - 1); });
        step([&] { view_.SetFocus(ctl::txtCardData); });
    }

    if (failure) {
        ShowMessage(ErrorReportText(*failure), kAppTitle);
    }
}

}  // namespace kestro
