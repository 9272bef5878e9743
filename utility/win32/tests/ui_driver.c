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

#include "form1_ids.h"
#include "wincheck.h"

#define CAPTION "Torvanex USB MSR Configure v1.00"
#define APP_TITLE "KestroConfigure"
#define NO_READER "Please connect TORVANEX USB MSR first !!"
#define TRACK1 "%B6011000990139424^KESTRO/TEST CARD^3012101000000?"
#define TRACK2 ";6011000990139424=30121010000?"
#define TEXT_MAX 4096

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
    text_of(form, text, sizeof text);
    check(strcmp(text, CAPTION) == 0, "its caption is \"%s\" (got \"%s\")", CAPTION, text);
    frame = GetDlgItem(form, ID_FRAME1);
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

enum { ON_FORM, IN_FRAME };
enum {
    SHOWN = 1,
    HIDDEN = 2,
    DISABLED = 4,
    READ_ONLY = 8,
    MULTI_LINE = 16,
    CHECK_BOX = 32,
    DROP_DOWN = 64
};

struct design {
    int id;
    const char* name;
    const char* window_class;
    const char* caption; /* NULL: not compared */
    int container;
    int left, top, width, height; /* twips */
    int flags;
};

static const struct design designs[] = {
    {ID_IMAGE1, "Image1", "Static", NULL, ON_FORM, 0, 120, 4500, 1950, SHOWN},
    {ID_LABEL5, "Label5", "Static", "MSR Mode:", ON_FORM, 5280, 720, 1335, 375, SHOWN},
    {ID_TXTMSRTYPE, "txtMsrType", "Edit", NULL, ON_FORM, 6720, 720, 2175, 375, SHOWN | READ_ONLY},
    {ID_LABEL1, "Label1", "Static", "Will be changed to:", ON_FORM, 4560, 1440, 2055, 375, SHOWN},
    {ID_COMBOMSRTYPE2, "comboMsrType2", "ComboBox", "", ON_FORM, 6720, 1440, 2175, 420,
     SHOWN | DROP_DOWN},
    {ID_CMDEXIT, "cmdEXIT", "Button", "Exit", ON_FORM, 9120, 120, 1455, 495, SHOWN},
    {ID_CMDHELP, "cmdHELP", "Button", "Help", ON_FORM, 9120, 600, 1455, 495, SHOWN},
    {ID_CMDCHANGEMODE, "cmdChangeMode", "Button", "Change Mode", ON_FORM, 9120, 1320, 1455, 735,
     SHOWN},
    {ID_FRAME1, "Frame1", KESTRO_FRAME_CLASS, "Reader Output", ON_FORM, 120, 2160, 10455, 5655,
     SHOWN},
    {ID_LSTRESULTS, "lstResults", "ListBox", NULL, ON_FORM, 120, 5520, 5295, 2220, HIDDEN},
    {ID_CMDCLEARLOG, "cmdClearLog", "Button", "Clear", ON_FORM, 240, 5280, 1455, 255, HIDDEN},
    {ID_LABEL3 + 0, "Label3(0)", "Static", "Track1 Status:", IN_FRAME, 240, 360, 1455, 255, SHOWN},
    {ID_LABEL3 + 1, "Label3(1)", "Static", "Track2 Status:", IN_FRAME, 240, 720, 1455, 255, SHOWN},
    {ID_LABEL3 + 2, "Label3(2)", "Static", "Track3 Status:", IN_FRAME, 240, 1080, 1455, 255, SHOWN},
    {ID_CHKSTATUSOK + 0, "chkStatusOK(0)", "Button", "OK", IN_FRAME, 1680, 360, 615, 255,
     SHOWN | CHECK_BOX},
    {ID_CHKSTATUSOK + 1, "chkStatusOK(1)", "Button", "OK", IN_FRAME, 1680, 720, 615, 255,
     SHOWN | CHECK_BOX},
    {ID_CHKSTATUSOK + 2, "chkStatusOK(2)", "Button", "OK", IN_FRAME, 1680, 1080, 615, 255,
     SHOWN | CHECK_BOX},
    {ID_LABEL4 + 0, "Label4(0)", "Static", "Track1 Length:", IN_FRAME, 2760, 360, 1455, 255, SHOWN},
    {ID_LABEL4 + 1, "Label4(1)", "Static", "Track2 Length:", IN_FRAME, 2760, 720, 1455, 255, SHOWN},
    {ID_LABEL4 + 2, "Label4(2)", "Static", "Track3 Length:", IN_FRAME, 2760, 1080, 1455, 255,
     SHOWN},
    {ID_TXTTRACKLENGHT + 0, "txtTrackLenght(0)", "Edit", NULL, IN_FRAME, 4200, 360, 1095, 315,
     SHOWN | READ_ONLY},
    {ID_TXTTRACKLENGHT + 1, "txtTrackLenght(1)", "Edit", NULL, IN_FRAME, 4200, 720, 1095, 315,
     SHOWN | READ_ONLY},
    {ID_TXTTRACKLENGHT + 2, "txtTrackLenght(2)", "Edit", NULL, IN_FRAME, 4200, 1080, 1095, 315,
     SHOWN | READ_ONLY},
    {ID_CMDCLEARCARD, "cmdClearCard", "Button", "Clear", IN_FRAME, 9240, 720, 975, 375, SHOWN},
    {ID_LBLBRUSHTIMES, "lblBrushTimes", "Static", NULL, IN_FRAME, 9120, 1200, 1095, 255, SHOWN},
    {ID_TXTCARDDATA, "txtCardData", "Edit", NULL, IN_FRAME, 240, 1440, 9975, 1335,
     SHOWN | MULTI_LINE},
    {ID_LSTCARDDATA, "lstCardData", "ListBox", NULL, IN_FRAME, 240, 2760, 9975, 2700, SHOWN},
};
#define DESIGNS (sizeof designs / sizeof designs[0])

static int px(int twips, int dpi) {
    return MulDiv(twips, dpi, 1440);
}

static void check_controls(void) {
    size_t i;
    for (i = 0; i < DESIGNS; ++i) {
        const struct design* d = &designs[i];
        HWND parent = d->container == ON_FORM ? form : frame;
        HWND h = parent != NULL ? GetDlgItem(parent, d->id) : NULL;
        char name[64], text[TEXT_MAX];
        RECT r;
        LONG style;
        int ok = 1;
        if (!check(h != NULL, "%s is there", d->name)) {
            continue;
        }
        GetClassNameA(h, name, sizeof name);
        ok &= check(strcmp(name, d->window_class) == 0, "%s is a %s (got %s)", d->name,
                    d->window_class, name);
        if (d->caption != NULL) {
            text_of(h, text, sizeof text);
            ok &= check(strcmp(text, d->caption) == 0, "%s reads \"%s\" (got \"%s\")", d->name,
                        d->caption, text);
        }
        GetWindowRect(h, &r);
        MapWindowPoints(NULL, parent, (POINT*)&r, 2);
        /* A drop-down combo box is as high as its font needs at least; the
         * window asks for the design height, which a larger substitute face
         * may exceed by a few pixels. */
        ok &= check(r.left == px(d->left, dpi_x) && r.top == px(d->top, dpi_y) &&
                        r.right - r.left == px(d->width, dpi_x) &&
                        (r.bottom - r.top == px(d->height, dpi_y) ||
                         ((d->flags & DROP_DOWN) && r.bottom - r.top > px(d->height, dpi_y) &&
                          r.bottom - r.top <= px(d->height, dpi_y) + 3)),
                    "%s lies at %d,%d %dx%d pixels (got %ld,%ld %ldx%ld)", d->name,
                    px(d->left, dpi_x), px(d->top, dpi_y), px(d->width, dpi_x),
                    px(d->height, dpi_y), r.left, r.top, r.right - r.left, r.bottom - r.top);
        style = GetWindowLongA(h, GWL_STYLE);
        if (d->flags & HIDDEN) {
            check((style & WS_VISIBLE) == 0, "%s is hidden", d->name);
        } else {
            check((style & WS_VISIBLE) != 0, "%s is shown", d->name);
        }
        if (d->flags & READ_ONLY) {
            check((style & ES_READONLY) != 0, "%s is read-only", d->name);
        }
        if (d->flags & MULTI_LINE) {
            check((style & (ES_MULTILINE | WS_HSCROLL | WS_VSCROLL | ES_READONLY)) ==
                      (ES_MULTILINE | WS_HSCROLL | WS_VSCROLL),
                  "%s is multi-line with both scroll bars and editable", d->name);
        }
        if (d->flags & CHECK_BOX) {
            check((style & 0x0F) == BS_AUTOCHECKBOX, "%s is a check box", d->name);
        }
        if (d->flags & DROP_DOWN) {
            check((style & 0x03) == CBS_DROPDOWN && (style & CBS_SORT) == 0,
                  "%s is an editable, unsorted drop-down combo", d->name);
        }
        (void)ok;
    }
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

struct look {
    const char* name;
    const char* face;
    int points_x100;
    int weight;
    const char* back; /* NULL: not compared */
};

static const struct look looks[] = {
    {"Label5 -1", "MS Sans Serif", 1200, 400, NULL},
    {"txtMsrType -1", "MS Sans Serif", 1200, 400, "E0E0E0"},
    {"Label1 -1", "MS Sans Serif", 1200, 400, NULL},
    {"comboMsrType2 -1", "MS Sans Serif", 1200, 400, NULL},
    {"cmdEXIT -1", "MS Sans Serif", 1200, 400, NULL},
    {"cmdHELP -1", "MS Sans Serif", 1200, 400, NULL},
    {"cmdChangeMode -1", "MS Sans Serif", 1200, 400, NULL},
    {"Frame1 -1", "Arial", 1200, 700, NULL},
    {"lstResults -1", "MS Sans Serif", 975, 400, "E0E0E0"},
    {"Label3 0", "MS Sans Serif", 975, 400, NULL},
    {"chkStatusOK 1", "MS Sans Serif", 975, 400, NULL},
    {"Label4 2", "MS Sans Serif", 975, 400, NULL},
    {"txtTrackLenght 0", "MS Sans Serif", 975, 400, "E0E0E0"},
    {"txtTrackLenght 1", "MS Sans Serif", 975, 400, "E0E0E0"},
    {"txtTrackLenght 2", "MS Sans Serif", 975, 400, "E0E0E0"},
    {"cmdClearCard -1", "MS Sans Serif", 975, 400, NULL},
    {"lblBrushTimes -1", "MS Sans Serif", 975, 400, NULL},
    {"txtCardData -1", "MS Sans Serif", 975, 400, "FFFFC0"},
    {"lstCardData -1", "MS Sans Serif", 975, 400, "E0E0E0"},
};

static void check_looks(void) {
    char path[MAX_PATH + 32], line[512] = "";
    size_t i;
    FILE* f;
    UINT message = RegisterWindowMessageA(KESTRO_DESCRIBE_MESSAGE);
    snprintf(path, sizeof path, "%s\\describe.txt", dir);
    DeleteFileA(path);
    if (!check(ask(form, message, 0, 0) == 1, "the window describes its controls")) {
        return;
    }
    for (i = 0; i < sizeof looks / sizeof looks[0]; ++i) {
        const struct look* l = &looks[i];
        char want[256];
        int found = 0;
        snprintf(want, sizeof want, "%s font=\"%s\" height=%d weight=%d", l->name, l->face,
                 -MulDiv(l->points_x100, dpi_y, 7200), l->weight);
        f = fopen(path, "r");
        while (f != NULL && fgets(line, sizeof line, f) != NULL) {
            line[strcspn(line, "\r\n")] = '\0';
            if (strncmp(line, want, strlen(want)) == 0) {
                found = 1;
                if (l->back != NULL) {
                    char colours[64];
                    snprintf(colours, sizeof colours, " back=%s brush=%s", l->back, l->back);
                    found = strcmp(line + strlen(want), colours) == 0;
                }
                break;
            }
        }
        if (f != NULL) {
            fclose(f);
        }
        check(found, "%s: %s %.2f pt%s%s%s", l->name, l->face, l->points_x100 / 100.0,
              l->weight == 700 ? " bold" : "", l->back != NULL ? ", background " : "",
              l->back != NULL ? l->back : "");
        if (!found) {
            printf("     got: %s\n", line);
        }
    }
}

/* --- Scenarios ------------------------------------------------------------ */

static void check_log(const char* const* lines, int count, int selected) {
    HWND log = control(ID_LSTRESULTS);
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

static void check_tab_order(void) {
    static const int order[] = {ID_COMBOMSRTYPE2,      ID_CMDCHANGEMODE,      ID_CMDHELP,
                                ID_LSTCARDDATA,        ID_CMDCLEARCARD,       ID_CMDEXIT,
                                ID_CHKSTATUSOK + 0,    ID_CHKSTATUSOK + 1,    ID_CHKSTATUSOK + 2,
                                ID_TXTTRACKLENGHT + 0, ID_TXTTRACKLENGHT + 1, ID_TXTTRACKLENGHT + 2,
                                ID_TXTMSRTYPE,         ID_TXTCARDDATA};
    size_t i;
    int ok = focused_id() == ID_TXTCARDDATA;
    for (i = 0; ok && i < sizeof order / sizeof order[0]; ++i) {
        HWND from = focus_of(form);
        DWORD start = GetTickCount();
        PostMessageA(from, WM_KEYDOWN, VK_TAB, 0x000F0001);
        PostMessageA(from, WM_KEYUP, VK_TAB, (LPARAM)0xC00F0001);
        while (focus_of(form) == from && GetTickCount() - start < 3000) {
            Sleep(20);
        }
        if (focused_id() != order[i]) {
            printf("     step %u: focus on control %d, expected %d\n", (unsigned)i + 1,
                   focused_id(), order[i]);
            ok = 0;
        }
    }
    check(ok, "Tab moves the focus by tab index, from the card box round to it again");
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
    GetWindowRect(form, &r);
    snprintf(temp, sizeof temp, "%s\\shot-request.tmp", dir);
    snprintf(path, sizeof path, "%s\\shot-request", dir);
    f = fopen(temp, "w");
    if (f != NULL) {
        fprintf(f, "window %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        write_inside(f, "txtMsrType", ID_TXTMSRTYPE);
        write_inside(f, "txtCardData", ID_TXTCARDDATA);
        write_inside(f, "lstCardData", ID_LSTCARDDATA);
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
    ask(control(ID_CMDHELP), BM_CLICK, 0, 0);
    viewer = top_window(0, "Notepad", 30000);
    if (!check(viewer != NULL, "Help opens the text viewer")) {
        return;
    }
    text_of(viewer, title, sizeof title);
    check(strstr(title, "README") != NULL, "the viewer shows README.TXT (title \"%s\")", title);
    check(GetForegroundWindow() == form, "the utility stays in front, the viewer has no focus");
    check(focused_id() == ID_CMDHELP || focused_id() == ID_TXTCARDDATA,
          "the utility keeps the keyboard focus");
    PostMessageA(viewer, WM_CLOSE, 0, 0);
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

    check(wait_text(ID_TXTMSRTYPE, "USB/HID IDTECH", 20000),
          "the detection shows \"USB/HID IDTECH\"");
    check_log(log, 2, 1);
    check(IsWindowEnabled(control(ID_CMDCHANGEMODE)), "Change Mode is enabled");
    all = ask(control(ID_COMBOMSRTYPE2), CB_GETCOUNT, 0, 0) == 3;
    for (i = 0; all && i < 3; ++i) {
        list_item(control(ID_COMBOMSRTYPE2), i, 1, item, sizeof item);
        all = strcmp(item, combo[i]) == 0;
    }
    check(all, "the combo list reads USB/KB, USB/HID IDTECH, USB/HID MAGTEK");
    check(text_is(ID_LBLBRUSHTIMES, "0"), "the card counter reads 0");
    check(focused_id() == ID_TXTCARDDATA, "the card box has the focus");
    check_tab_order();
    check_looks();

    /* One swipe. */
    snprintf(path, sizeof path, "%s\\swipe", dir);
    fclose(fopen(path, "w"));
    start = GetTickCount();
    while (ask(control(ID_LSTCARDDATA), LB_GETCOUNT, 0, 0) < 2 && GetTickCount() - start < 10000) {
        Sleep(50);
    }
    check(GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES, "the card was read");
    check(wait_text(ID_TXTCARDDATA, TRACK1 "\r\n" TRACK2 "\r\n", 2000),
          "the card box shows the card's two lines");
    all = ask(control(ID_LSTCARDDATA), LB_GETCOUNT, 0, 0) == 2;
    list_item(control(ID_LSTCARDDATA), 0, 0, item, sizeof item);
    all = all && strcmp(item, TRACK1) == 0;
    list_item(control(ID_LSTCARDDATA), 1, 0, item, sizeof item);
    all = all && strcmp(item, TRACK2) == 0;
    check(all, "the card list holds the two lines");
    check(ask(control(ID_LSTCARDDATA), LB_GETCURSEL, 0, 0) == 1, "its last line is selected");
    check(text_is(ID_LBLBRUSHTIMES, "1"), "the card counter reads 1");
    check(text_is(ID_TXTTRACKLENGHT + 0, "50") && text_is(ID_TXTTRACKLENGHT + 1, "30") &&
              text_is(ID_TXTTRACKLENGHT + 2, "0"),
          "the track lengths read 50, 30 and 0");
    check(ask(control(ID_CHKSTATUSOK + 0), BM_GETCHECK, 0, 0) == BST_CHECKED &&
              ask(control(ID_CHKSTATUSOK + 1), BM_GETCHECK, 0, 0) == BST_CHECKED &&
              ask(control(ID_CHKSTATUSOK + 2), BM_GETCHECK, 0, 0) == BST_UNCHECKED,
          "tracks 1 and 2 are ticked OK, track 3 is not");
    check(focused_id() == ID_TXTCARDDATA, "the card box keeps the focus");

    if (screenshot) {
        screenshot_handshake();
    }
    check_help();

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
    check(wait_text(ID_TXTMSRTYPE, "USB/HID IDTECH", 20000), "the detection finds the reader");
    PostMessageA(control(ID_CMDEXIT), BM_CLICK, 0, 0);
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
        check(!IsWindowEnabled(control(ID_CMDCHANGEMODE)), "Change Mode stays disabled");
        check(text_is(ID_TXTMSRTYPE, ""), "the mode box stays empty");
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

int main(int argc, char** argv) {
    HDC screen;
    const char* what;
    char summary[64];
    if (argc < 3) {
        fprintf(stderr,
                "usage: kestro_ui_driver reader|exit|noreader|nolibrary DIR [--screenshot]\n");
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
    } else {
        fprintf(stderr, "kestro_ui_driver: unknown scenario %s\n", what);
        return 2;
    }
    stop_program();
    snprintf(summary, sizeof summary, "kestro_ui_driver %s", what);
    return check_summary(summary);
}
