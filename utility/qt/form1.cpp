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
#include "../logic/run_time_error.h"
#include "caption_button.h"
#include "text_codec.h"
#include "text_viewer.h"

namespace kestro {

namespace {
constexpr int32_t kErrObjectRequired = 424;
constexpr int32_t kErrInvalidProperty = 380;

[[noreturn]] void InvalidProperty() {
    throw RunTimeError(kErrInvalidProperty, "Invalid property value");
}
}  // namespace

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

const ControlDesign& Form1::DesignOf(const Control& c) const {
    const ControlDesign* design = FindDesign(c);
    if (design == nullptr) {
        throw RunTimeError(kErrObjectRequired, "Object required");
    }
    return *design;
}

QWidget& Form1::Get(const Control& c) const {
    return *widgets_[RowOf(DesignOf(c))];
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

std::string Form1::Text(const Control& c) {
    const ControlDesign& d = DesignOf(c);
    QWidget& w = Get(c);
    if (d.kind == Kind::kTextBox) {
        return (d.flags & kMultiLine) != 0
                   ? FromQtLines(static_cast<QPlainTextEdit&>(w).toPlainText())
                   : FromQt(static_cast<QLineEdit&>(w).text());
    }
    if (d.kind == Kind::kComboBox) {
        return FromQt(static_cast<QComboBox&>(w).currentText());
    }
    InvalidProperty();
}

void Form1::SetText(const Control& c, const std::string& text) {
    const ControlDesign& d = DesignOf(c);
    QWidget& w = Get(c);
    if (d.kind == Kind::kTextBox && (d.flags & kMultiLine) != 0) {
        static_cast<QPlainTextEdit&>(w).setPlainText(ToQtLines(text));
    } else if (d.kind == Kind::kTextBox) {
        static_cast<QLineEdit&>(w).setText(ToQt(text));
    } else if (d.kind == Kind::kComboBox) {
        static_cast<QComboBox&>(w).setEditText(ToQt(text));
    } else {
        SetCaption(c, text);
    }
}

void Form1::SetCaption(const Control& c, const std::string& caption) {
    QWidget& w = Get(c);
    switch (DesignOf(c).kind) {
        case Kind::kLabel:
            static_cast<QLabel&>(w).setText(ToQt(caption));
            return;
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
            InvalidProperty();
    }
}

void Form1::SetValue(const Control& c, int value) {
    if (DesignOf(c).kind != Kind::kCheckBox || value < 0 || value > 1) {
        InvalidProperty();
    }
    static_cast<QCheckBox&>(Get(c)).setChecked(value == 1);
}

void Form1::SetEnabled(const Control& c, bool enabled) {
    Get(c).setEnabled(enabled);
}

Twips Form1::Geometry(const Control& c) {
    const QRect r = Get(c).geometry();
    return {r.x() * kTwipsPerPixel, r.y() * kTwipsPerPixel, r.width() * kTwipsPerPixel,
            r.height() * kTwipsPerPixel};
}

void Form1::SetGeometry(const Control& c, const Twips& t) {
    Get(c).setGeometry(t.left / kTwipsPerPixel, t.top / kTwipsPerPixel, t.width / kTwipsPerPixel,
                       t.height / kTwipsPerPixel);
}

void Form1::SetBackColor(const Control& c, const Rgb& color) {
    QWidget& w = Get(c);
    QPalette palette = w.palette();
    palette.setColor(QPalette::Base, QColor(color.red, color.green, color.blue));
    w.setPalette(palette);
}

void Form1::SetFocus(const Control& c) {
    Get(c).setFocus(Qt::OtherFocusReason);
}

void Form1::AddItem(const Control& c, const std::string& item) {
    const Kind kind = DesignOf(c).kind;
    QWidget& w = Get(c);
    if (kind == Kind::kListBox) {
        static_cast<QListWidget&>(w).addItem(ToQt(item));
    } else if (kind == Kind::kComboBox) {
        // Adding to the list leaves the edit text and the selection alone
        // (Qt would otherwise select the first entry added).
        auto& combo = static_cast<QComboBox&>(w);
        const QString text = combo.currentText();
        const int index = combo.currentIndex();
        combo.addItem(ToQt(item));
        combo.setCurrentIndex(index);
        combo.setEditText(text);
    } else {
        InvalidProperty();
    }
}

void Form1::Clear(const Control& c) {
    const Kind kind = DesignOf(c).kind;
    if (kind == Kind::kListBox) {
        static_cast<QListWidget&>(Get(c)).clear();
    } else if (kind == Kind::kComboBox) {
        static_cast<QComboBox&>(Get(c)).clear();
    } else {
        InvalidProperty();
    }
}

int Form1::ListCount(const Control& c) {
    const Kind kind = DesignOf(c).kind;
    if (kind == Kind::kListBox) {
        return static_cast<QListWidget&>(Get(c)).count();
    }
    if (kind == Kind::kComboBox) {
        return static_cast<QComboBox&>(Get(c)).count();
    }
    InvalidProperty();
}

std::string Form1::List(const Control& c, int index) {
    const Kind kind = DesignOf(c).kind;
    if (kind == Kind::kListBox) {
        const QListWidgetItem* item = static_cast<QListWidget&>(Get(c)).item(index);
        return item != nullptr ? FromQt(item->text()) : std::string();
    }
    if (kind == Kind::kComboBox) {
        return FromQt(static_cast<QComboBox&>(Get(c)).itemText(index));
    }
    InvalidProperty();
}

void Form1::SetListIndex(const Control& c, int index) {
    const Kind kind = DesignOf(c).kind;
    if ((kind != Kind::kListBox && kind != Kind::kComboBox) || index < -1 ||
        index >= ListCount(c)) {
        InvalidProperty();
    }
    if (kind == Kind::kListBox) {
        auto& list = static_cast<QListWidget&>(Get(c));
        list.setCurrentRow(index);
        if (index >= 0) {
            list.scrollToItem(list.item(index));
        }
    } else {
        static_cast<QComboBox&>(Get(c)).setCurrentIndex(index);
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
