// A recording stand-in for the Qt window.
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
    std::string Text(const Control& c) override;
    void SetText(const Control& c, const std::string& text) override;
    void SetCaption(const Control& c, const std::string& caption) override;
    void SetValue(const Control& c, int value) override;
    void SetEnabled(const Control& c, bool enabled) override;
    Twips Geometry(const Control& c) override;
    void SetGeometry(const Control& c, const Twips& twips) override;
    void SetBackColor(const Control& c, const Rgb& color) override;
    void SetFocus(const Control& c) override;
    void AddItem(const Control& c, const std::string& item) override;
    void Clear(const Control& c) override;
    int ListCount(const Control& c) override;
    std::string List(const Control& c, int index) override;
    void SetListIndex(const Control& c, int index) override;
    void MsgBox(const std::string& text, const std::string& title) override;
    void DoEvents() override;
    void SetTimerInterval(int milliseconds) override;
    void SetTimerEnabled(bool enabled) override;
    void StartTextViewer() override;
    void EndProgram() override;

  private:
    ControlState& Use(const Control& c);

    Trace& trace_;
    std::map<std::pair<std::string, int>, ControlState> controls_;
};

}  // namespace kestro::testing

#endif
