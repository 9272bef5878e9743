/*
 * kestro_ui_driver - drives KestroConfigure.exe from outside, as an operator
 * would, and checks what its window shows. Run under Wine with a display.
 *
 *   kestro_ui_driver reader   DIR [--screenshot]
 *       DIR holds KestroConfigure.exe, the IDTECH double of kestro.dll and
 *       README.TXT: the window and its controls, the detection, one card,
 *       the tab order, fonts and colours, Help, and closing the window.
 *       With --screenshot it writes DIR\shot-request (the window's screen
 *       rectangle) once the card is shown and waits for DIR\shot-done.
 *   kestro_ui_driver exit     DIR   the version resource of
 *       KestroConfigure.exe, and the Exit button ends the program
 *   kestro_ui_driver noreader DIR   the double without a reader: the
 *       message, then the end of the program when it is answered
 *   kestro_ui_driver nolibrary DIR  no kestro.dll at all: the two error
 *       reports, then the end of the program
 *   kestro_ui_driver hid      DIR [--screenshot]
 *       DIR holds KestroConfigure.exe and the real kestro.dll, and the fake
 *       reader of scripts/wine-hid.sh is on the HID stack in the IDTECH
 *       mode, driven through C:\reader: the detection, a card swiped and
 *       shown track by track with the counter, the mode changed to MAGTEK
 *       and back to IDTECH (each detected, each with a card), then Exit.
 *       --screenshot as for reader, once the first card is shown.
 *
 * The program runs with DIR as its current directory; the double's journal
 * DIR\fake_kestro.log shows the library calls. Prints one line per check
 * and exits with 0 only when every check passes. Every wait is bounded.
 */
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../../logic/form1_design.h"
#include "form1_ids.h"
#include "hid_listed.h"
#include "reader_command.h"
#include "wincheck.h"

using namespace kestro;

/* The identifier of a control of the design, by its name in ctl. */
#define ID(name) (ID_FIRST_CONTROL + static_cast<int>(RowOf(*FindDesign(ctl::name))))

#define CAPTION "Torvanex USB MSR Configure v1.00"
#define APP_TITLE "KestroConfigure"
#define NO_READER "Please connect TORVANEX USB MSR first !!"
#define TRACK1 "%B6011000990139424^KESTRO/TEST CARD^3012101000000?"
#define TRACK2 ";6011000990139424=30121010000?"
#define TEXT_MAX 4096

static int answer_box(const char* text, const char* what);
static char dir[MAX_PATH];
static PROCESS_INFORMATION program;
static HWND form, frame;
static int dpi_x = 96, dpi_y = 96;

/* --- The program's windows ------------------------------------------------ */

static void text_of(HWND hwnd, char* out, size_t size) {
    DWORD_PTR copied = 0;
    out[0] = '\0';
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, size, (LPARAM)out, SMTO_ABORTIFHUNG, 5000,
                             &copied)) {
        out[0] = '\0';
    }
    out[size - 1] = '\0';
}

static LRESULT ask(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(hwnd, message, wparam, lparam, SMTO_ABORTIFHUNG, 5000, &result)) {
        return -1000;
    }
    return (LRESULT)result;
}

/* Sets a window's text from outside. */
static void ask_text(HWND hwnd, const char* text) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(hwnd, WM_SETTEXT, 0, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &result);
}

/* An item of a list box or of a combo box's list. Asked for in UTF-16: Wine
 * passes these texts to another process only in that form. */
static void list_item(HWND list, int index, int combo, char* out, size_t size) {
    WCHAR wide[TEXT_MAX];
    LRESULT length = ask(list, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, (WPARAM)index, 0);
    DWORD_PTR copied = 0;
    out[0] = '\0';
    if (length < 0 || length >= TEXT_MAX ||
        !SendMessageTimeoutW(list, combo ? CB_GETLBTEXT : LB_GETTEXT, (WPARAM)index, (LPARAM)wide,
                             SMTO_ABORTIFHUNG, 5000, &copied)) {
        return;
    }
    wide[length] = 0;
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, out, (int)size, NULL, NULL) == 0) {
        out[0] = '\0';
    }
}

/* A control by identifier: on the window, else in the frame. */
static HWND control(int id) {
    HWND h = GetDlgItem(form, id);
    if (h == NULL && frame != NULL) {
        h = GetDlgItem(frame, id);
    }
    return h;
}

static int text_is(int id, const char* want) {
    char text[TEXT_MAX];
    text_of(control(id), text, sizeof text);
    return strcmp(text, want) == 0;
}

struct find_top {
    DWORD pid;
    const char* window_class;
    HWND found;
};

static BOOL CALLBACK find_top_proc(HWND hwnd, LPARAM lparam) {
    struct find_top* f = (struct find_top*)lparam;
    DWORD pid = 0;
    char name[64];
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == f->pid && IsWindowVisible(hwnd) && GetClassNameA(hwnd, name, sizeof name) &&
        strcmp(name, f->window_class) == 0) {
        f->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

/* A visible top-level window of the given class, of process pid (0: any). */
static HWND top_window(DWORD pid, const char* window_class, DWORD wait_ms) {
    DWORD start = GetTickCount();
    for (;;) {
        struct find_top f;
        f.pid = pid;
        f.window_class = window_class;
        f.found = NULL;
        if (pid == 0) {
            f.found = FindWindowA(window_class, NULL);
            if (f.found != NULL && !IsWindowVisible(f.found)) {
                f.found = NULL;
            }
        } else {
            EnumWindows(find_top_proc, (LPARAM)&f);
        }
        if (f.found != NULL || GetTickCount() - start >= wait_ms) {
            return f.found;
        }
        Sleep(50);
    }
}

/* Waits until the text of control id is want. */
static int wait_text(int id, const char* want, DWORD wait_ms) {
    DWORD start = GetTickCount();
    while (!text_is(id, want)) {
        if (GetTickCount() - start >= wait_ms) {
            return 0;
        }
        Sleep(50);
    }
    return 1;
}

static HWND focus_of(HWND hwnd) {
    GUITHREADINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, NULL), &info)) {
        return NULL;
    }
    return info.hwndFocus;
}

/* The control that has the focus (a combo box for its edit field). */
static int focused_id(void) {
    HWND h = focus_of(form);
    char name[64];
    if (h != NULL && GetClassNameA(GetParent(h), name, sizeof name) &&
        strcmp(name, "ComboBox") == 0) {
        h = GetParent(h);
    }
    return h == NULL ? 0 : GetDlgCtrlID(h);
}

/* --- Starting and ending the program -------------------------------------- */

static int start_program(void) {
    char exe[MAX_PATH + 32], command[MAX_PATH + 40], describe[MAX_PATH + 32];
    STARTUPINFOA startup;
    snprintf(exe, sizeof exe, "%s\\KestroConfigure.exe", dir);
    snprintf(command, sizeof command, "\"%s\"", exe);
    snprintf(describe, sizeof describe, "%s\\describe.txt", dir);
    SetEnvironmentVariableA(KESTRO_DESCRIBE_ENV, describe);
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    memset(&program, 0, sizeof program);
    if (!CreateProcessA(exe, command, NULL, NULL, FALSE, 0, NULL, dir, &startup, &program)) {
        return check(0, "KestroConfigure.exe starts (error %lu)", GetLastError());
    }
    return 1;
}

/* Waits for the program to end; its exit code, or -1 when it does not. */
static long wait_end(DWORD wait_ms) {
    DWORD code = 0;
    if (WaitForSingleObject(program.hProcess, wait_ms) != WAIT_OBJECT_0) {
        return -1;
    }
    GetExitCodeProcess(program.hProcess, &code);
    return (long)code;
}

static void stop_program(void) {
    if (program.hProcess != NULL) {
        if (WaitForSingleObject(program.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(program.hProcess, 99);
            WaitForSingleObject(program.hProcess, 5000);
        }
        CloseHandle(program.hProcess);
        CloseHandle(program.hThread);
        program.hProcess = NULL;
    }
}

static int find_form(void) {
    char text[TEXT_MAX];
    form = top_window(program.dwProcessId, KESTRO_FORM1_CLASS, 30000);
    if (!check(form != NULL, "the window opens")) {
        return 0;
    }
    /* The window answers once its start-up work is done; the detection on a
     * slow machine may keep it busy for longer than one message's wait. */
    DWORD start = GetTickCount();
    do {
        text_of(form, text, sizeof text);
    } while (strcmp(text, CAPTION) != 0 && GetTickCount() - start < 30000);
    check(strcmp(text, CAPTION) == 0, "its caption is \"%s\" (got \"%s\")", CAPTION, text);
    frame = GetDlgItem(form, ID(Frame1));
    return 1;
}

/* The journal of the double, each line one call. */
static int journal_is(const char* want) {
    char path[MAX_PATH + 32], text[TEXT_MAX];
    size_t n = 0;
    FILE* f;
    snprintf(path, sizeof path, "%s\\fake_kestro.log", dir);
    f = fopen(path, "rb");
    if (f != NULL) {
        n = fread(text, 1, sizeof text - 1, f);
        fclose(f);
    }
    text[n] = '\0';
    if (strcmp(text, want) != 0) {
        printf("     journal:\n%s", text);
        return 0;
    }
    return 1;
}

static void remove_in_dir(const char* name) {
    char path[MAX_PATH + 32];
    snprintf(path, sizeof path, "%s\\%s", dir, name);
    DeleteFileA(path);
}

/* --- The design ----------------------------------------------------------- */

static int px(int twips, int dpi) {
    return MulDiv(twips, dpi, 1440);
}

/* The control of a row of the design, and its name for the output. */
static HWND control_of(const ControlDesign& d) {
    return control(ID_FIRST_CONTROL + static_cast<int>(RowOf(d)));
}

static std::string name_of(const ControlDesign& d) {
    std::string name(d.control.name);
    return d.control.index < 0 ? name : name + "(" + std::to_string(d.control.index) + ")";
}

static const char* class_of(const ControlDesign& d) {
    switch (d.kind) {
        case Kind::kImage:
        case Kind::kLabel:
            return "Static";
        case Kind::kTextBox:
            return "Edit";
        case Kind::kComboBox:
            return "ComboBox";
        case Kind::kCommandButton:
        case Kind::kCheckBox:
            return "Button";
        case Kind::kFrame:
            return KESTRO_FRAME_CLASS;
        case Kind::kListBox:
            break;
    }
    return "ListBox";
}

/* Whether the control shows its caption (a box or list shows its content). */
static bool has_caption(const ControlDesign& d) {
    return d.kind == Kind::kLabel || d.kind == Kind::kCommandButton || d.kind == Kind::kCheckBox ||
           d.kind == Kind::kFrame;
}

/* Every row of the design: there, of its kind, in its container, at its
 * place, with its caption and settings. */
static void check_controls(void) {
    for (const ControlDesign& d : Form1Design()) {
        const std::string n = name_of(d);
        const char* name = n.c_str();
        HWND parent = d.in_frame ? frame : form;
        HWND h = parent != NULL ? GetDlgItem(parent, ID_FIRST_CONTROL + static_cast<int>(RowOf(d)))
                                : NULL;
        char window_class[64], text[TEXT_MAX];
        RECT r;
        if (!check(h != NULL, "%s is there", name)) {
            continue;
        }
        GetClassNameA(h, window_class, sizeof window_class);
        check(strcmp(window_class, class_of(d)) == 0, "%s is a %s (got %s)", name, class_of(d),
              window_class);
        if (has_caption(d)) {
            text_of(h, text, sizeof text);
            check(strcmp(text, d.caption) == 0, "%s reads \"%s\" (got \"%s\")", name, d.caption,
                  text);
        }
        GetWindowRect(h, &r);
        MapWindowPoints(NULL, parent, (POINT*)&r, 2);
        /* A drop-down combo box is as high as its font needs at least; the
         * window asks for the design height, which a larger substitute face
         * may exceed by a few pixels. */
        const Twips& t = d.place;
        const long height = r.bottom - r.top;
        check(r.left == px(t.left, dpi_x) && r.top == px(t.top, dpi_y) &&
                  r.right - r.left == px(t.width, dpi_x) &&
                  (height == px(t.height, dpi_y) ||
                   (d.kind == Kind::kComboBox && height > px(t.height, dpi_y) &&
                    height <= px(t.height, dpi_y) + 3)),
              "%s lies at %d,%d %dx%d pixels (got %ld,%ld %ldx%ld)", name, px(t.left, dpi_x),
              px(t.top, dpi_y), px(t.width, dpi_x), px(t.height, dpi_y), r.left, r.top,
              r.right - r.left, height);
        const LONG style = GetWindowLongA(h, GWL_STYLE);
        check(((style & WS_VISIBLE) == 0) == ((d.flags & kHidden) != 0), "%s is %s", name,
              (d.flags & kHidden) != 0 ? "hidden" : "shown");
        if (d.kind == Kind::kTextBox) {
            check(((style & ES_READONLY) != 0) == ((d.flags & kReadOnly) != 0), "%s is %s", name,
                  (d.flags & kReadOnly) != 0 ? "read-only" : "editable");
        }
        if ((d.flags & kMultiLine) != 0) {
            check((style & (ES_MULTILINE | WS_HSCROLL | WS_VSCROLL)) ==
                      (ES_MULTILINE | WS_HSCROLL | WS_VSCROLL),
                  "%s is multi-line with both scroll bars", name);
        }
        if (d.kind == Kind::kCheckBox) {
            check((style & 0x0F) == BS_AUTOCHECKBOX, "%s is a check box", name);
        }
        if (d.kind == Kind::kComboBox) {
            check((style & 0x03) == CBS_DROPDOWN && (style & CBS_SORT) == 0,
                  "%s is an editable, unsorted drop-down combo", name);
        }
    }
}

/* Every caption a control shows fits it, as the control draws it: on one
 * line, or wrapped between words when the control wraps; no line wider than
 * the room and the lines together not higher. The captions are set from
 * outside one after the other and put back; hidden controls show none. */
static void check_captions_fit(void) {
    std::vector<std::pair<const ControlDesign*, std::string>> captions;
    for (const ControlDesign& d : Form1Design()) {
        if (has_caption(d) && d.caption[0] != '\0' && (d.flags & kHidden) == 0) {
            captions.emplace_back(&d, d.caption);
        }
    }
    captions.emplace_back(FindDesign(ctl::cmdChangeMode), kChangingModeCaption);
    captions.emplace_back(FindDesign(ctl::lblBrushTimes), "32767");
    HDC dc = GetDC(NULL);
    for (const auto& [d, caption] : captions) {
        HWND h = control_of(*d);
        char before[TEXT_MAX];
        text_of(h, before, sizeof before);
        ask_text(h, caption.c_str());
        const FontDesign& f = FontOf(d->face);
        HFONT font =
            CreateFontA(-MulDiv(f.points_x100, dpi_y, 7200), 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL,
                        FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                        DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, f.family);
        HGDIOBJ old = SelectObject(dc, font);
        TEXTMETRICA metrics;
        GetTextMetricsA(dc, &metrics);
        RECT room;
        GetClientRect(h, &room);
        const LONG style = GetWindowLongA(h, GWL_STYLE);
        bool wraps = d->kind == Kind::kLabel;
        if (d->kind == Kind::kCommandButton) {
            InflateRect(&room, -4, -3);  // the bevel and the focus rectangle
            wraps = (style & BS_MULTILINE) != 0;
        } else if (d->kind == Kind::kCheckBox) {
            room.left += GetSystemMetrics(SM_CXMENUCHECK) + 4;  // the box and its gap
        } else if (d->kind == Kind::kFrame) {
            InflateRect(&room, -metrics.tmAveCharWidth, 0);
            room.bottom = room.top + metrics.tmHeight;
        }
        char shown[TEXT_MAX];
        text_of(h, shown, sizeof shown);
        RECT need = {0, 0, room.right - room.left, 0};
        DrawTextA(dc, shown, -1, &need,
                  DT_CALCRECT | DT_NOPREFIX | (wraps ? DT_WORDBREAK : DT_SINGLELINE));
        check(strcmp(shown, caption.c_str()) == 0 && need.right <= room.right - room.left &&
                  need.bottom <= room.bottom - room.top,
              "%s: \"%s\" fits (%ldx%ld pixels needed, %ldx%ld room)", name_of(*d).c_str(),
              caption.c_str(), need.right, need.bottom, room.right - room.left,
              room.bottom - room.top);
        SelectObject(dc, old);
        DeleteObject(font);
        ask_text(h, before);
    }
    ReleaseDC(NULL, dc);
}

/* The picture resources in the program file itself. */
static void check_resources(void) {
    char exe[MAX_PATH + 32];
    HMODULE file;
    HRSRC res;
    snprintf(exe, sizeof exe, "%s\\KestroConfigure.exe", dir);
    file = LoadLibraryExA(exe, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!check(file != NULL, "the program file opens as data")) {
        return;
    }
    res = FindResourceA(file, MAKEINTRESOURCEA(IDB_BANNER), MAKEINTRESOURCEA(2) /* RT_BITMAP */);
    if (check(res != NULL, "Image1's picture is a bitmap resource")) {
        const BITMAPINFOHEADER* bmp =
            (const BITMAPINFOHEADER*)LockResource(LoadResource(file, res));
        check(bmp != NULL && bmp->biWidth == 300 && bmp->biHeight == 130 && bmp->biBitCount == 24,
              "the picture is 300 x 130 pixels, 24-bit");
    }
    check(FindResourceA(file, MAKEINTRESOURCEA(IDI_PROGRAM), MAKEINTRESOURCEA(14)) != NULL,
          "the program icon is a resource (RT_GROUP_ICON)");
    FreeLibrary(file);
    check(ask(form, WM_GETICON, ICON_BIG, 0) != 0 && ask(form, WM_GETICON, ICON_SMALL, 0) != 0,
          "the window shows the program icon");
}

static void check_window_place(void) {
    RECT client, outer, work;
    GetClientRect(form, &client);
    check(client.right == px(10785, dpi_x) && client.bottom == px(7905, dpi_y),
          "the client area is %dx%d pixels (got %ldx%ld)", px(10785, dpi_x), px(7905, dpi_y),
          client.right, client.bottom);
    GetWindowRect(form, &outer);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    check(labs((outer.left + outer.right) - (work.left + work.right)) <= 2 &&
              labs((outer.top + outer.bottom) - (work.top + work.bottom)) <= 2,
          "the window opens in the centre of the screen");
}

/* --- Fonts and colours, from the program's own description ---------------- */

static void check_looks(void) {
    char path[MAX_PATH + 32], line[512] = "";
    UINT message = RegisterWindowMessageA(KESTRO_DESCRIBE_MESSAGE);
    snprintf(path, sizeof path, "%s\\describe.txt", dir);
    DeleteFileA(path);
    if (!check(ask(form, message, 0, 0) == 1, "the window describes its controls")) {
        return;
    }
    for (const ControlDesign& d : Form1Design()) {
        if (d.kind == Kind::kImage) {
            continue;  // a picture has no text
        }
        const FontDesign& font = FontOf(d.face);
        const std::string name =
            std::string(d.control.name) + " " + std::to_string(d.control.index);
        // The card box is coloured when reading starts.
        const std::optional<Rgb> back = d.control == ctl::txtCardData ? Rgb{255, 255, 192} : d.back;
        char want[256], colours[64] = "";
        int found = 0;
        snprintf(want, sizeof want, "%s font=\"%s\" height=%d weight=%d", name.c_str(), font.family,
                 -MulDiv(font.points_x100, dpi_y, 7200), font.bold ? 700 : 400);
        if (back) {
            snprintf(colours, sizeof colours, " back=%02X%02X%02X brush=%02X%02X%02X", back->red,
                     back->green, back->blue, back->red, back->green, back->blue);
        }
        FILE* f = fopen(path, "r");
        while (f != NULL && fgets(line, sizeof line, f) != NULL) {
            line[strcspn(line, "\r\n")] = '\0';
            if (strncmp(line, want, strlen(want)) == 0) {
                found = !back || strcmp(line + strlen(want), colours) == 0;
                break;
            }
        }
        if (f != NULL) {
            fclose(f);
        }
        check(found, "%s: %s %.2f pt%s%s", name.c_str(), font.family, font.points_x100 / 100.0,
              font.bold ? " bold" : "", colours);
        if (!found) {
            printf("     got: %s\n", line);
        }
    }
}

/* --- Scenarios ------------------------------------------------------------ */

static void check_log(const char* const* lines, int count, int selected) {
    HWND log = control(ID(lstResults));
    int i, all = (int)ask(log, LB_GETCOUNT, 0, 0) == count;
    char item[256];
    for (i = 0; all && i < count; ++i) {
        list_item(log, i, 0, item, sizeof item);
        if (strcmp(item, lines[i]) != 0) {
            printf("     log line %d: \"%s\", expected \"%s\"\n", i, item, lines[i]);
            all = 0;
        }
    }
    check(all, "the result log holds the %d lines of the detection", count);
    if (selected >= -1) {
        check(ask(log, LB_GETCURSEL, 0, 0) == selected, "log line %d is selected", selected);
    }
}

/* Tab from the card box walks every control that takes the focus, by tab
 * index, round to the card box again, and types no tab into it. */
static void check_tab_order(void) {
    const std::vector<const ControlDesign*> order = TabOrder();
    size_t from = 0;
    while (from < order.size() && !(order[from]->control == ctl::txtCardData)) {
        ++from;
    }
    int ok = focused_id() == ID(txtCardData) && from < order.size();
    for (size_t step = 1; ok && step <= order.size(); ++step) {
        const ControlDesign* want = order[(from + step) % order.size()];
        HWND from_window = focus_of(form);
        DWORD start = GetTickCount();
        PostMessageA(from_window, WM_KEYDOWN, VK_TAB, 0x000F0001);
        PostMessageA(from_window, WM_KEYUP, VK_TAB, (LPARAM)0xC00F0001);
        while (focus_of(form) == from_window && GetTickCount() - start < 3000) {
            Sleep(20);
        }
        if (focused_id() != ID_FIRST_CONTROL + static_cast<int>(RowOf(*want))) {
            printf("     step %u: focus on control %d, expected %s\n", (unsigned)step, focused_id(),
                   name_of(*want).c_str());
            ok = 0;
        }
    }
    check(ok, "Tab moves the focus by tab index, from the card box round to it again");
    check(text_is(ID(txtCardData), ""), "no tab was typed into the card box");
}

/* Where a control's inside lies on the screen, two pixels in. */
static void write_inside(FILE* f, const char* name, int id) {
    RECT r;
    POINT origin = {0, 0};
    HWND h = control(id);
    GetClientRect(h, &r);
    ClientToScreen(h, &origin);
    fprintf(f, "%s %ld %ld %ld %ld\n", name, origin.x + 2, origin.y + 2, r.right - 4, r.bottom - 4);
}

/* Asks the script outside Wine for a screenshot: writes the window's and
 * some controls' places on the screen to DIR\shot-request and waits for
 * DIR\shot-done. */
static void screenshot_handshake(void) {
    char path[MAX_PATH + 32], temp[MAX_PATH + 32];
    RECT r;
    FILE* f;
    DWORD start = GetTickCount();
    int done = 0;
    SetCursorPos(0, 0);  // the pointer, where Xvfb draws it, out of the picture
    GetWindowRect(form, &r);
    snprintf(temp, sizeof temp, "%s\\shot-request.tmp", dir);
    snprintf(path, sizeof path, "%s\\shot-request", dir);
    f = fopen(temp, "w");
    if (f != NULL) {
        fprintf(f, "window %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        write_inside(f, "txtMsrType", ID(txtMsrType));
        write_inside(f, "txtCardData", ID(txtCardData));
        write_inside(f, "lstCardData", ID(lstCardData));
        fclose(f);
        MoveFileA(temp, path);
    }
    snprintf(path, sizeof path, "%s\\shot-done", dir);
    while (!done && GetTickCount() - start < 60000) {
        done = GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
        Sleep(100);
    }
    check(done, "the screenshot was taken");
}

static void check_help(void) {
    HWND viewer;
    char title[256];
    ask(control(ID(cmdHELP)), BM_CLICK, 0, 0);
    viewer = top_window(0, "Notepad", 30000);
    if (!check(viewer != NULL, "Help opens the text viewer")) {
        return;
    }
    text_of(viewer, title, sizeof title);
    check(strstr(title, "README") != NULL, "the viewer shows README.TXT (title \"%s\")", title);
    check(GetForegroundWindow() == form, "the utility stays in front, the viewer has no focus");
    check(focused_id() == ID(cmdHELP) || focused_id() == ID(txtCardData),
          "the utility keeps the keyboard focus");
    PostMessageA(viewer, WM_CLOSE, 0, 0);
}

/* A mode name typed into the combo box in another letter case, a part of
 * one, or the mode in force: the typed text stays as typed, and Change Mode
 * gets the refusal (the journal shows that nothing was sent). */
static void check_typed_names(void) {
    static const char* const typed[] = {"usb/kb", "USB/K", "USB/HID magtek", "USB/HID IDTECH"};
    HWND edit = FindWindowExA(control(ID(comboMsrType2)), NULL, "Edit", NULL);
    for (const char* text : typed) {
        ask_text(edit, "");
        for (const char* c = text; *c != '\0'; ++c) {
            PostMessageA(edit, WM_CHAR, (WPARAM)(unsigned char)*c, 1);
        }
        check(wait_text(ID(comboMsrType2), text, 3000), "\"%s\" stays as typed", text);
        PostMessageA(control(ID(cmdChangeMode)), BM_CLICK, 0, 0);
        answer_box("Please choice correct USB MSR mode before Change Mode.", text);
    }
    ask_text(edit, "");
}

static int scenario_reader(int screenshot) {
    static const char* const log[] = {" set pid -> 0", " open usb -> 0"};
    static const char* const combo[] = {"USB/KB", "USB/HID IDTECH", "USB/HID MAGTEK"};
    char path[MAX_PATH + 32], item[256];
    int i, all;
    DWORD start;
    if (!start_program() || !find_form()) {
        return 0;
    }
    check_window_place();
    check_resources();
    check_controls();

    check(wait_text(ID(txtMsrType), "USB/HID IDTECH", 20000),
          "the detection shows \"USB/HID IDTECH\"");
    check_log(log, 2, 1);
    check(IsWindowEnabled(control(ID(cmdChangeMode))), "Change Mode is enabled");
    all = ask(control(ID(comboMsrType2)), CB_GETCOUNT, 0, 0) == 3;
    for (i = 0; all && i < 3; ++i) {
        list_item(control(ID(comboMsrType2)), i, 1, item, sizeof item);
        all = strcmp(item, combo[i]) == 0;
    }
    check(all, "the combo list reads USB/KB, USB/HID IDTECH, USB/HID MAGTEK");
    check(text_is(ID(lblBrushTimes), "0"), "the card counter reads 0");
    check(focused_id() == ID(txtCardData), "the card box has the focus");
    check_tab_order();
    check_looks();
    check_captions_fit();

    /* One swipe. */
    snprintf(path, sizeof path, "%s\\swipe", dir);
    fclose(fopen(path, "w"));
    start = GetTickCount();
    while (ask(control(ID(lstCardData)), LB_GETCOUNT, 0, 0) < 2 && GetTickCount() - start < 10000) {
        Sleep(50);
    }
    check(GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES, "the card was read");
    check(wait_text(ID(txtCardData), TRACK1 "\r\n" TRACK2 "\r\n", 2000),
          "the card box shows the card's two lines");
    all = ask(control(ID(lstCardData)), LB_GETCOUNT, 0, 0) == 2;
    list_item(control(ID(lstCardData)), 0, 0, item, sizeof item);
    all = all && strcmp(item, TRACK1) == 0;
    list_item(control(ID(lstCardData)), 1, 0, item, sizeof item);
    all = all && strcmp(item, TRACK2) == 0;
    check(all, "the card list holds the two lines");
    check(ask(control(ID(lstCardData)), LB_GETCURSEL, 0, 0) == 1, "its last line is selected");
    check(text_is(ID(lblBrushTimes), "1"), "the card counter reads 1");
    check(text_is(ID(txtTrackLenght(0)), "50") && text_is(ID(txtTrackLenght(1)), "30") &&
              text_is(ID(txtTrackLenght(2)), "0"),
          "the track lengths read 50, 30 and 0");
    check(ask(control(ID(chkStatusOK(0))), BM_GETCHECK, 0, 0) == BST_CHECKED &&
              ask(control(ID(chkStatusOK(1))), BM_GETCHECK, 0, 0) == BST_CHECKED &&
              ask(control(ID(chkStatusOK(2))), BM_GETCHECK, 0, 0) == BST_UNCHECKED,
          "tracks 1 and 2 are ticked OK, track 3 is not");
    check(focused_id() == ID(txtCardData), "the card box keeps the focus");

    if (screenshot) {
        screenshot_handshake();
    }
    check_help();
    check_typed_names();

    /* Closing the window: the library is closed and the program ends. */
    PostMessageA(form, WM_CLOSE, 0, 0);
    check(wait_end(10000) == 0, "closing the window ends the program");
    check(journal_is("SetID 5A0 -> 0\nOpenKestro -> 0\nReadData -> 0 (card)\nCloseKestro -> 0\n"),
          "the library was opened, read once and closed");
    return 1;
}

static int scenario_exit(void) {
    char exe[MAX_PATH];
    snprintf(exe, sizeof exe, "%s\\KestroConfigure.exe", dir);
    check_version_resource(exe, "KestroConfigure.exe", KESTRO_VERSION);
    if (!start_program() || !find_form()) {
        return 0;
    }
    check(wait_text(ID(txtMsrType), "USB/HID IDTECH", 20000), "the detection finds the reader");
    PostMessageA(control(ID(cmdEXIT)), BM_CLICK, 0, 0);
    check(wait_end(10000) == 0, "Exit ends the program");
    check(journal_is("SetID 5A0 -> 0\nOpenKestro -> 0\nCloseKestro -> 0\n"),
          "Exit closed the library");
    return 1;
}

struct box_text {
    char statics[TEXT_MAX];
    int buttons;
    HWND ok;
};

static BOOL CALLBACK box_child(HWND hwnd, LPARAM lparam) {
    struct box_text* b = (struct box_text*)lparam;
    char name[64], text[TEXT_MAX];
    GetClassNameA(hwnd, name, sizeof name);
    text_of(hwnd, text, sizeof text);
    if (strcmp(name, "Button") == 0) {
        ++b->buttons;
        if (strcmp(text, "OK") == 0) {
            b->ok = hwnd;
        }
    } else if (strcmp(name, "Static") == 0 && text[0] != '\0') {
        size_t used = strlen(b->statics);
        snprintf(b->statics + used, sizeof b->statics - used, "%s", text);
    }
    return TRUE;
}

/* text with its line breaks written as \r and \n, for one output line. */
static const char* printable(const char* text, char* out, size_t size) {
    size_t n = 0;
    for (; *text != '\0' && n + 3 < size; ++text) {
        if (*text == '\r' || *text == '\n') {
            out[n++] = '\\';
            out[n++] = *text == '\r' ? 'r' : 'n';
        } else {
            out[n++] = *text;
        }
    }
    out[n] = '\0';
    return out;
}

/* Waits for a message box of the program; checks its title, text and its
 * one OK button, then answers it. */
static int answer_box(const char* text, const char* what) {
    struct box_text b;
    char title[256], shown[TEXT_MAX], got[TEXT_MAX];
    HWND box = top_window(program.dwProcessId, "#32770", 30000);
    if (!check(box != NULL, "%s: a message box opens", what)) {
        return 0;
    }
    memset(&b, 0, sizeof b);
    text_of(box, title, sizeof title);
    EnumChildWindows(box, box_child, (LPARAM)&b);
    check(strcmp(title, APP_TITLE) == 0, "%s: the box has the application's title (got \"%s\")",
          what, title);
    check(strcmp(b.statics, text) == 0, "%s: it says \"%s\" (got \"%s\")", what,
          printable(text, shown, sizeof shown), printable(b.statics, got, sizeof got));
    check(b.buttons == 1 && b.ok != NULL, "%s: its one button is OK", what);
    if (b.ok != NULL) {
        PostMessageA(b.ok, BM_CLICK, 0, 0);
    }
    {
        DWORD start = GetTickCount();
        while (IsWindow(box) && GetTickCount() - start < 10000) {
            Sleep(50);
        }
    }
    return 1;
}

static int scenario_noreader(void) {
    static const char* const log[] = {" set pid -> 0", " open usb -> 2", " Close usb -> 0",
                                      " set pid -> 0", " open usb -> 2", " Close usb -> 0",
                                      " set pid -> 0", " open usb -> 2", " Close usb -> 0"};
    HWND box;
    if (!start_program() || !find_form()) {
        return 0;
    }
    box = top_window(program.dwProcessId, "#32770", 30000);
    if (box != NULL) {
        /* While the message is up: the window as detection left it. */
        check_log(log, 9, 7);
        check(!IsWindowEnabled(frame), "Frame1 is disabled");
        check(!IsWindowEnabled(control(ID(cmdChangeMode))), "Change Mode stays disabled");
        check(text_is(ID(txtMsrType), ""), "the mode box stays empty");
    }
    answer_box(NO_READER, "no reader");
    check(wait_end(10000) == 0, "answering the message ends the program");
    check(journal_is("SetID 5A0 -> 0\nOpenKestro -> 2\nCloseKestro -> 0\n"
                     "SetID 5B0 -> 0\nOpenKestro -> 2\nCloseKestro -> 0\n"
                     "SetID 500 -> 0\nOpenKestro -> 2\nCloseKestro -> 0\n"),
          "the three modes were tried, each open failing and closed again");
    return 1;
}

static int scenario_nolibrary(void) {
    if (!start_program() || !find_form()) {
        return 0;
    }
    /* The first read reports the missing library, then SetID ends the run. */
    answer_box("File not found: kestro.dll  53", "first read");
    answer_box("Run-time error '53':\r\n\r\nFile not found: kestro.dll", "detection");
    check(wait_end(10000) == 0, "the program ends after the run-time error");
    return 1;
}

/* --- With the reader on a real HID stack --------------------------------- */

#define READER_VENDOR 0x3E7A
#define PID_IDTECH 0x05A0
#define PID_MAGTEK 0x05B0
/* The fake reader's test card, as it swipes it by default. */
#define HID_TRACK1 "%B4111111111111111^TEST/CARD A^30121010000000000000?"
#define HID_TRACK2 ";4111111111111111=30121010000000000?"

/* Swipes the test card and checks the window shows it, track by track, as
 * the first card since the mode was detected. */
static void swipe_and_check(const char* mode) {
    char answer[256], item[256];
    DWORD start;
    check(text_is(ID(lblBrushTimes), "0"), "%s: the card counter reads 0", mode);
    check(reader_command("swipe", answer, sizeof answer) && strncmp(answer, "swiped ", 7) == 0,
          "%s: the reader swipes the test card (\"%s\")", mode, answer);
    start = GetTickCount();
    while (ask(control(ID(lstCardData)), LB_GETCOUNT, 0, 0) < 2 && GetTickCount() - start < 20000) {
        Sleep(50);
    }
    check(wait_text(ID(txtCardData), HID_TRACK1 "\r\n" HID_TRACK2 "\r\n", 5000),
          "%s: the card box shows the card's two tracks", mode);
    int all = ask(control(ID(lstCardData)), LB_GETCOUNT, 0, 0) == 2;
    list_item(control(ID(lstCardData)), 0, 0, item, sizeof item);
    all = all && strcmp(item, HID_TRACK1) == 0;
    list_item(control(ID(lstCardData)), 1, 0, item, sizeof item);
    all = all && strcmp(item, HID_TRACK2) == 0;
    check(all, "%s: the card list holds track 1, then track 2", mode);
    check(text_is(ID(lblBrushTimes), "1"), "%s: the card counter reads 1", mode);
    char one[16], two[16];
    snprintf(one, sizeof one, "%u", (unsigned)strlen(HID_TRACK1));
    snprintf(two, sizeof two, "%u", (unsigned)strlen(HID_TRACK2));
    check(text_is(ID(txtTrackLenght(0)), one) && text_is(ID(txtTrackLenght(1)), two) &&
              text_is(ID(txtTrackLenght(2)), "0"),
          "%s: the track lengths read %s, %s and 0", mode, one, two);
    /* The fake reader reports status 0 (read well) for all three tracks,
     * the blank third too. */
    check(ask(control(ID(chkStatusOK(0))), BM_GETCHECK, 0, 0) == BST_CHECKED &&
              ask(control(ID(chkStatusOK(1))), BM_GETCHECK, 0, 0) == BST_CHECKED &&
              ask(control(ID(chkStatusOK(2))), BM_GETCHECK, 0, 0) == BST_CHECKED,
          "%s: the three tracks are ticked OK, as the reader reported them", mode);
}

/* The last `count` lines of the result log are `lines`. */
static int log_ends_with(const char* const* lines, int count) {
    HWND log = control(ID(lstResults));
    const int total = (int)ask(log, LB_GETCOUNT, 0, 0);
    char item[256];
    if (total < count) {
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        list_item(log, total - count + i, 0, item, sizeof item);
        if (strcmp(item, lines[i]) != 0) {
            printf("     log line %d: \"%s\", expected \"%s\"\n", total - count + i, item,
                   lines[i]);
            return 0;
        }
    }
    return 1;
}

/* Chooses `to` (its place in the combo list) and presses Change Mode. The
 * message that the mode has changed is answered only once Windows lists the
 * reader under its new product id, so the detection that follows it never
 * depends on how fast the HID stack presents the device. */
static void change_mode_to(int position, const char* from, const char* to, USHORT pid) {
    char text[512];
    ask(control(ID(comboMsrType2)), CB_SETCURSEL, (WPARAM)position, 0);
    check(wait_text(ID(comboMsrType2), to, 3000), "\"%s\" is chosen", to);
    PostMessageA(control(ID(cmdChangeMode)), BM_CLICK, 0, 0);
    DWORD start = GetTickCount();
    while (!hid_listed(READER_VENDOR, pid, 0) && GetTickCount() - start < 60000) {
        Sleep(200);
    }
    if (!check(hid_listed(READER_VENDOR, pid, 0),
               "%s: the reader is listed again under product id %04X (%lu ms)", to, pid,
               (unsigned long)(GetTickCount() - start))) {
        char state[256];
        hid_listed(READER_VENDOR, pid, 1);
        reader_command("state", state, sizeof state);
        printf("     the reader: %s\n", state);
    }
    snprintf(text, sizeof text, "USB MSR mode has been changed.\r\n\r\nFrom: %s\r\n  To  : %s",
             from, to);
    answer_box(text, to);
    start = GetTickCount();
    const int detected = wait_text(ID(txtMsrType), to, 60000);
    check(detected, "the detection shows \"%s\" (%lu ms after the answer)", to,
          (unsigned long)(GetTickCount() - start));
    static const char* const sent[] = {" ChangeMode = 0", " ResetMSR = 0"};
    HWND log = control(ID(lstResults));
    int found = 0;
    const int total = (int)ask(log, LB_GETCOUNT, 0, 0);
    for (int i = 0; i + 1 < total && !found; ++i) {
        char first[256], second[256];
        list_item(log, i, 0, first, sizeof first);
        list_item(log, i + 1, 0, second, sizeof second);
        found = strcmp(first, sent[0]) == 0 && strcmp(second, sent[1]) == 0;
    }
    check(found, "%s: the log shows the mode change and the reset accepted", to);
    static const char* const opened[] = {" open usb -> 0"};
    check(log_ends_with(opened, 1), "%s: the log ends with the reader opened", to);
    check(wait_text(ID(cmdChangeMode), "Change Mode", 5000) &&
              IsWindowEnabled(control(ID(cmdChangeMode))),
          "%s: Change Mode is back and enabled", to);
}

static int scenario_hid(int screenshot) {
    static const char* const detected[] = {" set pid -> 0", " open usb -> 0"};
    if (!start_program() || !find_form()) {
        return 0;
    }
    check(wait_text(ID(txtMsrType), "USB/HID IDTECH", 60000),
          "the detection shows \"USB/HID IDTECH\"");
    check(log_ends_with(detected, 2), "the log shows the reader opened at the first try");
    check(IsWindowEnabled(control(ID(cmdChangeMode))), "Change Mode is enabled");
    swipe_and_check("USB/HID IDTECH");
    if (screenshot) {
        screenshot_handshake();
    }
    change_mode_to(2, "USB/HID IDTECH", "USB/HID MAGTEK", PID_MAGTEK);
    swipe_and_check("USB/HID MAGTEK");
    change_mode_to(1, "USB/HID MAGTEK", "USB/HID IDTECH", PID_IDTECH);
    swipe_and_check("USB/HID IDTECH again");
    PostMessageA(control(ID(cmdEXIT)), BM_CLICK, 0, 0);
    check(wait_end(10000) == 0, "Exit ends the program");
    return 1;
}

int main(int argc, char** argv) {
    HDC screen;
    const char* what;
    char summary[64];
    if (argc < 3) {
        fprintf(stderr,
                "usage: kestro_ui_driver reader|exit|noreader|nolibrary|hid DIR [--screenshot]\n");
        return 2;
    }
    what = argv[1];
    snprintf(dir, sizeof dir, "%s", argv[2]);
    screen = GetDC(NULL);
    dpi_x = GetDeviceCaps(screen, LOGPIXELSX);
    dpi_y = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    remove_in_dir("fake_kestro.log");
    remove_in_dir("swipe");
    printf("kestro_ui_driver: %s at %d x %d dpi\n", what, dpi_x, dpi_y);

    if (strcmp(what, "reader") == 0) {
        scenario_reader(argc > 3 && strcmp(argv[3], "--screenshot") == 0);
    } else if (strcmp(what, "exit") == 0) {
        scenario_exit();
    } else if (strcmp(what, "noreader") == 0) {
        scenario_noreader();
    } else if (strcmp(what, "nolibrary") == 0) {
        scenario_nolibrary();
    } else if (strcmp(what, "hid") == 0) {
        scenario_hid(argc > 3 && strcmp(argv[3], "--screenshot") == 0);
    } else {
        fprintf(stderr, "kestro_ui_driver: unknown scenario %s\n", what);
        return 2;
    }
    stop_program();
    snprintf(summary, sizeof summary, "kestro_ui_driver %s", what);
    return check_summary(summary);
}
