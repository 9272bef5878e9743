// What the window logic asks of the window: the operations its handlers use,
// on controls named as in the design (form1_design.h). The control
// operations are the same for every view: each finds the control's design
// row, refuses what its kind does not allow (Allows) and values out of
// range, and only then hands the operation to the view's protected
// counterpart. The Qt and Win32 windows implement those; the tests implement
// them with a recording fake, so the logic's tests meet the same rules.
#ifndef KESTRO_UTILITY_LOGIC_FORM1_VIEW_H
#define KESTRO_UTILITY_LOGIC_FORM1_VIEW_H

#include <string>

#include "controls.h"
#include "form1_design.h"

namespace kestro {

class Form1View {
  public:
    virtual ~Form1View() = default;

    // Puts the window on screen.
    virtual void Show() = 0;

    // A name the design does not have raises the run-time error 424 "Object
    // required"; an operation the control's kind does not allow, or a value
    // it refuses, raises 380 "Invalid property value".

    // Text of a text box or combo box (multi-line text uses CR LF).
    std::string Text(const Control& c);
    void SetText(const Control& c, const std::string& text);
    // Caption of a label, button, check box or frame.
    void SetCaption(const Control& c, const std::string& caption);
    // Value of a check box: 1 ticked, 0 clear.
    void SetValue(const Control& c, int value);
    void SetEnabled(const Control& c, bool enabled);
    Twips Geometry(const Control& c);
    void SetGeometry(const Control& c, const Twips& twips);
    void SetBackColor(const Control& c, const Rgb& color);
    void SetFocus(const Control& c);

    // Lists and the list of a combo box. List gives "" for a position
    // that holds no entry.
    void AddItem(const Control& c, const std::string& item);
    void Clear(const Control& c);
    int ListCount(const Control& c);
    std::string List(const Control& c, int index);
    // Selects a position (-1: none, else below ListCount) and brings it into
    // view.
    void SetListIndex(const Control& c, int index);

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

  protected:
    // The control operations, reached only through the checks above: `d` is
    // the control's design row and allows the operation.
    virtual std::string DoText(const ControlDesign& d) = 0;
    virtual void DoSetText(const ControlDesign& d, const std::string& text) = 0;
    virtual void DoSetCaption(const ControlDesign& d, const std::string& caption) = 0;
    virtual void DoSetValue(const ControlDesign& d, int value) = 0;  // 0 or 1
    virtual void DoSetEnabled(const ControlDesign& d, bool enabled) = 0;
    virtual Twips DoGeometry(const ControlDesign& d) = 0;
    virtual void DoSetGeometry(const ControlDesign& d, const Twips& twips) = 0;
    virtual void DoSetBackColor(const ControlDesign& d, const Rgb& color) = 0;
    virtual void DoSetFocus(const ControlDesign& d) = 0;
    virtual void DoAddItem(const ControlDesign& d, const std::string& item) = 0;
    virtual void DoClear(const ControlDesign& d) = 0;
    virtual int DoListCount(const ControlDesign& d) = 0;
    virtual std::string DoList(const ControlDesign& d, int index) = 0;
    virtual void DoSetListIndex(const ControlDesign& d, int index) = 0;  // -1 to count - 1

  private:
    // The control's design row, when its kind allows the operation.
    const ControlDesign& Checked(const Control& c, Operation operation);
};

}  // namespace kestro

#endif
