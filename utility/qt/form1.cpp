// Form1 as the window logic's view, and its events handed to the logic.
#include "form1.h"

#include <QAbstractButton>
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
    ConnectEvents();
}

void Form1::ConnectEvents() {
    const auto on_click = [this](const Control& c, auto handler) {
        connect(static_cast<QAbstractButton*>(&Get(c)), &QAbstractButton::clicked, this,
                [this, handler] {
                    if (logic_ != nullptr) {
                        handler(*logic_);
                    }
                });
    };
    on_click(ctl::cmdEXIT, [](Form1Logic& logic) { logic.cmdEXIT_Click(); });
    on_click(ctl::cmdHELP, [](Form1Logic& logic) { logic.cmdHELP_Click(); });
    on_click(ctl::cmdChangeMode, [](Form1Logic& logic) { logic.cmdChangeMode_Click(); });
    on_click(ctl::cmdClearLog, [](Form1Logic& logic) { logic.cmdClearLog_Click(); });
    on_click(ctl::cmdClearCard, [](Form1Logic& logic) { logic.cmdClearCard_Click(); });
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
    const auto found = controls_.find({std::string(c.name), c.index});
    return found == controls_.end() ? nullptr : found->second;
}

QWidget& Form1::Get(const Control& c) const {
    QWidget* widget = Find(c);
    if (widget == nullptr) {
        throw RunTimeError(kErrObjectRequired, "Object required");
    }
    return *widget;
}

void Form1::Show() {
    // Centred on the screen the window opens on.
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    show();
}

std::string Form1::Text(const Control& c) {
    QWidget& w = Get(c);
    if (auto* edit = qobject_cast<QLineEdit*>(&w)) {
        return FromQt(edit->text());
    }
    if (auto* combo = qobject_cast<QComboBox*>(&w)) {
        return FromQt(combo->currentText());
    }
    if (auto* box = qobject_cast<QPlainTextEdit*>(&w)) {
        return FromQtLines(box->toPlainText());
    }
    return Caption(c);
}

void Form1::SetText(const Control& c, const std::string& text) {
    QWidget& w = Get(c);
    if (auto* edit = qobject_cast<QLineEdit*>(&w)) {
        edit->setText(ToQt(text));
    } else if (auto* combo = qobject_cast<QComboBox*>(&w)) {
        combo->setEditText(ToQt(text));
    } else if (auto* box = qobject_cast<QPlainTextEdit*>(&w)) {
        box->setPlainText(ToQtLines(text));
    } else {
        SetCaption(c, text);
    }
}

std::string Form1::Caption(const Control& c) {
    QWidget& w = Get(c);
    if (auto* label = qobject_cast<QLabel*>(&w)) {
        return FromQt(label->text());
    }
    if (auto* button = dynamic_cast<CaptionButton*>(&w)) {
        return FromQt(button->Caption());
    }
    if (auto* button = qobject_cast<QAbstractButton*>(&w)) {
        return FromQt(button->text());
    }
    if (auto* frame = qobject_cast<QGroupBox*>(&w)) {
        return FromQt(frame->title());
    }
    InvalidProperty();
}

void Form1::SetCaption(const Control& c, const std::string& caption) {
    QWidget& w = Get(c);
    if (auto* label = qobject_cast<QLabel*>(&w)) {
        label->setText(ToQt(caption));
    } else if (auto* command = dynamic_cast<CaptionButton*>(&w)) {
        command->SetCaption(ToQt(caption));
    } else if (auto* button = qobject_cast<QAbstractButton*>(&w)) {
        button->setText(ToQt(caption));
    } else if (auto* frame = qobject_cast<QGroupBox*>(&w)) {
        frame->setTitle(ToQt(caption));
    } else {
        InvalidProperty();
    }
}

int Form1::Value(const Control& c) {
    if (auto* check = qobject_cast<QCheckBox*>(&Get(c))) {
        return check->isChecked() ? 1 : 0;
    }
    InvalidProperty();
}

void Form1::SetValue(const Control& c, int value) {
    auto* check = qobject_cast<QCheckBox*>(&Get(c));
    if (check == nullptr || value < 0 || value > 1) {
        InvalidProperty();
    }
    check->setChecked(value == 1);
}

bool Form1::Enabled(const Control& c) {
    return Get(c).isEnabled();
}

void Form1::SetEnabled(const Control& c, bool enabled) {
    Get(c).setEnabled(enabled);
}

bool Form1::Visible(const Control& c) {
    return !Get(c).isHidden();
}

void Form1::SetVisible(const Control& c, bool visible) {
    Get(c).setVisible(visible);
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
    QWidget& w = Get(c);
    if (auto* list = qobject_cast<QListWidget*>(&w)) {
        list->addItem(ToQt(item));
    } else if (auto* combo = qobject_cast<QComboBox*>(&w)) {
        // Adding to the list leaves the edit text and the selection alone
        // (Qt would otherwise select the first entry added).
        const QString text = combo->currentText();
        const int index = combo->currentIndex();
        combo->addItem(ToQt(item));
        combo->setCurrentIndex(index);
        combo->setEditText(text);
    } else {
        InvalidProperty();
    }
}

void Form1::Clear(const Control& c) {
    QWidget& w = Get(c);
    if (auto* list = qobject_cast<QListWidget*>(&w)) {
        list->clear();
    } else if (auto* combo = qobject_cast<QComboBox*>(&w)) {
        combo->clear();
    } else {
        InvalidProperty();
    }
}

int Form1::ListCount(const Control& c) {
    QWidget& w = Get(c);
    if (auto* list = qobject_cast<QListWidget*>(&w)) {
        return list->count();
    }
    if (auto* combo = qobject_cast<QComboBox*>(&w)) {
        return combo->count();
    }
    InvalidProperty();
}

std::string Form1::List(const Control& c, int index) {
    QWidget& w = Get(c);
    if (auto* list = qobject_cast<QListWidget*>(&w)) {
        const QListWidgetItem* item = list->item(index);
        return item != nullptr ? FromQt(item->text()) : std::string();
    }
    if (auto* combo = qobject_cast<QComboBox*>(&w)) {
        return FromQt(combo->itemText(index));
    }
    InvalidProperty();
}

int Form1::ListIndex(const Control& c) {
    QWidget& w = Get(c);
    if (auto* list = qobject_cast<QListWidget*>(&w)) {
        return list->currentRow();
    }
    if (auto* combo = qobject_cast<QComboBox*>(&w)) {
        return combo->currentIndex();
    }
    InvalidProperty();
}

void Form1::SetListIndex(const Control& c, int index) {
    QWidget& w = Get(c);
    if (auto* list = qobject_cast<QListWidget*>(&w)) {
        if (index < -1 || index >= list->count()) {
            InvalidProperty();
        }
        list->setCurrentRow(index);
        if (index >= 0) {
            list->scrollToItem(list->item(index));
        }
    } else if (auto* combo = qobject_cast<QComboBox*>(&w)) {
        if (index < -1 || index >= combo->count()) {
            InvalidProperty();
        }
        combo->setCurrentIndex(index);
    } else {
        InvalidProperty();
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
