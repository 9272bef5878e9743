// Form1's controls: kinds, names, captions, places, tab order, fonts and
// colours, and the frame that holds the card display.
#include "form1_ids.h"
#include "form1_win32.h"

namespace kestro {

namespace {

constexpr const char* kCaption = "Torvanex USB MSR Configure v1.00";
constexpr int kClientWidth = 10785;  // twips
constexpr int kClientHeight = 7905;
constexpr int kTwipsPerInch = 1440;
constexpr COLORREF kLightGrey = RGB(224, 224, 224);
// Height of the combo box's open list, in lines of its items.
constexpr int kComboListLines = 6;

constexpr DWORD kTextBox = ES_AUTOHSCROLL;
constexpr DWORD kReadOnlyBox = ES_AUTOHSCROLL | ES_READONLY;
constexpr DWORD kListBox = LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;

// Points to a font height in pixels (negative: character height).
int FontHeight(int tenths_of_points_x100, int dpi) {
    return -MulDiv(tenths_of_points_x100, dpi, 7200);
}

HFONT MakeFont(const char* face, int height, bool bold) {
    return CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, face);
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

HFONT Form1Win32::FontFor(Face face) const {
    switch (face) {
        case Face::kLarge:
            return large_font_;
        case Face::kFrameTitle:
            return frame_font_;
        case Face::kWindow:
            break;
    }
    return window_font_;
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

    // The window's font is MS Sans Serif 9.75 pt; some controls use 12 pt,
    // and the frame's caption Arial 12 pt bold.
    window_font_ = MakeFont("MS Sans Serif", FontHeight(975, dpi_y_), false);
    large_font_ = MakeFont("MS Sans Serif", FontHeight(1200, dpi_y_), false);
    frame_font_ = MakeFont("Arial", FontHeight(1200, dpi_y_), true);

    // A fixed frame around the client area of the design's size.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT frame = {0, 0, PixelsX(kClientWidth), PixelsY(kClientHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    window_ = CreateWindowExA(0, KESTRO_FORM1_CLASS, kCaption, style, CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                              instance_, this);
    if (window_ == nullptr) {
        return false;
    }
    SendMessageA(window_, WM_SETFONT, reinterpret_cast<WPARAM>(window_font_), FALSE);
    // The program's icon, in the caption and the task list.
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_));
    return BuildControls();
}

bool Form1Win32::Add(const Design& d, HWND parent) {
    const char* window_class = "Static";
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | d.style;
    DWORD ex_style = d.ex_style;
    switch (d.kind) {
        case Kind::kImage:
            style |= SS_BITMAP | SS_REALSIZECONTROL;
            break;
        case Kind::kLabel:
            style |= SS_LEFT | SS_NOPREFIX;
            break;
        case Kind::kTextBox:
            window_class = "Edit";
            ex_style |= WS_EX_CLIENTEDGE;
            break;
        case Kind::kComboBox:
            window_class = "ComboBox";
            style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL;
            break;
        case Kind::kButton:
            window_class = "Button";
            style |= BS_PUSHBUTTON;
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
            ex_style |= WS_EX_CLIENTEDGE;
            break;
    }
    if (d.tab_index >= 0 && d.kind != Kind::kLabel && d.kind != Kind::kFrame) {
        style |= WS_TABSTOP;
    }
    HWND hwnd =
        CreateWindowExA(ex_style, window_class, d.caption, style, 0, 0, 0, 0, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(d.id)), instance_, nullptr);
    if (hwnd == nullptr) {
        return false;
    }
    ControlInfo info;
    info.name = std::string(d.control.name);
    info.index = d.control.index;
    info.kind = d.kind;
    info.hwnd = hwnd;
    info.twips = d.twips;
    info.tab_index = d.tab_index;
    info.face = d.face;
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(d.face)), FALSE);
    if (d.kind == Kind::kImage && banner_ != nullptr) {
        SendMessageA(hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(banner_));
    }
    Place(info);
    by_name_[{info.name, info.index}] = controls_.size();
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
    if (info.kind != Kind::kComboBox) {
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
    constexpr Face W = Face::kWindow;
    constexpr Face L = Face::kLarge;
    constexpr Face T = Face::kFrameTitle;
    constexpr DWORD V = WS_VISIBLE;
    // clang-format off
    // Controls placed directly on the window; twips: left, top, width, height.
    const Design on_window[] = {
        {ctl::Image1, Kind::kImage, ID_IMAGE1, "", {0, 120, 4500, 1950}, -1, W, V, 0},
        {ctl::Label5, Kind::kLabel, ID_LABEL5, "MSR Mode:", {5280, 720, 1335, 375}, 7, L, V, 0},
        {ctl::txtMsrType, Kind::kTextBox, ID_TXTMSRTYPE, "", {6720, 720, 2175, 375}, 20, L,
         V | kReadOnlyBox, 0},
        {ctl::Label1, Kind::kLabel, ID_LABEL1, "Will be changed to:", {4560, 1440, 2055, 375}, 24,
         L, V, 0},
        {ctl::comboMsrType2, Kind::kComboBox, ID_COMBOMSRTYPE2, "", {6720, 1440, 2175, 420}, 22, L,
         V, 0},
        {ctl::cmdEXIT, Kind::kButton, ID_CMDEXIT, "Exit", {9120, 120, 1455, 495}, 2, L, V, 0},
        {ctl::cmdHELP, Kind::kButton, ID_CMDHELP, "Help", {9120, 600, 1455, 495}, 25, L, V, 0},
        {ctl::cmdChangeMode, Kind::kButton, ID_CMDCHANGEMODE, "Change Mode",
         {9120, 1320, 1455, 735}, 23, L, V | WS_DISABLED, 0},
        {ctl::Frame1, Kind::kFrame, ID_FRAME1, "Reader Output", {120, 2160, 10455, 5655}, 3, T, V,
         0},
        // The result log and its Clear button lie over the frame, hidden.
        {ctl::lstResults, Kind::kListBox, ID_LSTRESULTS, "", {120, 5520, 5295, 2220}, 6, W,
         kListBox, 0},
        {ctl::cmdClearLog, Kind::kButton, ID_CMDCLEARLOG, "Clear", {240, 5280, 1455, 255}, 5, W, 0,
         0},
    };
    // clang-format on
    for (const Design& d : on_window) {
        if (!Add(d, window_)) {
            return false;
        }
    }
    HWND frame = Get(ctl::Frame1).hwnd;
    static const char* const kStatus[] = {"Track1 Status:", "Track2 Status:", "Track3 Status:"};
    static const char* const kLength[] = {"Track1 Length:", "Track2 Length:", "Track3 Length:"};
    for (int n = 0; n < 3; ++n) {
        const int top = 360 + 360 * n;
        // clang-format off
        // One row per track, inside the frame.
        const Design row[] = {
            {ctl::Label3(n), Kind::kLabel, ID_LABEL3 + n, kStatus[n], {240, top, 1455, 255}, 8 + n,
             W, V, 0},
            {ctl::chkStatusOK(n), Kind::kCheckBox, ID_CHKSTATUSOK + n, "OK", {1680, top, 615, 255},
             11 + n, W, V, 0},
            {ctl::Label4(n), Kind::kLabel, ID_LABEL4 + n, kLength[n], {2760, top, 1455, 255},
             14 + n, W, V, 0},
            {ctl::txtTrackLenght(n), Kind::kTextBox, ID_TXTTRACKLENGHT + n, "",
             {4200, top, 1095, 315}, 17 + n, W, V | kReadOnlyBox, 0},
        };
        // clang-format on
        for (const Design& d : row) {
            if (!Add(d, frame)) {
                return false;
            }
        }
    }
    // clang-format off
    const Design in_frame[] = {
        {ctl::cmdClearCard, Kind::kButton, ID_CMDCLEARCARD, "Clear", {9240, 720, 975, 375}, 1, W,
         V, 0},
        {ctl::lblBrushTimes, Kind::kLabel, ID_LBLBRUSHTIMES, "0", {9120, 1200, 1095, 255}, 4, W, V,
         0},
        {ctl::lstCardData, Kind::kListBox, ID_LSTCARDDATA, "", {240, 2760, 9975, 2700}, 0, W,
         V | kListBox, 0},
        {ctl::txtCardData, Kind::kTextBox, ID_TXTCARDDATA, "", {240, 1440, 9975, 1335}, 21, W,
         V | kTextBox | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_HSCROLL | WS_VSCROLL, 0},
    };
    // clang-format on
    for (const Design& d : in_frame) {
        if (!Add(d, frame)) {
            return false;
        }
    }
    // The card box lies above its neighbours, also when it fills the frame.
    SetWindowPos(Get(ctl::txtCardData).hwnd, HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    SetBack(Get(ctl::txtMsrType), kLightGrey);
    for (int n = 0; n < 3; ++n) {
        SetBack(Get(ctl::txtTrackLenght(n)), kLightGrey);
    }
    SetBack(Get(ctl::lstCardData), kLightGrey);
    SetBack(Get(ctl::lstResults), kLightGrey);
    return true;
}

}  // namespace kestro
