// Form1's controls made from the design, one window per row, and the frame
// that holds the card display.
#include "form1_ids.h"
#include "form1_win32.h"

namespace kestro {

namespace {

// Height of the combo box's open list, in lines of its items.
constexpr int kComboListLines = 6;

// A face of the design at the screen's DPI (a negative height is the
// character height in pixels).
HFONT MakeFont(Face face, int dpi) {
    const FontDesign& f = FontOf(face);
    return CreateFontA(-MulDiv(f.points_x100, dpi, 7200), 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL,
                       FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, f.family);
}

// The frame keeps its font in its window's extra bytes.
constexpr int kFrameFontSlot = 0;

}  // namespace

int Form1Win32::PixelsX(int twips) const {
    return MulDiv(twips, dpi_x_, kTwipsPerInch);
}

int Form1Win32::PixelsY(int twips) const {
    return MulDiv(twips, dpi_y_, kTwipsPerInch);
}

// The frame: a container that draws an etched border with its caption and
// passes its children's notifications and colour requests to the window.
LRESULT CALLBACK Form1Win32::FrameProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSCROLLBAR:
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
            return SendMessageA(GetParent(hwnd), message, wparam, lparam);
        case WM_SETFONT:
            SetWindowLongPtrA(hwnd, kFrameFontSlot, static_cast<LONG_PTR>(wparam));
            if (LOWORD(lparam) != 0) {
                InvalidateRect(hwnd, nullptr, TRUE);
            }
            return 0;
        case WM_GETFONT:
            return GetWindowLongPtrA(hwnd, kFrameFontSlot);
        case WM_SETTEXT: {
            const LRESULT result = DefWindowProcA(hwnd, message, wparam, lparam);
            InvalidateRect(hwnd, nullptr, TRUE);
            return result;
        }
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(hwnd, &paint);
            RECT client;
            GetClientRect(hwnd, &client);
            auto* font = reinterpret_cast<HFONT>(GetWindowLongPtrA(hwnd, kFrameFontSlot));
            HGDIOBJ old_font = SelectObject(dc, font != nullptr ? static_cast<HGDIOBJ>(font)
                                                                : GetStockObject(DEFAULT_GUI_FONT));
            TEXTMETRICA metrics;
            GetTextMetricsA(dc, &metrics);
            RECT border = client;
            border.top = metrics.tmHeight / 2;
            DrawEdge(dc, &border, EDGE_ETCHED, BF_RECT);
            char caption[256];
            const int length = GetWindowTextA(hwnd, caption, sizeof caption);
            if (length > 0) {
                SetBkMode(dc, OPAQUE);
                SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
                SetTextColor(dc,
                             GetSysColor(IsWindowEnabled(hwnd) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
                RECT text = {metrics.tmAveCharWidth, 0, client.right - metrics.tmAveCharWidth,
                             metrics.tmHeight};
                DrawTextA(dc, caption, length, &text, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
            }
            SelectObject(dc, old_font);
            EndPaint(hwnd, &paint);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

bool Form1Win32::RegisterClasses() {
    WNDCLASSEXA form = {};
    form.cbSize = sizeof form;
    form.lpfnWndProc = WindowProc;
    form.hInstance = instance_;
    form.hIcon = icon_;
    form.hIconSm = small_icon_;
    form.hCursor = LoadCursor(nullptr, IDC_ARROW);
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = KESTRO_FORM1_CLASS;
    if (RegisterClassExA(&form) == 0) {
        return false;
    }
    WNDCLASSEXA frame = {};
    frame.cbSize = sizeof frame;
    frame.lpfnWndProc = FrameProc;
    frame.cbWndExtra = sizeof(LONG_PTR);
    frame.hInstance = instance_;
    frame.hCursor = LoadCursor(nullptr, IDC_ARROW);
    frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    frame.lpszClassName = KESTRO_FRAME_CLASS;
    return RegisterClassExA(&frame) != 0;
}

bool Form1Win32::Create() {
    HDC screen = GetDC(nullptr);
    dpi_x_ = GetDeviceCaps(screen, LOGPIXELSX);
    dpi_y_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);

    icon_ =
        static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    small_icon_ = static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(IDI_PROGRAM),
                                                IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), 0));
    banner_ = static_cast<HBITMAP>(
        LoadImageA(instance_, MAKEINTRESOURCEA(IDB_BANNER), IMAGE_BITMAP, 0, 0, 0));
    if (!RegisterClasses()) {
        return false;
    }

    for (Face face : {Face::kWindow, Face::kLarge, Face::kFrameTitle}) {
        fonts_[static_cast<std::size_t>(face)] = MakeFont(face, dpi_y_);
    }

    // A fixed frame around the client area of the design's size.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT frame = {0, 0, PixelsX(kForm1Width), PixelsY(kForm1Height)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    window_ = CreateWindowExA(0, KESTRO_FORM1_CLASS, kForm1Caption, style, CW_USEDEFAULT,
                              CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                              nullptr, nullptr, instance_, this);
    if (window_ == nullptr) {
        return false;
    }
    SendMessageA(window_, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_[0]), FALSE);
    // The program's icon, in the caption and the task list.
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_));
    return BuildControls();
}

bool Form1Win32::Add(const ControlDesign& d, HWND parent) {
    const char* window_class = "Static";
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD ex_style = 0;
    switch (d.kind) {
        case Kind::kImage:
            style |= SS_BITMAP | SS_REALSIZECONTROL;
            break;
        case Kind::kLabel:
            style |= SS_LEFT | SS_NOPREFIX;
            break;
        case Kind::kTextBox:
            window_class = "Edit";
            style |= ES_AUTOHSCROLL | ((d.flags & kReadOnly) != 0 ? ES_READONLY : 0);
            if ((d.flags & kMultiLine) != 0) {
                style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_HSCROLL | WS_VSCROLL;
            }
            ex_style |= WS_EX_CLIENTEDGE;
            break;
        case Kind::kComboBox:
            window_class = "ComboBox";
            style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL;
            break;
        case Kind::kCommandButton:
            window_class = "Button";
            style |= BS_PUSHBUTTON | ((d.flags & kWrapCaption) != 0 ? BS_MULTILINE : 0);
            break;
        case Kind::kCheckBox:
            window_class = "Button";
            style |= BS_AUTOCHECKBOX;
            break;
        case Kind::kFrame:
            window_class = KESTRO_FRAME_CLASS;
            style |= WS_CLIPCHILDREN;
            ex_style |= WS_EX_CONTROLPARENT;
            break;
        case Kind::kListBox:
            window_class = "ListBox";
            style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;
            ex_style |= WS_EX_CLIENTEDGE;
            break;
    }
    style |= (d.flags & kHidden) != 0 ? 0 : WS_VISIBLE;
    style |= (d.flags & kDisabled) != 0 ? WS_DISABLED : 0;
    style |= TakesFocus(d) ? WS_TABSTOP : 0;
    const int id = ID_FIRST_CONTROL + static_cast<int>(RowOf(d));
    HWND hwnd =
        CreateWindowExA(ex_style, window_class, d.caption, style, 0, 0, 0, 0, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (hwnd == nullptr) {
        return false;
    }
    ControlInfo info;
    info.design = &d;
    info.hwnd = hwnd;
    info.twips = d.place;
    SendMessageA(hwnd, WM_SETFONT,
                 reinterpret_cast<WPARAM>(fonts_[static_cast<std::size_t>(d.face)]), FALSE);
    if (d.kind == Kind::kImage && banner_ != nullptr) {
        SendMessageA(hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(banner_));
    }
    if (d.back) {
        SetBack(info, RGB(d.back->red, d.back->green, d.back->blue));
    }
    Place(info);
    // A later row lies above an earlier one, as the design says.
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    by_window_[hwnd] = controls_.size();
    controls_.push_back(info);
    return true;
}

void Form1Win32::Place(ControlInfo& info) {
    const Twips& t = info.twips;
    const int left = PixelsX(t.left);
    const int top = PixelsY(t.top);
    const int width = PixelsX(t.width);
    const int height = PixelsY(t.height);
    if (info.design->kind != Kind::kComboBox) {
        MoveWindow(info.hwnd, left, top, width, height, TRUE);
        return;
    }
    // A drop-down combo's height takes in its open list; its closed height
    // follows the height of its selection field, which is set to match.
    const int item = static_cast<int>(SendMessageA(info.hwnd, CB_GETITEMHEIGHT, 0, 0));
    MoveWindow(info.hwnd, left, top, width, height + kComboListLines * item + 2, TRUE);
    for (int attempt = 0; attempt < 2; ++attempt) {
        RECT closed;
        GetWindowRect(info.hwnd, &closed);
        const int off = height - (closed.bottom - closed.top);
        if (off == 0) {
            break;
        }
        const int field = static_cast<int>(SendMessageA(info.hwnd, CB_GETITEMHEIGHT, -1, 0));
        SendMessageA(info.hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field + off);
    }
}

bool Form1Win32::BuildControls() {
    HWND frame = nullptr;
    for (const ControlDesign& d : Form1Design()) {
        if (!Add(d, d.in_frame ? frame : window_)) {
            return false;
        }
        if (d.kind == Kind::kFrame) {
            frame = controls_.back().hwnd;
        }
    }
    return true;
}

}  // namespace kestro
