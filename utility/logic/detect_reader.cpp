// Reader detection: open the reader under each mode's product id in turn.
#include "form1_design.h"
#include "form1_logic.h"

#include "text_format.h"

namespace kestro {

namespace {
constexpr const char* kLabelSetId = " set pid -> ";
constexpr const char* kLabelOpen = " open usb -> ";
constexpr const char* kLabelFailedOpenClose = " Close usb -> ";
constexpr const char* kNoReaderMessage = "Please connect TORVANEX USB MSR first !!";

constexpr int32_t kPidIdtech = 0x05A0;
constexpr int32_t kPidMagtek = 0x05B0;
}  // namespace

void Form1Logic::Detect() {
    int32_t opened = -1;
    int found = -1;
    for (int k = 0; k < 3; ++k) {
        Log(kLabelSetId, library_.SetID(MsrPid[k]));
        opened = library_.OpenKestro();
        Log(kLabelOpen, opened);
        SelectLastResult();
        if (opened == 0) {
            view_.SetText(ctl::txtMsrType, MsrTypeName[k]);
            found = k;
            break;
        }
        Log(kLabelFailedOpenClose, library_.CloseKestro());
    }

    if (opened != 0) {
        view_.SetEnabled(ctl::Frame1, false);
        ShowMessage(kNoReaderMessage);
        EndProgram();
    }

    // Track values stored by an earlier HID-mode read belong to the old mode;
    // left in place after a switch to keyboard mode they would count as a
    // card and wipe what the reader types. Start every mode from zero.
    TrackStatus = {};
    TrackLength = {};

    if (MsrPid[found] == kPidMagtek || MsrPid[found] == kPidIdtech) {
        const std::string mode = UpperTail6(view_.Text(ctl::txtMsrType));
        if (mode == "IDTECH") {
            DataStart = 12;
            DataEnd = 539;
        } else if (mode == "MAGTEK") {
            DataStart = 10;
            DataEnd = 339;
        }
        // The design's place: between the track rows and the card list.
        view_.SetGeometry(ctl::txtCardData, FindDesign(ctl::txtCardData)->place);
    } else {
        // Keyboard mode: the card box fills the frame to take the keystrokes.
        const Twips frame = view_.Geometry(ctl::Frame1);
        view_.SetGeometry(ctl::txtCardData, Twips{0, 0, frame.width, frame.height});
    }
    view_.SetFocus(ctl::txtCardData);
    view_.SetEnabled(ctl::cmdChangeMode, true);
}

}  // namespace kestro
