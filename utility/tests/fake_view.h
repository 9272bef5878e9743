// A recording stand-in for the Qt window. The view's rules (which kind of
// control takes which operation) apply to it as to the real windows.
#ifndef KESTRO_UTILITY_TESTS_FAKE_VIEW_H
#define KESTRO_UTILITY_TESTS_FAKE_VIEW_H

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "../logic/form1_view.h"
#include "../logic/run_time_error.h"
#include "printers.h"

namespace kestro::testing {

// Events of the view and the library in the order they happened.
using Trace = std::vector<std::string>;

struct ControlState {
    std::string text;
    std::string caption;
    int value = 0;
    bool enabled = true;
    bool visible = true;
    Twips geometry;
    std::optional<Rgb> back_color;
    std::vector<std::string> items;
    int list_index = -1;
};

class FakeView : public Form1View {
  public:
    explicit FakeView(Trace& trace);

    ControlState& at(const Control& c) { return controls_[{std::string(c.name), c.index}]; }
    // Operations on the named control raise a run-time error (any index).
    std::set<std::string> failing;

    std::vector<std::string> messages;
    std::vector<std::string> message_titles;
    // Run inside DoEvents and inside a message box, as pending events would.
    std::function<void()> on_events;
    int shown = 0;
    bool ended = false;
    bool timer_enabled = false;
    int timer_interval = 1000;
    std::optional<Control> focus;
    int viewer_starts = 0;
    std::optional<RunTimeError> viewer_failure;

    void Show() override;
    void MsgBox(const std::string& text, const std::string& title) override;
    void DoEvents() override;
    void SetTimerInterval(int milliseconds) override;
    void SetTimerEnabled(bool enabled) override;
    void StartTextViewer() override;
    void EndProgram() override;

  protected:
    std::string DoText(const ControlDesign& d) override;
    void DoSetText(const ControlDesign& d, const std::string& text) override;
    void DoSetCaption(const ControlDesign& d, const std::string& caption) override;
    void DoSetValue(const ControlDesign& d, int value) override;
    void DoSetEnabled(const ControlDesign& d, bool enabled) override;
    Twips DoGeometry(const ControlDesign& d) override;
    void DoSetGeometry(const ControlDesign& d, const Twips& twips) override;
    void DoSetBackColor(const ControlDesign& d, const Rgb& color) override;
    void DoSetFocus(const ControlDesign& d) override;
    void DoAddItem(const ControlDesign& d, const std::string& item) override;
    void DoClear(const ControlDesign& d) override;
    int DoListCount(const ControlDesign& d) override;
    std::string DoList(const ControlDesign& d, int index) override;
    void DoSetListIndex(const ControlDesign& d, int index) override;

  private:
    // The control's state; a run-time error when it is one of `failing`.
    ControlState& Use(const ControlDesign& d);

    Trace& trace_;
    std::map<std::pair<std::string, int>, ControlState> controls_;
};

}  // namespace kestro::testing

#endif
