// The view's rules, checked on any view: every operation on every control
// of the design either works or raises the run-time error 380, as Allows()
// says, and an unknown control raises 424.
#ifndef KESTRO_UTILITY_TESTS_VIEW_RULES_H
#define KESTRO_UTILITY_TESTS_VIEW_RULES_H

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "../logic/form1_design.h"
#include "../logic/form1_view.h"
#include "../logic/run_time_error.h"

namespace kestro::testing {

// The run-time error number `action` raised, or 0.
inline int RaisedBy(const std::function<void()>& action) {
    try {
        action();
    } catch (const RunTimeError& e) {
        return e.number();
    }
    return 0;
}

inline void ExpectViewRules(Form1View& view) {
    struct Step {
        Operation operation;
        const char* name;
        std::function<void(Form1View&, const Control&)> run;
    };
    const Step steps[] = {
        {Operation::kSetText, "SetText",
         [](Form1View& v, const Control& c) {
             v.SetText(c, "USB/KB");
             EXPECT_EQ(v.Text(c), "USB/KB");
         }},
        {Operation::kText, "Text", [](Form1View& v, const Control& c) { v.Text(c); }},
        {Operation::kSetCaption, "SetCaption",
         [](Form1View& v, const Control& c) { v.SetCaption(c, "OK"); }},
        {Operation::kSetValue, "SetValue",
         [](Form1View& v, const Control& c) {
             v.SetValue(c, 1);
             v.SetValue(c, 0);
             EXPECT_EQ(RaisedBy([&] { v.SetValue(c, 2); }), kErrInvalidPropertyValue);
         }},
        {Operation::kSetEnabled, "SetEnabled",
         [](Form1View& v, const Control& c) { v.SetEnabled(c, true); }},
        {Operation::kSetGeometry, "SetGeometry",
         [](Form1View& v, const Control& c) {
             const Twips place{150, 300, 1500, 450};
             v.SetGeometry(c, place);
             EXPECT_EQ(v.Geometry(c), place);
         }},
        {Operation::kGeometry, "Geometry", [](Form1View& v, const Control& c) { v.Geometry(c); }},
        {Operation::kSetBackColor, "SetBackColor",
         [](Form1View& v, const Control& c) {
             v.SetBackColor(c, Rgb{224, 224, 224});
         }},
        {Operation::kSetFocus, "SetFocus", [](Form1View& v, const Control& c) { v.SetFocus(c); }},
        {Operation::kAddItem, "AddItem",
         [](Form1View& v, const Control& c) {
             const int before = v.ListCount(c);
             v.AddItem(c, "line");
             EXPECT_EQ(v.ListCount(c), before + 1);
             EXPECT_EQ(v.List(c, before), "line");
             EXPECT_EQ(v.List(c, before + 1), "");
         }},
        {Operation::kSetListIndex, "SetListIndex",
         [](Form1View& v, const Control& c) {
             v.SetListIndex(c, v.ListCount(c) - 1);
             v.SetListIndex(c, -1);
             EXPECT_EQ(RaisedBy([&] { v.SetListIndex(c, v.ListCount(c)); }),
                       kErrInvalidPropertyValue);
             EXPECT_EQ(RaisedBy([&] { v.SetListIndex(c, -2); }), kErrInvalidPropertyValue);
         }},
        {Operation::kClear, "Clear",
         [](Form1View& v, const Control& c) {
             v.Clear(c);
             EXPECT_EQ(v.ListCount(c), 0);
         }},
        {Operation::kListCount, "ListCount",
         [](Form1View& v, const Control& c) { v.ListCount(c); }},
        {Operation::kList, "List", [](Form1View& v, const Control& c) { v.List(c, 0); }},
    };
    for (const ControlDesign& d : Form1Design()) {
        for (const Step& step : steps) {
            SCOPED_TRACE(std::string(d.control.name) + "(" + std::to_string(d.control.index) +
                         ")." + step.name);
            const int raised = RaisedBy([&] { step.run(view, d.control); });
            EXPECT_EQ(raised, Allows(d.kind, step.operation) ? 0 : kErrInvalidPropertyValue);
        }
    }
    const Control unknown{"txtNoSuchBox"};
    EXPECT_EQ(RaisedBy([&] { view.SetText(unknown, "x"); }), kErrObjectRequired);
    EXPECT_EQ(RaisedBy([&] { view.SetEnabled(ctl::Label3(3), true); }), kErrObjectRequired);
}

}  // namespace kestro::testing

#endif
