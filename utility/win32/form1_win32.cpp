// Form1 as the window logic's view, and its events handed to the logic.
#include "form1_win32.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "../logic/form1_logic.h"
#include "../logic/run_time_error.h"
#include "form1_ids.h"
#include "text_viewer.h"

namespace kestro {

namespace {
constexpr UINT_PTR kTimer1 = 1;

std::string WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthA(hwnd);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}
}  // namespace

Form1Win32::Form1Win32(HINSTANCE instance) : instance_(instance) {
    // The description hook exists only for the tests that ask for it.
    if (const char* path = std::getenv(KESTRO_DESCRIBE_ENV); path != nullptr && *path != '\0') {
        describe_path_ = path;
        describe_message_ = RegisterWindowMessageA(KESTRO_DESCRIBE_MESSAGE);
    }
}

Form1Win32::~Form1Win32() {
    if (window_ != nullptr && IsWindow(window_)) {
        DestroyWindow(window_);
    }
    for (ControlInfo& info : controls_) {
        if (info.brush != nullptr) {
            DeleteObject(info.brush);
        }
    }
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(fonts_[0]), static_cast<HGDIOBJ>(fonts_[1]),
                           static_cast<HGDIOBJ>(fonts_[2]), static_cast<HGDIOBJ>(banner_)}) {
        if (object != nullptr) {
            DeleteObject(object);
        }
    }
    for (HICON icon : {icon_, small_icon_}) {
        if (icon != nullptr) {
            DestroyIcon(icon);
        }
    }
}

LRESULT CALLBACK Form1Win32::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
        auto* self = static_cast<Form1Win32*>(create->lpCreateParams);
        self->window_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Form1Win32*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcA(hwnd, message, wparam, lparam);
    }
    return self->Handle(message, wparam, lparam);
}

LRESULT Form1Win32::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wparam) == BN_CLICKED && lparam != 0) {
                Clicked(LOWORD(wparam));
                return 0;
            }
            break;
        case WM_TIMER:
            if (wparam == kTimer1) {
                if (timer_on_ && !ended_ && logic_ != nullptr) {
                    logic_->Timer1_Timer();
                }
                return 0;
            }
            break;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORLISTBOX: {
            // Controls with a colour of their own; the rest keep the system's.
            const ControlInfo* info = FindByWindow(reinterpret_cast<HWND>(lparam));
            if (info != nullptr && info->has_back) {
                HDC dc = reinterpret_cast<HDC>(wparam);
                SetBkColor(dc, info->back);
                SetTextColor(dc, GetSysColor(IsWindowEnabled(info->hwnd) ? COLOR_WINDOWTEXT
                                                                         : COLOR_GRAYTEXT));
                return reinterpret_cast<LRESULT>(info->brush);
            }
            break;
        }
        case WM_ACTIVATE:
            // A window that is not a dialog forgets its focused control when
            // it loses activation; keep it and give it back.
            if (LOWORD(wparam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                saved_focus_ = focus != nullptr && IsChild(window_, focus) ? focus : nullptr;
            } else if (saved_focus_ != nullptr && IsWindow(saved_focus_)) {
                ::SetFocus(saved_focus_);
                return 0;
            }
            break;
        case WM_CLOSE:
            Close();
            return 0;
        case WM_DESTROY:
            KillTimer(window_, kTimer1);
            PostQuitMessage(0);
            return 0;
        default:
            if (describe_message_ != 0 && message == describe_message_) {
                return Describe(describe_path_) ? 1 : 0;
            }
            break;
    }
    return DefWindowProcA(window_, message, wparam, lparam);
}

void Form1Win32::Clicked(int id) {
    const std::size_t row = static_cast<std::size_t>(id - ID_FIRST_CONTROL);
    if (logic_ != nullptr && !ended_ && id >= ID_FIRST_CONTROL && row < controls_.size()) {
        logic_->Click(controls_[row].design->control);
    }
}

void Form1Win32::Close() {
    // Closing the window runs the unload handler, which may keep it open.
    if (!ended_ && logic_ != nullptr) {
        int cancel = 0;
        logic_->Form_Unload(cancel);
        if (cancel != 0 && !ended_) {
            return;
        }
    }
    ended_ = true;
    timer_on_ = false;
    if (IsWindow(window_)) {
        DestroyWindow(window_);
    }
}

int Form1Win32::Run() {
    MSG msg;
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) {
            return 1;
        }
        if (!TabKey(msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

bool Form1Win32::Focusable(const ControlInfo& info) const {
    if (!TakesFocus(*info.design)) {
        return false;
    }
    // Visible and enabled, and so is every container up to the window.
    for (HWND h = info.hwnd; h != nullptr && h != window_; h = GetParent(h)) {
        if (!IsWindowVisible(h) || !IsWindowEnabled(h)) {
            return false;
        }
    }
    return true;
}

bool Form1Win32::TabKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB || window_ == nullptr ||
        (msg.hwnd != window_ && !IsChild(window_, msg.hwnd))) {
        return false;
    }
    // The control that has the key (a combo box's edit field counts as the
    // combo box), then the next one by tab index that can take the focus.
    const ControlInfo* current = nullptr;
    for (HWND h = msg.hwnd; h != nullptr && h != window_ && current == nullptr; h = GetParent(h)) {
        current = FindByWindow(h);
    }
    // A multi-line box that keeps its Tab gets it as a character.
    if (current != nullptr && (current->design->flags & (kMultiLine | kTabLeaves)) == kMultiLine) {
        return false;
    }
    std::vector<const ControlInfo*> order;
    for (const ControlDesign* d : TabOrder()) {
        if (Focusable(controls_[RowOf(*d)])) {
            order.push_back(&controls_[RowOf(*d)]);
        }
    }
    if (order.empty()) {
        return true;
    }
    // The next (Shift: the previous) control after the current one, round.
    const bool back = GetKeyState(VK_SHIFT) < 0;
    const int count = static_cast<int>(order.size());
    int at = back ? 0 : -1;
    for (int i = 0; i < count; ++i) {
        if (current != nullptr && order[static_cast<std::size_t>(i)] == current) {
            at = i;
        }
    }
    const int next = (at + (back ? count - 1 : 1)) % count;
    ::SetFocus(order[static_cast<std::size_t>(next)]->hwnd);
    return true;
}

Form1Win32::ControlInfo* Form1Win32::FindByWindow(HWND hwnd) {
    const auto found = by_window_.find(hwnd);
    return found == by_window_.end() ? nullptr : &controls_[found->second];
}

Form1Win32::ControlInfo& Form1Win32::Get(const ControlDesign& d) {
    if (RowOf(d) >= controls_.size()) {
        throw RunTimeError(kErrObjectRequired, "Object required");  // no window yet
    }
    return controls_[RowOf(d)];
}

void Form1Win32::SetBack(ControlInfo& info, COLORREF color) {
    if (info.brush != nullptr) {
        DeleteObject(info.brush);
    }
    info.has_back = true;
    info.back = color;
    info.brush = CreateSolidBrush(color);
    InvalidateRect(info.hwnd, nullptr, TRUE);
}

void Form1Win32::Show() {
    // Centred in the screen's work area, then painted with every control
    // before the start-up goes on.
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT frame;
    GetWindowRect(window_, &frame);
    const PixelPoint at =
        CentredIn(work.left, work.top, work.right - work.left, work.bottom - work.top,
                  frame.right - frame.left, frame.bottom - frame.top);
    SetWindowPos(window_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
    RedrawWindow(window_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

std::string Form1Win32::DoText(const ControlDesign& d) {
    return WindowText(Get(d).hwnd);
}

void Form1Win32::DoSetText(const ControlDesign& d, const std::string& text) {
    SetWindowTextA(Get(d).hwnd, text.c_str());
}

void Form1Win32::DoSetCaption(const ControlDesign& d, const std::string& caption) {
    SetWindowTextA(Get(d).hwnd, caption.c_str());
}

void Form1Win32::DoSetValue(const ControlDesign& d, int value) {
    SendMessageA(Get(d).hwnd, BM_SETCHECK, value == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Form1Win32::DoSetEnabled(const ControlDesign& d, bool enabled) {
    EnableWindow(Get(d).hwnd, enabled ? TRUE : FALSE);
}

Twips Form1Win32::DoGeometry(const ControlDesign& d) {
    return Get(d).twips;
}

void Form1Win32::DoSetGeometry(const ControlDesign& d, const Twips& twips) {
    ControlInfo& info = Get(d);
    info.twips = twips;
    Place(info);
}

void Form1Win32::DoSetBackColor(const ControlDesign& d, const Rgb& color) {
    SetBack(Get(d), RGB(color.red, color.green, color.blue));
}

void Form1Win32::DoSetFocus(const ControlDesign& d) {
    ::SetFocus(Get(d).hwnd);
}

void Form1Win32::DoAddItem(const ControlDesign& d, const std::string& item) {
    // Adding to a combo box's list leaves the edit text and the selection
    // alone.
    SendMessageA(Get(d).hwnd, d.kind == Kind::kListBox ? LB_ADDSTRING : CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(item.c_str()));
}

void Form1Win32::DoClear(const ControlDesign& d) {
    SendMessageA(Get(d).hwnd, d.kind == Kind::kListBox ? LB_RESETCONTENT : CB_RESETCONTENT, 0, 0);
}

int Form1Win32::DoListCount(const ControlDesign& d) {
    return static_cast<int>(
        SendMessageA(Get(d).hwnd, d.kind == Kind::kListBox ? LB_GETCOUNT : CB_GETCOUNT, 0, 0));
}

std::string Form1Win32::DoList(const ControlDesign& d, int index) {
    const ControlInfo& info = Get(d);
    const bool list = d.kind == Kind::kListBox;
    const LRESULT length = SendMessageA(info.hwnd, list ? LB_GETTEXTLEN : CB_GETLBTEXTLEN,
                                        static_cast<WPARAM>(index), 0);
    if (length < 0) {
        return std::string();  // no such entry
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT copied =
        SendMessageA(info.hwnd, list ? LB_GETTEXT : CB_GETLBTEXT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied < 0 ? 0 : static_cast<std::size_t>(copied));
    return text;
}

void Form1Win32::DoSetListIndex(const ControlDesign& d, int index) {
    // Selecting an item also scrolls it into view.
    SendMessageA(Get(d).hwnd, d.kind == Kind::kListBox ? LB_SETCURSEL : CB_SETCURSEL,
                 static_cast<WPARAM>(index), 0);
}

void Form1Win32::MsgBox(const std::string& text, const std::string& title) {
    // No title of its own: the box shows the application's title.
    HWND owner = window_ != nullptr && IsWindow(window_) ? window_ : nullptr;
    MessageBoxA(owner, text.c_str(), title.empty() ? kAppTitle : title.c_str(), MB_OK);
}

void Form1Win32::DoEvents() {
    // Everything pending now: timer ticks, repaints, clicks. A quit request
    // is left in the queue for the loop that owns it.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!TabKey(msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

void Form1Win32::SetTimerInterval(int milliseconds) {
    // A new interval restarts a running timer.
    timer_interval_ = static_cast<UINT>(std::max(milliseconds, 0));
    if (timer_on_) {
        if (timer_interval_ > 0) {
            SetTimer(window_, kTimer1, timer_interval_, nullptr);
        } else {
            KillTimer(window_, kTimer1);
        }
    }
}

void Form1Win32::SetTimerEnabled(bool enabled) {
    if (enabled) {
        // Enabling a running timer leaves its count as it is.
        if (!timer_on_ && timer_interval_ > 0) {
            SetTimer(window_, kTimer1, timer_interval_, nullptr);
        }
        timer_on_ = true;
    } else {
        KillTimer(window_, kTimer1);
        timer_on_ = false;
    }
}

void Form1Win32::StartTextViewer() {
    StartReadmeViewer();
}

void Form1Win32::EndProgram() {
    // No unload handler and no further event: stop the timer and take the
    // window away; the message loop then ends.
    ended_ = true;
    timer_on_ = false;
    if (window_ != nullptr && IsWindow(window_)) {
        KillTimer(window_, kTimer1);
        DestroyWindow(window_);
    }
}

bool Form1Win32::Describe(const std::string& path) {
    // For the tests: each control's font and the colours its container gives
    // it when it paints (the answer to its WM_CTLCOLOR* request).
    FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) {
        return false;
    }
    HDC screen = GetDC(window_);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(window_, screen);
    std::fprintf(out, "dpi %d %d\n", dpi_x_, dpi_y_);
    for (const ControlInfo& info : controls_) {
        auto* font = reinterpret_cast<HFONT>(SendMessageA(info.hwnd, WM_GETFONT, 0, 0));
        LOGFONTA lf = {};
        if (font == nullptr || GetObjectA(font, sizeof lf, &lf) == 0) {
            std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "none");
        }
        UINT request = WM_CTLCOLORSTATIC;
        if (info.design->kind == Kind::kTextBox) {
            const bool read_only = (GetWindowLongA(info.hwnd, GWL_STYLE) & ES_READONLY) != 0;
            request = read_only ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
        } else if (info.design->kind == Kind::kListBox) {
            request = WM_CTLCOLORLISTBOX;
        } else if (info.design->kind == Kind::kCommandButton) {
            request = WM_CTLCOLORBTN;
        }
        SetBkColor(dc, RGB(1, 2, 3));
        const auto brush = reinterpret_cast<HBRUSH>(
            SendMessageA(GetParent(info.hwnd), request, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(info.hwnd)));
        const COLORREF back = GetBkColor(dc);
        LOGBRUSH lb = {};
        const bool solid = brush != nullptr && GetObjectA(brush, sizeof lb, &lb) != 0;
        std::fprintf(out, "%s %d font=\"%s\" height=%ld weight=%ld back=%02X%02X%02X",
                     std::string(info.design->control.name).c_str(), info.design->control.index,
                     lf.lfFaceName, static_cast<long>(lf.lfHeight), static_cast<long>(lf.lfWeight),
                     GetRValue(back), GetGValue(back), GetBValue(back));
        if (solid) {
            std::fprintf(out, " brush=%02X%02X%02X\n", GetRValue(lb.lbColor), GetGValue(lb.lbColor),
                         GetBValue(lb.lbColor));
        } else {
            std::fprintf(out, " brush=none\n");
        }
    }
    DeleteDC(dc);
    return std::fclose(out) == 0;
}

}  // namespace kestro
