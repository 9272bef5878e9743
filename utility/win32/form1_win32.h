// Form1, the operator window, as a native Win32 window: the controls at
// their design places (twips converted at the system's DPI) and the view the
// window logic drives.
#ifndef KESTRO_UTILITY_WIN32_FORM1_WIN32_H
#define KESTRO_UTILITY_WIN32_FORM1_WIN32_H

#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "../logic/form1_view.h"

namespace kestro {

class Form1Logic;

class Form1Win32 : public Form1View {
  public:
    explicit Form1Win32(HINSTANCE instance);
    ~Form1Win32() override;
    Form1Win32(const Form1Win32&) = delete;
    Form1Win32& operator=(const Form1Win32&) = delete;

    // Creates the window (hidden) and every control; false when the system
    // refuses a window or a class.
    bool Create();
    // The logic that receives the window's events; none until attached.
    void Attach(Form1Logic* logic) { logic_ = logic; }
    HWND Window() const { return window_; }
    // The message loop, until the window is gone; returns the exit code.
    int Run();

    void Show() override;
    std::string Text(const Control& c) override;
    void SetText(const Control& c, const std::string& text) override;
    std::string Caption(const Control& c) override;
    void SetCaption(const Control& c, const std::string& caption) override;
    int Value(const Control& c) override;
    void SetValue(const Control& c, int value) override;
    bool Enabled(const Control& c) override;
    void SetEnabled(const Control& c, bool enabled) override;
    bool Visible(const Control& c) override;
    void SetVisible(const Control& c, bool visible) override;
    Twips Geometry(const Control& c) override;
    void SetGeometry(const Control& c, const Twips& twips) override;
    void SetBackColor(const Control& c, const Rgb& color) override;
    void SetFocus(const Control& c) override;
    void AddItem(const Control& c, const std::string& item) override;
    void Clear(const Control& c) override;
    int ListCount(const Control& c) override;
    std::string List(const Control& c, int index) override;
    int ListIndex(const Control& c) override;
    void SetListIndex(const Control& c, int index) override;
    void MsgBox(const std::string& text, const std::string& title) override;
    void DoEvents() override;
    void SetTimerInterval(int milliseconds) override;
    void SetTimerEnabled(bool enabled) override;
    void StartTextViewer() override;
    void EndProgram() override;

  private:
    enum class Kind { kImage, kLabel, kTextBox, kComboBox, kButton, kCheckBox, kFrame, kListBox };
    enum class Face { kWindow, kLarge, kFrameTitle };

    struct ControlInfo {
        std::string name;
        int index = -1;
        Kind kind = Kind::kLabel;
        HWND hwnd = nullptr;
        Twips twips;
        int tab_index = -1;  // -1: not in the tab order
        Face face = Face::kWindow;
        bool has_back = false;
        COLORREF back = 0;
        HBRUSH brush = nullptr;
    };

    // One control of the design: created as a child of parent.
    struct Design {
        Control control;
        Kind kind;
        int id;
        const char* caption;
        Twips twips;
        int tab_index;
        Face face;
        DWORD style;  // beyond WS_CHILD and the kind's own style
        DWORD ex_style;
    };

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    static LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

    bool RegisterClasses();
    bool BuildControls();
    bool Add(const Design& design, HWND parent);
    HFONT FontFor(Face face) const;
    int PixelsX(int twips) const;
    int PixelsY(int twips) const;
    void Place(ControlInfo& info);
    void SetBack(ControlInfo& info, COLORREF color);
    ControlInfo& Get(const Control& c);
    ControlInfo* FindByWindow(HWND hwnd);
    // Moves the keyboard focus along the tab order; true when msg was a Tab.
    bool TabKey(const MSG& msg);
    bool Focusable(const ControlInfo& info) const;
    void Clicked(int id);
    void Close();
    bool Describe(const std::string& path);

    HINSTANCE instance_;
    HWND window_ = nullptr;
    int dpi_x_ = 96;
    int dpi_y_ = 96;
    HFONT window_font_ = nullptr;
    HFONT large_font_ = nullptr;
    HFONT frame_font_ = nullptr;
    HBITMAP banner_ = nullptr;
    HICON icon_ = nullptr;
    HICON small_icon_ = nullptr;
    std::vector<ControlInfo> controls_;
    std::map<std::pair<std::string, int>, std::size_t> by_name_;
    std::map<HWND, std::size_t> by_window_;
    Form1Logic* logic_ = nullptr;
    UINT timer_interval_ = 1000;
    bool timer_on_ = false;
    bool ended_ = false;
    HWND saved_focus_ = nullptr;
    UINT describe_message_ = 0;
    std::string describe_path_;
};

}  // namespace kestro

#endif
