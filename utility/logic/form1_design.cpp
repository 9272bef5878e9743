// Form1's controls: kinds, names, captions, places in twips, tab order,
// fonts, colours and behaviour.
#include "form1_design.h"

#include <algorithm>

namespace kestro {

namespace {

constexpr Rgb kLightGrey{224, 224, 224};

std::vector<ControlDesign> MakeDesign() {
    using K = Kind;
    constexpr Face W = Face::kWindow;
    constexpr Face L = Face::kLarge;
    constexpr Face T = Face::kFrameTitle;
    constexpr std::optional<Rgb> none;
    constexpr unsigned wrap = kWrapCaption;
    // clang-format off
    std::vector<ControlDesign> rows = {
        // On the window; twips: left, top, width, height.
        {ctl::Image1, K::kImage, false, "", {0, 120, 4500, 1950}, -1, W, none, 0},
        {ctl::Label5, K::kLabel, false, "MSR Mode:", {5280, 720, 1335, 375}, 7, L, none, 0},
        {ctl::txtMsrType, K::kTextBox, false, "", {6720, 720, 2175, 375}, 20, L, kLightGrey, kReadOnly},
        {ctl::Label1, K::kLabel, false, "Will be changed to:", {4560, 1440, 2055, 375}, 24, L, none, 0},
        {ctl::comboMsrType2, K::kComboBox, false, "", {6720, 1440, 2175, 420}, 22, L, none, 0},
        {ctl::cmdEXIT, K::kCommandButton, false, "Exit", {9120, 120, 1455, 495}, 2, L, none, wrap},
        {ctl::cmdHELP, K::kCommandButton, false, "Help", {9120, 600, 1455, 495}, 25, L, none, wrap},
        {ctl::cmdChangeMode, K::kCommandButton, false, "Change Mode", {9120, 1320, 1455, 735}, 23, L, none, wrap | kDisabled},
        {ctl::Frame1, K::kFrame, false, "Reader Output", {120, 2160, 10455, 5655}, 3, T, none, 0},
        // The result log and its Clear button lie over the frame, hidden.
        {ctl::lstResults, K::kListBox, false, "", {120, 5520, 5295, 2220}, 6, W, kLightGrey, kHidden},
        {ctl::cmdClearLog, K::kCommandButton, false, "Clear", {240, 5280, 1455, 255}, 5, W, none, wrap | kHidden},
        // In the frame: one row per track, element n for track n + 1.
        {ctl::Label3(0), K::kLabel, true, "Track1 Status:", {240, 360, 1455, 255}, 8, W, none, 0},
        {ctl::Label3(1), K::kLabel, true, "Track2 Status:", {240, 720, 1455, 255}, 9, W, none, 0},
        {ctl::Label3(2), K::kLabel, true, "Track3 Status:", {240, 1080, 1455, 255}, 10, W, none, 0},
        {ctl::chkStatusOK(0), K::kCheckBox, true, "OK", {1680, 360, 615, 255}, 11, W, none, 0},
        {ctl::chkStatusOK(1), K::kCheckBox, true, "OK", {1680, 720, 615, 255}, 12, W, none, 0},
        {ctl::chkStatusOK(2), K::kCheckBox, true, "OK", {1680, 1080, 615, 255}, 13, W, none, 0},
        {ctl::Label4(0), K::kLabel, true, "Track1 Length:", {2760, 360, 1455, 255}, 14, W, none, 0},
        {ctl::Label4(1), K::kLabel, true, "Track2 Length:", {2760, 720, 1455, 255}, 15, W, none, 0},
        {ctl::Label4(2), K::kLabel, true, "Track3 Length:", {2760, 1080, 1455, 255}, 16, W, none, 0},
        {ctl::txtTrackLenght(0), K::kTextBox, true, "", {4200, 360, 1095, 315}, 17, W, kLightGrey, kReadOnly},
        {ctl::txtTrackLenght(1), K::kTextBox, true, "", {4200, 720, 1095, 315}, 18, W, kLightGrey, kReadOnly},
        {ctl::txtTrackLenght(2), K::kTextBox, true, "", {4200, 1080, 1095, 315}, 19, W, kLightGrey, kReadOnly},
        {ctl::cmdClearCard, K::kCommandButton, true, "Clear", {9240, 720, 975, 375}, 1, W, none, wrap},
        {ctl::lblBrushTimes, K::kLabel, true, "0", {9120, 1200, 1095, 255}, 4, W, none, 0},
        {ctl::lstCardData, K::kListBox, true, "", {240, 2760, 9975, 2700}, 0, W, kLightGrey, 0},
        // Last, so that it lies above the card list when it fills the frame.
        // The focus returns here after every card: Tab must lead out of it.
        {ctl::txtCardData, K::kTextBox, true, "", {240, 1440, 9975, 1335}, 21, W, none, kMultiLine | kTabLeaves},
    };
    // clang-format on
    return rows;
}

}  // namespace

const FontDesign& FontOf(Face face) {
    static const FontDesign kWindowFont{"MS Sans Serif", 975, false};
    static const FontDesign kLargeFont{"MS Sans Serif", 1200, false};
    static const FontDesign kFrameTitleFont{"Arial", 1200, true};
    switch (face) {
        case Face::kLarge:
            return kLargeFont;
        case Face::kFrameTitle:
            return kFrameTitleFont;
        case Face::kWindow:
            break;
    }
    return kWindowFont;
}

const std::vector<ControlDesign>& Form1Design() {
    static const std::vector<ControlDesign> rows = MakeDesign();
    return rows;
}

const ControlDesign* FindDesign(const Control& c) {
    for (const ControlDesign& row : Form1Design()) {
        if (row.control == c) {
            return &row;
        }
    }
    return nullptr;
}

std::size_t RowOf(const ControlDesign& design) {
    return static_cast<std::size_t>(&design - Form1Design().data());
}

bool Allows(Kind kind, Operation operation) {
    switch (operation) {
        case Operation::kText:
        case Operation::kSetText:
            return kind == Kind::kTextBox || kind == Kind::kComboBox;
        case Operation::kSetCaption:
            return kind == Kind::kLabel || kind == Kind::kCommandButton ||
                   kind == Kind::kCheckBox || kind == Kind::kFrame;
        case Operation::kSetValue:
            return kind == Kind::kCheckBox;
        case Operation::kAddItem:
        case Operation::kClear:
        case Operation::kListCount:
        case Operation::kList:
        case Operation::kSetListIndex:
            return kind == Kind::kListBox || kind == Kind::kComboBox;
        case Operation::kSetEnabled:
        case Operation::kGeometry:
        case Operation::kSetGeometry:
        case Operation::kSetBackColor:
        case Operation::kSetFocus:
            return true;
    }
    return false;
}

bool TakesFocus(const ControlDesign& design) {
    return design.tab_index >= 0 && design.kind != Kind::kLabel && design.kind != Kind::kFrame &&
           design.kind != Kind::kImage;
}

std::vector<const ControlDesign*> TabOrder() {
    std::vector<const ControlDesign*> order;
    for (const ControlDesign& row : Form1Design()) {
        if (TakesFocus(row) && (row.flags & kHidden) == 0) {
            order.push_back(&row);
        }
    }
    std::stable_sort(
        order.begin(), order.end(),
        [](const ControlDesign* a, const ControlDesign* b) { return a->tab_index < b->tab_index; });
    return order;
}

PixelPoint CentredIn(int area_left, int area_top, int area_width, int area_height, int width,
                     int height) {
    return {area_left + (area_width - width) / 2, area_top + (area_height - height) / 2};
}

}  // namespace kestro
