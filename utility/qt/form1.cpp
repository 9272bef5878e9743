// Form1 as the window logic's view, and its events handed to the logic.
#include "form1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include "../logic/form1_logic.h"
#include "caption_button.h"
#include "text_codec.h"
#include "text_viewer.h"

namespace kestro {

Form1::Form1(QWidget* parent) : QWidget(parent) {
    BuildControls();
    connect(&timer1_, &QTimer::timeout, this, [this] {
        if (logic_ != nullptr) {
            logic_->Timer1_Timer();
        }
    });
}

void Form1::closeEvent(QCloseEvent* event) {
    if (ended_ || logic_ == nullptr) {
        event->accept();
        return;
    }
    int cancel = 0;
    logic_->Form_Unload(cancel);
    if (cancel != 0 && !ended_) {
        event->ignore();
    } else {
        timer1_.stop();
        event->accept();
    }
}

QWidget* Form1::Find(const Control& c) const {
    const ControlDesign* design = FindDesign(c);
    return design == nullptr ? nullptr : widgets_[RowOf(*design)];
}

QPoint Form1::CentredFrame(const QRect& area, const QSize& client, const QMargins& frame) {
    const PixelPoint at = CentredIn(area.x(), area.y(), area.width(), area.height(),
                                    client.width() + frame.left() + frame.right(),
                                    client.height() + frame.top() + frame.bottom());
    return {at.x, at.y};
}

void Form1::Centre() {
    if (const QScreen* screen = this->screen()) {
        const QMargins frame =
            windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
        move(CentredFrame(screen->availableGeometry(), size(), frame));
    }
}

void Form1::Show() {
    // Centred on the screen the window opens on, by its frame with the title
    // bar. A window manager adds the frame only once the window is shown, so
    // it is centred again when the frame first appears.
    Centre();
    show();
    centre_with_frame_ = true;
}

void Form1::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (centre_with_frame_ && windowHandle() != nullptr &&
        !windowHandle()->frameMargins().isNull()) {
        centre_with_frame_ = false;
        Centre();
    }
}

std::string Form1::DoText(const ControlDesign& d) {
    QWidget& w = Get(d);
    if (d.kind == Kind::kComboBox) {
        return FromQt(static_cast<QComboBox&>(w).currentText());
    }
    return (d.flags & kMultiLine) != 0 ? FromQtLines(static_cast<QPlainTextEdit&>(w).toPlainText())
                                       : FromQt(static_cast<QLineEdit&>(w).text());
}

void Form1::DoSetText(const ControlDesign& d, const std::string& text) {
    QWidget& w = Get(d);
    if (d.kind == Kind::kComboBox) {
        static_cast<QComboBox&>(w).setEditText(ToQt(text));
    } else if ((d.flags & kMultiLine) != 0) {
        static_cast<QPlainTextEdit&>(w).setPlainText(ToQtLines(text));
    } else {
        static_cast<QLineEdit&>(w).setText(ToQt(text));
    }
}

void Form1::DoSetCaption(const ControlDesign& d, const std::string& caption) {
    QWidget& w = Get(d);
    switch (d.kind) {
        case Kind::kCommandButton:
            static_cast<CaptionButton&>(w).SetCaption(ToQt(caption));
            return;
        case Kind::kCheckBox:
            static_cast<QCheckBox&>(w).setText(ToQt(caption));
            return;
        case Kind::kFrame:
            static_cast<QGroupBox&>(w).setTitle(ToQt(caption));
            return;
        default:
            static_cast<QLabel&>(w).setText(ToQt(caption));
    }
}

void Form1::DoSetValue(const ControlDesign& d, int value) {
    static_cast<QCheckBox&>(Get(d)).setChecked(value == 1);
}

void Form1::DoSetEnabled(const ControlDesign& d, bool enabled) {
    Get(d).setEnabled(enabled);
}

Twips Form1::DoGeometry(const ControlDesign& d) {
    const QRect r = Get(d).geometry();
    return {r.x() * kTwipsPerPixel, r.y() * kTwipsPerPixel, r.width() * kTwipsPerPixel,
            r.height() * kTwipsPerPixel};
}

void Form1::DoSetGeometry(const ControlDesign& d, const Twips& t) {
    Get(d).setGeometry(t.left / kTwipsPerPixel, t.top / kTwipsPerPixel, t.width / kTwipsPerPixel,
                       t.height / kTwipsPerPixel);
}

void Form1::DoSetBackColor(const ControlDesign& d, const Rgb& color) {
    QWidget& w = Get(d);
    QPalette palette = w.palette();
    palette.setColor(QPalette::Base, QColor(color.red, color.green, color.blue));
    w.setPalette(palette);
}

void Form1::DoSetFocus(const ControlDesign& d) {
    Get(d).setFocus(Qt::OtherFocusReason);
}

void Form1::DoAddItem(const ControlDesign& d, const std::string& item) {
    QWidget& w = Get(d);
    if (d.kind == Kind::kListBox) {
        static_cast<QListWidget&>(w).addItem(ToQt(item));
        return;
    }
    // Adding to the list leaves the edit text and the selection alone (Qt
    // would otherwise select the first entry added).
    auto& combo = static_cast<QComboBox&>(w);
    const QString text = combo.currentText();
    const int index = combo.currentIndex();
    combo.addItem(ToQt(item));
    combo.setCurrentIndex(index);
    combo.setEditText(text);
}

void Form1::DoClear(const ControlDesign& d) {
    if (d.kind == Kind::kListBox) {
        static_cast<QListWidget&>(Get(d)).clear();
    } else {
        static_cast<QComboBox&>(Get(d)).clear();
    }
}

int Form1::DoListCount(const ControlDesign& d) {
    return d.kind == Kind::kListBox ? static_cast<QListWidget&>(Get(d)).count()
                                    : static_cast<QComboBox&>(Get(d)).count();
}

std::string Form1::DoList(const ControlDesign& d, int index) {
    if (d.kind == Kind::kListBox) {
        return FromQt(static_cast<QListWidget&>(Get(d)).item(index)->text());
    }
    return FromQt(static_cast<QComboBox&>(Get(d)).itemText(index));
}

void Form1::DoSetListIndex(const ControlDesign& d, int index) {
    if (d.kind == Kind::kListBox) {
        auto& list = static_cast<QListWidget&>(Get(d));
        list.setCurrentRow(index);
        if (index >= 0) {
            list.scrollToItem(list.item(index));
        }
    } else {
        static_cast<QComboBox&>(Get(d)).setCurrentIndex(index);
    }
}

void Form1::MsgBox(const std::string& text, const std::string& title) {
    QMessageBox box(this);
    box.setWindowTitle(title.empty() ? QCoreApplication::applicationName() : ToQt(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(ToQtLines(text));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void Form1::DoEvents() {
    QCoreApplication::processEvents();
}

void Form1::SetTimerInterval(int milliseconds) {
    timer1_.setInterval(milliseconds);
}

void Form1::SetTimerEnabled(bool enabled) {
    if (enabled) {
        // Enabling a running timer leaves its count as it is.
        if (!timer1_.isActive()) {
            timer1_.start();
        }
    } else {
        timer1_.stop();
    }
}

void Form1::StartTextViewer() {
    StartReadmeViewer();
}

void Form1::EndProgram() {
    // No unload handler and no further event: stop the timer, take the window
    // away and leave every event loop.
    ended_ = true;
    timer1_.stop();
    hide();
    // Outside any event loop (during start-up) the caller returns by itself;
    // an exit then would only make the next loop return at once.
    if (QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(0);
    }
}

}  // namespace kestro
