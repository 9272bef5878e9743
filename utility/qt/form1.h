// Form1, the operator window, in Qt Widgets: the controls at their design
// places and the view the window logic drives.
#ifndef KESTRO_UTILITY_QT_FORM1_H
#define KESTRO_UTILITY_QT_FORM1_H

#include <QTimer>
#include <QWidget>
#include <map>
#include <string>
#include <utility>

#include "../logic/form1_view.h"

class QCloseEvent;

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

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    void ConnectEvents();
    // Registers a control under its name and puts it at its design place.
    template <typename W>
    W* Place(W* widget, const Control& c, const Twips& twips, int tab_index);
    QWidget& Get(const Control& c) const;

    std::map<std::pair<std::string, int>, QWidget*> controls_;
    QTimer timer1_;
    Form1Logic* logic_ = nullptr;
    bool ended_ = false;
};

}  // namespace kestro

#endif
