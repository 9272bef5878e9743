// The design of the window Form1, once, as data: one row per control, as a
// dialog template holds it. Every view builds its controls by looping over
// these rows and keeps only what is particular to its toolkit.
#ifndef KESTRO_UTILITY_LOGIC_FORM1_DESIGN_H
#define KESTRO_UTILITY_LOGIC_FORM1_DESIGN_H

#include <cstddef>
#include <optional>
#include <vector>

#include "controls.h"

namespace kestro {

inline constexpr const char* kForm1Caption = "Torvanex USB MSR Configure v1.00";
// Size of the client area, in twips.
inline constexpr int kForm1Width = 10785;
inline constexpr int kForm1Height = 7905;
inline constexpr int kTwipsPerInch = 1440;

// Caption of cmdChangeMode while a mode change runs; the design row holds
// the caption it has at rest.
inline constexpr const char* kChangingModeCaption = "Changing mode";

enum class Kind {
    kImage,
    kLabel,
    kTextBox,
    kComboBox,
    kCommandButton,
    kCheckBox,
    kFrame,
    kListBox
};

// The three faces of the window: its own, the larger one of the mode
// controls, and the frame's title.
enum class Face { kWindow, kLarge, kFrameTitle };

struct FontDesign {
    const char* family;
    int points_x100;  // 975 is 9.75 pt
    bool bold;
};

const FontDesign& FontOf(Face face);

// Settings of a control beyond its kind.
enum DesignFlag : unsigned {
    kHidden = 1u << 0,       // not visible
    kDisabled = 1u << 1,     // not enabled at design time
    kReadOnly = 1u << 2,     // a text box the operator cannot edit
    kMultiLine = 1u << 3,    // a text box of many lines, both scroll bars
    kTabLeaves = 1u << 4,    // Tab moves the focus on instead of typing a tab
    kWrapCaption = 1u << 5,  // a caption too wide wraps between words
};

struct ControlDesign {
    Control control;
    Kind kind;
    bool in_frame;        // inside Frame1 (positions relative to it)
    const char* caption;  // caption or initial text
    Twips place;
    int tab_index;  // -1: none
    Face face;
    std::optional<Rgb> back;  // background colour, when not the system's
    unsigned flags;
};

// Every control in creation order: a later row lies above an earlier one
// where they overlap (the card box above the card list it covers in keyboard
// mode, the hidden log above the frame).
const std::vector<ControlDesign>& Form1Design();

// The row of a control, or nullptr; its position in Form1Design().
const ControlDesign* FindDesign(const Control& c);
std::size_t RowOf(const ControlDesign& design);

// What the window logic does to a control: the control operations of the
// view interface (form1_view.h).
enum class Operation {
    kText,
    kSetText,
    kSetCaption,
    kSetValue,
    kSetEnabled,
    kGeometry,
    kSetGeometry,
    kSetBackColor,
    kSetFocus,
    kAddItem,
    kClear,
    kListCount,
    kList,
    kSetListIndex,
};

// Whether a control of this kind has the property or method: text for text
// and combo boxes, a caption for labels, buttons, check boxes and the frame,
// a value for check boxes, a list for list and combo boxes; every kind can
// be enabled, placed, coloured and given the focus. Every view passes
// through this table (Form1View refuses the rest).
bool Allows(Kind kind, Operation operation);

// Whether the control can hold the keyboard focus (labels, frames and the
// picture cannot).
bool TakesFocus(const ControlDesign& design);

// The controls that take the focus and are shown, by tab index: the order
// in which Tab walks the window once detection has enabled Change Mode.
std::vector<const ControlDesign*> TabOrder();

// Top-left corner that centres a window of outer size width x height (its
// frame included) in an area; all in pixels.
struct PixelPoint {
    int x = 0;
    int y = 0;
};
PixelPoint CentredIn(int area_left, int area_top, int area_width, int area_height, int width,
                     int height);

}  // namespace kestro

#endif
