// Form1, the operator window, as a native Win32 window: the controls at
// their design places (twips converted at the system's DPI) and the view the
// window logic drives.
#ifndef KESTRO_UTILITY_WIN32_FORM1_WIN32_H
#define KESTRO_UTILITY_WIN32_FORM1_WIN32_H

#include <windows.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "../logic/form1_design.h"
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
    void MsgBox(const std::string& text, const std::string& title) override;
    void DoEvents() override;
    void SetTimerInterval(int milliseconds) override;
    void SetTimerEnabled(bool enabled) override;
    void StartTextViewer() override;
    void EndProgram() override;

  protected:
    std::string DoText(const ControlDesign& d) override;
    void DoSetText(const ControlDesign& d, const std::string& text) override;
    void DoSetCaption(const ControlDesign& d, const std::string& caption) override;
    void DoSetValue(const ControlDesign& d, int value) override;
    void DoSetEnabled(const ControlDesign& d, bool enabled) override;
    Twips DoGeometry(const ControlDesign& d) override;
    void DoSetGeometry(const ControlDesign& d, const Twips& twips) override;
    void DoSetBackColor(const ControlDesign& d, const Rgb& color) override;
    void DoSetFocus(const ControlDesign& d) override;
    void DoAddItem(const ControlDesign& d, const std::string& item) override;
    void DoClear(const ControlDesign& d) override;
    int DoListCount(const ControlDesign& d) override;
    std::string DoList(const ControlDesign& d, int index) override;
    void DoSetListIndex(const ControlDesign& d, int index) override;

  private:
    // A control made from its row of the design.
    struct ControlInfo {
        const ControlDesign* design = nullptr;
        HWND hwnd = nullptr;
        Twips twips;
        bool has_back = false;
        COLORREF back = 0;
        HBRUSH brush = nullptr;
    };

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    static LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

    bool RegisterClasses();
    bool BuildControls();
    bool Add(const ControlDesign& design, HWND parent);
    int PixelsX(int twips) const;
    int PixelsY(int twips) const;
    void Place(ControlInfo& info);
    void SetBack(ControlInfo& info, COLORREF color);
    ControlInfo& Get(const ControlDesign& d);
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
    std::array<HFONT, 3> fonts_{};  // by Face
    HBITMAP banner_ = nullptr;
    HICON icon_ = nullptr;
    HICON small_icon_ = nullptr;
    std::vector<ControlInfo> controls_;  // by row of the design
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
