// What the window logic asks of the window: the operations its handlers use,
// on controls named as in the design (form1_design.h), where each view finds
// the control's kind. The Qt and Win32 windows implement it; the tests
// implement it with a recording fake.
#ifndef KESTRO_UTILITY_LOGIC_FORM1_VIEW_H
#define KESTRO_UTILITY_LOGIC_FORM1_VIEW_H

#include <string>

#include "controls.h"

namespace kestro {

class Form1View {
  public:
    virtual ~Form1View() = default;

    // Puts the window on screen.
    virtual void Show() = 0;

    // Text of a text box or combo box (multi-line text uses CR LF).
    virtual std::string Text(const Control& c) = 0;
    virtual void SetText(const Control& c, const std::string& text) = 0;
    // Caption of a label, button or frame.
    virtual void SetCaption(const Control& c, const std::string& caption) = 0;
    // Value of a check box: 1 ticked, 0 clear.
    virtual void SetValue(const Control& c, int value) = 0;
    virtual void SetEnabled(const Control& c, bool enabled) = 0;
    virtual Twips Geometry(const Control& c) = 0;
    virtual void SetGeometry(const Control& c, const Twips& twips) = 0;
    virtual void SetBackColor(const Control& c, const Rgb& color) = 0;
    virtual void SetFocus(const Control& c) = 0;

    // Lists and the list of a combo box.
    virtual void AddItem(const Control& c, const std::string& item) = 0;
    virtual void Clear(const Control& c) = 0;
    virtual int ListCount(const Control& c) = 0;
    virtual std::string List(const Control& c, int index) = 0;
    // Selects a position (-1: none) and brings it into view.
    virtual void SetListIndex(const Control& c, int index) = 0;

    // A modal message box with an OK button only. An empty title leaves the
    // title to the platform (the application's title).
    virtual void MsgBox(const std::string& text, const std::string& title = std::string()) = 0;
    // Lets pending window events (timer ticks, repaints, clicks) run.
    virtual void DoEvents() = 0;

    virtual void SetTimerInterval(int milliseconds) = 0;
    virtual void SetTimerEnabled(bool enabled) = 0;

    // Starts the text viewer on README.TXT without waiting for it; raises
    // RunTimeError when it cannot be started.
    virtual void StartTextViewer() = 0;
    // Ends the program at once: no unload handler, no further window event.
    virtual void EndProgram() = 0;
};

}  // namespace kestro

#endif
