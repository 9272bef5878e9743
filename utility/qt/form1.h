// Form1, the operator window, in Qt Widgets: the controls at their design
// places and the view the window logic drives.
#ifndef KESTRO_UTILITY_QT_FORM1_H
#define KESTRO_UTILITY_QT_FORM1_H

#include <QTimer>
#include <QWidget>
#include <string>
#include <vector>

#include "../logic/form1_design.h"
#include "../logic/form1_view.h"

class QCloseEvent;
class QMoveEvent;

namespace kestro {

class Form1Logic;

// Twips per pixel at 96 dots per inch.
inline constexpr int kTwipsPerPixel = 15;

class Form1 : public QWidget, public Form1View {
  public:
    explicit Form1(QWidget* parent = nullptr);

    // The logic that receives the window's events; none until attached.
    void Attach(Form1Logic* logic) { logic_ = logic; }
    // The control with the given name, or nullptr.
    QWidget* Find(const Control& c) const;
    QTimer& Timer1() { return timer1_; }

    void Show() override;
    void MsgBox(const std::string& text, const std::string& title) override;
    void DoEvents() override;
    void SetTimerInterval(int milliseconds) override;
    void SetTimerEnabled(bool enabled) override;
    void StartTextViewer() override;
    void EndProgram() override;

    // Where the window's frame goes so that the frame, title bar included,
    // is centred in the area (the frame's margins around the client area).
    static QPoint CentredFrame(const QRect& area, const QSize& client, const QMargins& frame);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

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
    void BuildControls();
    // A control of the design's kind, with its caption and kind's settings.
    QWidget* Make(const ControlDesign& d, QWidget* parent);
    void Centre();
    // The widget of a design row.
    QWidget& Get(const ControlDesign& d) const { return *widgets_[RowOf(d)]; }

    std::vector<QWidget*> widgets_;  // by row of the design
    QTimer timer1_;
    Form1Logic* logic_ = nullptr;
    bool ended_ = false;
    // Centred again once the window manager has put its frame around.
    bool centre_with_frame_ = false;
};

}  // namespace kestro

#endif
