#include "fake_view.h"

#include "../logic/form1_design.h"

namespace kestro::testing {

FakeView::FakeView(Trace& trace) : trace_(trace) {
    // Every control as designed.
    for (const ControlDesign& d : Form1Design()) {
        ControlState& state = at(d.control);
        state.geometry = d.place;
        (d.kind == Kind::kTextBox || d.kind == Kind::kComboBox ? state.text : state.caption) =
            d.caption;
        state.enabled = (d.flags & kDisabled) == 0;
        state.visible = (d.flags & kHidden) == 0;
    }
}

ControlState& FakeView::Use(const Control& c) {
    if (failing.count(std::string(c.name)) != 0) {
        throw RunTimeError(380, "Invalid property value");
    }
    return at(c);
}

void FakeView::Show() {
    ++shown;
    trace_.push_back("Show");
}

std::string FakeView::Text(const Control& c) {
    return Use(c).text;
}

void FakeView::SetText(const Control& c, const std::string& text) {
    Use(c).text = text;
}

void FakeView::SetCaption(const Control& c, const std::string& caption) {
    Use(c).caption = caption;
}

void FakeView::SetValue(const Control& c, int value) {
    Use(c).value = value;
}

void FakeView::SetEnabled(const Control& c, bool enabled) {
    Use(c).enabled = enabled;
}

Twips FakeView::Geometry(const Control& c) {
    return Use(c).geometry;
}

void FakeView::SetGeometry(const Control& c, const Twips& twips) {
    Use(c).geometry = twips;
}

void FakeView::SetBackColor(const Control& c, const Rgb& color) {
    Use(c).back_color = color;
}

void FakeView::SetFocus(const Control& c) {
    Use(c);
    focus = c;
}

void FakeView::AddItem(const Control& c, const std::string& item) {
    Use(c).items.push_back(item);
}

void FakeView::Clear(const Control& c) {
    ControlState& state = Use(c);
    state.items.clear();
    state.list_index = -1;
}

int FakeView::ListCount(const Control& c) {
    return static_cast<int>(Use(c).items.size());
}

std::string FakeView::List(const Control& c, int index) {
    const ControlState& state = Use(c);
    return index >= 0 && index < static_cast<int>(state.items.size()) ? state.items[index] : "";
}

void FakeView::SetListIndex(const Control& c, int index) {
    ControlState& state = Use(c);
    if (index < -1 || index >= static_cast<int>(state.items.size())) {
        throw RunTimeError(380, "Invalid property value");
    }
    state.list_index = index;
}

void FakeView::MsgBox(const std::string& text, const std::string& title) {
    messages.push_back(text);
    message_titles.push_back(title);
    trace_.push_back("MsgBox: " + text);
    if (on_events) {
        on_events();
    }
}

void FakeView::DoEvents() {
    trace_.push_back("DoEvents");
    if (on_events) {
        on_events();
    }
}

void FakeView::SetTimerInterval(int milliseconds) {
    timer_interval = milliseconds;
}

void FakeView::SetTimerEnabled(bool enabled) {
    timer_enabled = enabled;
}

void FakeView::StartTextViewer() {
    if (viewer_failure) {
        throw *viewer_failure;
    }
    ++viewer_starts;
    trace_.push_back("Viewer");
}

void FakeView::EndProgram() {
    ended = true;
    trace_.push_back("End");
}

}  // namespace kestro::testing
