// The logic of the operator window Form1: the values the window keeps and
// every event handler, written against the view and the reader library.
#ifndef KESTRO_UTILITY_LOGIC_FORM1_LOGIC_H
#define KESTRO_UTILITY_LOGIC_FORM1_LOGIC_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "form1_view.h"
#include "kestro_library.h"
#include "run_time_error.h"

namespace kestro {

// Title of the application, used for the card read's error report.
inline constexpr const char* kAppTitle = "KestroConfigure";

class Form1Logic {
  public:
    Form1Logic(Form1View& view, KestroLibrary& library) : view_(view), library_(library) {}

    // Event handlers. Each is an entry point from the event loop: an
    // untrapped run-time error shows the run-time error message and ends the
    // program; once the program has ended, further events do nothing.
    void Form_Load();
    // cancel is the platform's cancel flag; it is left as it is.
    void Form_Unload(int& cancel);
    void cmdEXIT_Click();
    void cmdHELP_Click();
    void cmdClearLog_Click();
    void cmdClearCard_Click();
    void cmdChangeMode_Click();
    void Timer1_Timer();
    // The Click handler of the control, if it has one (the five buttons).
    void Click(const Control& c);

    // Routines of the window, reachable on their own for tests.
    void DetectReader();
    void StartAutoRead();
    void ReadCard();

    // True once the program has ended (by Exit, by closing the window, for
    // want of a reader, or by a run-time error).
    bool Ended() const { return ended_; }

    // Values kept by the window. Track n is element n - 1 of the track arrays.
    int16_t BrushTimes = 0;
    std::array<int32_t, 3> MsrPid{};
    std::array<std::string, 3> MsrTypeName;
    int16_t ReadInterval = 0;
    int16_t DataStart = 0;
    int16_t DataEnd = 0;
    std::array<uint8_t, 3> TrackStatus{};
    std::array<uint8_t, 3> TrackLength{};

  private:
    // Unwinds a handler after the program has been ended inside it.
    struct ProgramEnded {};

    template <typename Body>
    void Dispatch(Body&& body);
    void EndProgram();
    void LetEventsRun();
    void ShowMessage(const std::string& text, const std::string& title = std::string());
    void Log(const char* label, int32_t result);
    void SelectLastResult();

    void FormLoad();
    void ClearCard();
    void Detect();
    void StartReading();
    void ReadOnce();
    void ChangeModeCommand();
    void LockModeControls(bool locked);

    Form1View& view_;
    KestroLibrary& library_;
    bool ended_ = false;
    bool reading_ = false;
};

}  // namespace kestro

#endif
