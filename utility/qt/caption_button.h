// A command button whose caption, when wrapping is on, wraps onto more lines
// when it is wider than the button, as classic command buttons do, instead
// of being cut off (a substitute face can be wider than the designed one).
#pragma once

#include <QPushButton>
#include <QString>

namespace kestro {

class CaptionButton : public QPushButton {
  public:
    CaptionButton(const QString& caption, bool wrap, QWidget* parent);

    void SetCaption(const QString& caption);
    const QString& Caption() const { return caption_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void Rewrap();

    QString caption_;
    bool wrap_;
};

}  // namespace kestro
