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

ControlState& FakeView::Use(const ControlDesign& d) {
    if (failing.count(std::string(d.control.name)) != 0) {
        throw RunTimeError(kErrInvalidPropertyValue, "Invalid property value");
    }
    return at(d.control);
}

void FakeView::Show() {
    ++shown;
    trace_.push_back("Show");
}

std::string FakeView::DoText(const ControlDesign& d) {
    return Use(d).text;
}

void FakeView::DoSetText(const ControlDesign& d, const std::string& text) {
    Use(d).text = text;
}

void FakeView::DoSetCaption(const ControlDesign& d, const std::string& caption) {
    Use(d).caption = caption;
}

void FakeView::DoSetValue(const ControlDesign& d, int value) {
    Use(d).value = value;
}

void FakeView::DoSetEnabled(const ControlDesign& d, bool enabled) {
    Use(d).enabled = enabled;
}

Twips FakeView::DoGeometry(const ControlDesign& d) {
    return Use(d).geometry;
}

void FakeView::DoSetGeometry(const ControlDesign& d, const Twips& twips) {
    Use(d).geometry = twips;
}

void FakeView::DoSetBackColor(const ControlDesign& d, const Rgb& color) {
    Use(d).back_color = color;
}

void FakeView::DoSetFocus(const ControlDesign& d) {
    Use(d);
    focus = d.control;
}

void FakeView::DoAddItem(const ControlDesign& d, const std::string& item) {
    Use(d).items.push_back(item);
}

void FakeView::DoClear(const ControlDesign& d) {
    ControlState& state = Use(d);
    state.items.clear();
    state.list_index = -1;
}

int FakeView::DoListCount(const ControlDesign& d) {
    return static_cast<int>(Use(d).items.size());
}

std::string FakeView::DoList(const ControlDesign& d, int index) {
    return Use(d).items[static_cast<size_t>(index)];
}

void FakeView::DoSetListIndex(const ControlDesign& d, int index) {
    Use(d).list_index = index;
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
