#include "form1_view.h"

#include "run_time_error.h"

namespace kestro {
namespace {

[[noreturn]] void InvalidPropertyValue() {
    throw RunTimeError(kErrInvalidPropertyValue, "Invalid property value");
}

}  // namespace

const ControlDesign& Form1View::Checked(const Control& c, Operation operation) {
    const ControlDesign* d = FindDesign(c);
    if (d == nullptr) {
        throw RunTimeError(kErrObjectRequired, "Object required");
    }
    if (!Allows(d->kind, operation)) {
        InvalidPropertyValue();
    }
    return *d;
}

std::string Form1View::Text(const Control& c) {
    return DoText(Checked(c, Operation::kText));
}

void Form1View::SetText(const Control& c, const std::string& text) {
    DoSetText(Checked(c, Operation::kSetText), text);
}

void Form1View::SetCaption(const Control& c, const std::string& caption) {
    DoSetCaption(Checked(c, Operation::kSetCaption), caption);
}

void Form1View::SetValue(const Control& c, int value) {
    const ControlDesign& d = Checked(c, Operation::kSetValue);
    if (value < 0 || value > 1) {
        InvalidPropertyValue();
    }
    DoSetValue(d, value);
}

void Form1View::SetEnabled(const Control& c, bool enabled) {
    DoSetEnabled(Checked(c, Operation::kSetEnabled), enabled);
}

Twips Form1View::Geometry(const Control& c) {
    return DoGeometry(Checked(c, Operation::kGeometry));
}

void Form1View::SetGeometry(const Control& c, const Twips& twips) {
    DoSetGeometry(Checked(c, Operation::kSetGeometry), twips);
}

void Form1View::SetBackColor(const Control& c, const Rgb& color) {
    DoSetBackColor(Checked(c, Operation::kSetBackColor), color);
}

void Form1View::SetFocus(const Control& c) {
    DoSetFocus(Checked(c, Operation::kSetFocus));
}

void Form1View::AddItem(const Control& c, const std::string& item) {
    DoAddItem(Checked(c, Operation::kAddItem), item);
}

void Form1View::Clear(const Control& c) {
    DoClear(Checked(c, Operation::kClear));
}

int Form1View::ListCount(const Control& c) {
    return DoListCount(Checked(c, Operation::kListCount));
}

std::string Form1View::List(const Control& c, int index) {
    const ControlDesign& d = Checked(c, Operation::kList);
    return index >= 0 && index < DoListCount(d) ? DoList(d, index) : std::string();
}

void Form1View::SetListIndex(const Control& c, int index) {
    const ControlDesign& d = Checked(c, Operation::kSetListIndex);
    if (index < -1 || index >= DoListCount(d)) {
        InvalidPropertyValue();
    }
    DoSetListIndex(d, index);
}

}  // namespace kestro
