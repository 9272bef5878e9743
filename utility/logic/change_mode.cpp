// The mode change command: send the new mode, reset, wait, detect again.
#include "form1_design.h"
#include "form1_logic.h"
#include "text_format.h"

namespace kestro {

namespace {
constexpr const char* kLabelChangeMode = " ChangeMode = ";
constexpr const char* kLabelReset = " ResetMSR = ";
constexpr const char* kRefusal = "Please choice correct USB MSR mode before Change Mode.";
constexpr const char* kChanged = "USB MSR mode has been changed.";
constexpr const char* kChangeFailed = "USB MSR mode change failed.";
constexpr const char* kCrLf = "\r\n";

constexpr int32_t kResetAll = 255;
// Waits that give the reader time to restart under its new product id.
constexpr int32_t kWaitAfterReset = 500;
constexpr int32_t kWaitAfterClose = 1000;
constexpr int32_t kWaitBeforeDetect = 2000;
}  // namespace

void Form1Logic::LockModeControls(bool locked) {
    view_.SetEnabled(ctl::cmdChangeMode, !locked);
    view_.SetCaption(ctl::cmdChangeMode,
                     locked ? kChangingModeCaption : FindDesign(ctl::cmdChangeMode)->caption);
    view_.SetEnabled(ctl::Label1, !locked);
    view_.SetEnabled(ctl::Label5, !locked);
    view_.SetEnabled(ctl::txtMsrType, !locked);
    view_.SetEnabled(ctl::comboMsrType2, !locked);
}

void Form1Logic::ChangeModeCommand() {
    // The choice must be exactly one of the list entries (case matters).
    const std::string target = view_.Text(ctl::comboMsrType2);
    int matched = -1;
    for (int position = 0; position < 3; ++position) {
        if (view_.List(ctl::comboMsrType2, position) == target) {
            matched = position;
        }
    }
    const std::string current = view_.Text(ctl::txtMsrType);
    if (matched < 0 || target == current) {
        ShowMessage(kRefusal);
        return;
    }

    LockModeControls(true);
    LetEventsRun();

    // The mode number comes from the entry that matched the text: a name
    // typed by hand leaves the combo with no selected position (-1), which
    // would send mode 0.
    const int32_t changed = library_.ChangeMode(matched + 1);
    Log(kLabelChangeMode, changed);
    const int32_t reset = library_.ResetDevice(kResetAll);
    Log(kLabelReset, reset);
    library_.Sleep(kWaitAfterReset);
    library_.CloseKestro();
    library_.Sleep(kWaitAfterClose);

    std::string message;
    if (changed == 0 && reset == 0) {
        message = kChanged;
    } else {
        // A rejected command must not be reported as a change: say so and
        // give both results; the detection below shows the mode in force.
        message = kChangeFailed;
    }
    message += std::string(kCrLf) + kCrLf + "From: " + current + kCrLf + "  To  : " + target;
    if (changed != 0 || reset != 0) {
        message += std::string(kCrLf) + kCrLf + "ChangeMode = " + Hex(changed) + kCrLf +
                   "ResetMSR = " + Hex(reset);
    }
    ShowMessage(message);

    library_.Sleep(kWaitBeforeDetect);
    Detect();
    StartReading();
    LockModeControls(false);
}

}  // namespace kestro
