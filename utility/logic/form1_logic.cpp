// Form1's entry points, start-up, shut-down and the small commands.
#include "form1_logic.h"

#include <utility>

#include "text_format.h"

namespace kestro {

namespace {
constexpr const char* kLabelUnloadClose = " close usb -> ";
}  // namespace

template <typename Body>
void Form1Logic::Dispatch(Body&& body) {
    if (ended_) {
        return;
    }
    try {
        body();
    } catch (const ProgramEnded&) {
        // The program ended inside the handler; nothing more runs.
    } catch (const RunTimeError& error) {
        // No handler but the card read traps errors: report and end.
        ended_ = true;
        view_.SetTimerEnabled(false);
        view_.MsgBox(RunTimeErrorMessage(error));
        view_.EndProgram();
    }
}

void Form1Logic::EndProgram() {
    ended_ = true;
    view_.EndProgram();
    throw ProgramEnded{};
}

void Form1Logic::LetEventsRun() {
    view_.DoEvents();
    // An event served meanwhile may have ended the program.
    if (ended_) {
        throw ProgramEnded{};
    }
}

void Form1Logic::ShowMessage(const std::string& text, const std::string& title) {
    view_.MsgBox(text, title);
    if (ended_) {
        throw ProgramEnded{};
    }
}

void Form1Logic::Log(const char* label, int32_t result) {
    view_.AddItem(ctl::lstResults, label + Hex(result));
}

void Form1Logic::SelectLastResult() {
    view_.SetListIndex(ctl::lstResults, view_.ListCount(ctl::lstResults) - 1);
}

void Form1Logic::Form_Load() {
    Dispatch([this] { FormLoad(); });
}

void Form1Logic::Form_Unload(int& cancel) {
    (void)cancel;
    Dispatch([this] {
        Log(kLabelUnloadClose, library_.CloseKestro());
        SelectLastResult();
        // The window closes now; with it the program ends.
        ended_ = true;
    });
}

void Form1Logic::cmdEXIT_Click() {
    Dispatch([this] {
        library_.CloseKestro();
        EndProgram();
    });
}

void Form1Logic::cmdHELP_Click() {
    Dispatch([this] { view_.StartTextViewer(); });
}

void Form1Logic::cmdClearLog_Click() {
    Dispatch([this] { view_.Clear(ctl::lstResults); });
}

void Form1Logic::cmdClearCard_Click() {
    Dispatch([this] { ClearCard(); });
}

void Form1Logic::cmdChangeMode_Click() {
    Dispatch([this] { ChangeModeCommand(); });
}

void Form1Logic::Click(const Control& c) {
    static const std::pair<Control, void (Form1Logic::*)()> kHandlers[] = {
        {ctl::cmdEXIT, &Form1Logic::cmdEXIT_Click},
        {ctl::cmdHELP, &Form1Logic::cmdHELP_Click},
        {ctl::cmdChangeMode, &Form1Logic::cmdChangeMode_Click},
        {ctl::cmdClearLog, &Form1Logic::cmdClearLog_Click},
        {ctl::cmdClearCard, &Form1Logic::cmdClearCard_Click},
    };
    for (const auto& [control, handler] : kHandlers) {
        if (control == c) {
            (this->*handler)();
        }
    }
}

void Form1Logic::Timer1_Timer() {
    // A tick that arrives while a card read lets events run, or shows its
    // error report, would start a second read inside the first and stack one
    // error report per tick; such a tick is skipped.
    if (reading_) {
        return;
    }
    Dispatch([this] { ReadOnce(); });
}

void Form1Logic::DetectReader() {
    Dispatch([this] { Detect(); });
}

void Form1Logic::StartAutoRead() {
    Dispatch([this] { StartReading(); });
}

void Form1Logic::ReadCard() {
    Dispatch([this] { ReadOnce(); });
}

void Form1Logic::FormLoad() {
    view_.Show();
    BrushTimes = 0;
    MsrPid = {0x05A0, 0x05B0, 0x0500};
    MsrTypeName = {"USB/HID IDTECH", "USB/HID MAGTEK", "USB/KB"};
    // The combo lists keyboard mode first: its position + 1 is the mode number.
    view_.AddItem(ctl::comboMsrType2, MsrTypeName[2]);
    view_.AddItem(ctl::comboMsrType2, MsrTypeName[0]);
    view_.AddItem(ctl::comboMsrType2, MsrTypeName[1]);
    ReadInterval = 50;
    StartReading();
    Detect();
    view_.SetTimerEnabled(true);
}

void Form1Logic::ClearCard() {
    view_.Clear(ctl::lstCardData);
    view_.SetText(ctl::txtCardData, "");
    for (int n = 0; n < 3; ++n) {
        view_.SetText(ctl::txtTrackLenght(n), "");
    }
    for (int n = 0; n < 3; ++n) {
        view_.SetValue(ctl::chkStatusOK(n), 0);
    }
    BrushTimes = 0;
    view_.SetCaption(ctl::lblBrushTimes, std::to_string(BrushTimes));
    view_.SetFocus(ctl::txtCardData);
}

}  // namespace kestro
