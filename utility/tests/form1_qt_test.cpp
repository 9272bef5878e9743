// The Qt window, offscreen: controls as designed, and the view as the logic
// drives it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QFontMetrics>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <algorithm>
#include <memory>

#include "qt_environment.h"
#include "../logic/form1_design.h"
#include "../logic/form1_logic.h"
#include "../qt/form1.h"
#include "fake_library.h"
#include "view_rules.h"

namespace kestro {
namespace {

using testing::FakeLibrary;
using testing::Trace;

class Form1QtTest : public ::testing::Test {
  protected:
    template <typename W>
    W* Get(const Control& c) {
        W* widget = qobject_cast<W*>(form.Find(c));
        EXPECT_NE(widget, nullptr) << c.name << " " << c.index;
        return widget;
    }

    static QRect Px(int left, int top, int width, int height) {
        return QRect(left / 15, top / 15, width / 15, height / 15);
    }

    Form1 form;
};

// Every control takes exactly the operations its kind allows.
TEST_F(Form1QtTest, EachControlTakesTheOperationsOfItsKind) {
    testing::ExpectViewRules(form);
}

const char* QtClass(const ControlDesign& d) {
    switch (d.kind) {
        case Kind::kImage:
        case Kind::kLabel:
            return "QLabel";
        case Kind::kTextBox:
            return (d.flags & kMultiLine) != 0 ? "QPlainTextEdit" : "QLineEdit";
        case Kind::kComboBox:
            return "QComboBox";
        case Kind::kCommandButton:
            return "QPushButton";
        case Kind::kCheckBox:
            return "QCheckBox";
        case Kind::kFrame:
            return "QGroupBox";
        case Kind::kListBox:
            break;
    }
    return "QListWidget";
}

// Geometry, kind, container, font, colour and state of every row.
TEST_F(Form1QtTest, ControlsStandAsDesigned) {
    EXPECT_EQ(form.windowTitle(), "Torvanex USB MSR Configure v1.00");
    EXPECT_EQ(form.size(), QSize(719, 527));
    EXPECT_FALSE(form.windowIcon().isNull());
    EXPECT_EQ(Get<QLabel>(ctl::Image1)->pixmap().size(), QSize(300, 130));
    EXPECT_EQ(form.Timer1().interval(), 1000);
    EXPECT_FALSE(form.Timer1().isActive());
    for (const ControlDesign& d : Form1Design()) {
        SCOPED_TRACE(std::string(d.control.name) + " " + std::to_string(d.control.index));
        QWidget* widget = form.Find(d.control);
        ASSERT_NE(widget, nullptr);
        EXPECT_TRUE(widget->inherits(QtClass(d)));
        EXPECT_EQ(widget->objectName().toStdString(), d.control.name);
        EXPECT_EQ(widget->geometry(), Px(d.place.left, d.place.top, d.place.width, d.place.height));
        EXPECT_EQ(widget->parentWidget(), d.in_frame ? form.Find(ctl::Frame1) : &form);
        EXPECT_EQ(widget->isHidden(), (d.flags & kHidden) != 0);
        EXPECT_EQ(widget->isEnabled(), (d.flags & kDisabled) == 0);
        EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), FontOf(d.face).points_x100 / 100.0);
        EXPECT_EQ(widget->font().bold(), FontOf(d.face).bold);
        if (d.back) {
            EXPECT_EQ(widget->palette().color(QPalette::Base),
                      QColor(d.back->red, d.back->green, d.back->blue));
        }
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            EXPECT_EQ(edit->isReadOnly(), (d.flags & kReadOnly) != 0);
        }
    }
    EXPECT_TRUE(Get<QComboBox>(ctl::comboMsrType2)->isEditable());
    EXPECT_FALSE(Get<QPlainTextEdit>(ctl::txtCardData)->isReadOnly());
}

// The frame with its title bar, not the client area, is centred.
TEST_F(Form1QtTest, TheFrameIsCentredOnTheScreen) {
    const struct {
        QMargins frame;
        QPoint top_left;
    } cases[] = {
        {QMargins(), QPoint(152, 120)},
        {QMargins(1, 24, 1, 1), QPoint(151, 108)},
        {QMargins(4, 30, 4, 4), QPoint(148, 103)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Form1::CentredFrame(QRect(0, 0, 1024, 768), QSize(719, 527), c.frame),
                  c.top_left);
    }
}

// Tab from the card box walks every control that takes the focus, by tab
// index, and comes back; no tab character lands in the card box.
TEST_F(Form1QtTest, TabWalksTheWholeTabOrder) {
    form.SetEnabled(ctl::cmdChangeMode, true);  // as detection leaves it
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.SetFocus(ctl::txtCardData);
    const std::vector<const ControlDesign*> order = TabOrder();
    const auto from = std::find_if(order.begin(), order.end(), [](const ControlDesign* d) {
        return d->control == ctl::txtCardData;
    });
    ASSERT_NE(from, order.end());
    for (std::size_t step = 1; step <= order.size(); ++step) {
        const ControlDesign* want = order[(from - order.begin() + step) % order.size()];
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        while (focus != nullptr && form.Find(want->control) != focus &&
               focus->parentWidget() != &form && !focus->parentWidget()->inherits("QGroupBox")) {
            focus = focus->parentWidget();  // the editor inside a combo box
        }
        EXPECT_EQ(focus, form.Find(want->control)) << "step " << step << ": " << want->control.name;
    }
    EXPECT_EQ(form.Text(ctl::txtCardData), "");
}

// Every caption a control shows fits it: each line is narrower than the
// control, and the lines together are not higher.
TEST_F(Form1QtTest, CaptionsFit) {
    std::vector<std::pair<Control, std::string>> captions;
    for (const ControlDesign& d : Form1Design()) {
        if (d.kind != Kind::kTextBox && d.kind != Kind::kComboBox && *d.caption != '\0') {
            captions.emplace_back(d.control, d.caption);
        }
    }
    captions.emplace_back(ctl::cmdChangeMode, kChangingModeCaption);
    captions.emplace_back(ctl::lblBrushTimes, "32767");
    for (const auto& [control, caption] : captions) {
        SCOPED_TRACE(std::string(control.name) + ": " + caption);
        form.SetCaption(control, caption);
        QWidget* widget = form.Find(control);
        QString shown;
        QRect room = widget->rect();  // where the style draws the text
        QStyleOptionButton option;
        option.initFrom(widget);
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            shown = label->text();
        } else if (auto* check = qobject_cast<QCheckBox*>(widget)) {
            shown = check->text();
            room = check->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, check);
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            shown = button->text();
            room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
            shown = frame->title();
        }
        const QStringList lines = shown.split(QLatin1Char('\n'));
        EXPECT_EQ(lines.join(QLatin1Char(' ')), QString::fromLatin1(caption.c_str()));
        const QFontMetrics metrics(widget->font());
        for (const QString& line : lines) {
            EXPECT_LE(metrics.horizontalAdvance(line), room.width()) << line.toStdString();
        }
        EXPECT_LE(metrics.height() * lines.size(), room.height());
    }
}

TEST_F(Form1QtTest, ViewKeepsComboTextAndTranslatesLineEnds) {
    form.AddItem(ctl::comboMsrType2, "USB/KB");
    form.AddItem(ctl::comboMsrType2, "USB/HID IDTECH");
    EXPECT_EQ(form.Text(ctl::comboMsrType2), "");
    EXPECT_EQ(Get<QComboBox>(ctl::comboMsrType2)->currentIndex(), -1);
    EXPECT_EQ(form.List(ctl::comboMsrType2, 1), "USB/HID IDTECH");

    form.SetText(ctl::txtCardData, "AB\r\n12\r\n");
    EXPECT_EQ(Get<QPlainTextEdit>(ctl::txtCardData)->toPlainText(), "AB\n12\n");
    EXPECT_EQ(form.Text(ctl::txtCardData), "AB\r\n12\r\n");

    form.SetGeometry(ctl::txtCardData, {0, 0, 10455, 5655});
    EXPECT_EQ(form.Geometry(ctl::txtCardData), (Twips{0, 0, 10455, 5655}));
    form.SetValue(ctl::chkStatusOK(0), 1);
    EXPECT_TRUE(Get<QCheckBox>(ctl::chkStatusOK(0))->isChecked());
}

class Form1QtRunTest : public Form1QtTest {
  protected:
    void Start(std::optional<int32_t> pid) {
        library.reader_pid = pid;
        form.Attach(&logic);
        logic.Form_Load();
    }

    Trace trace;
    FakeLibrary library{trace};
    Form1Logic logic{form, library};
};

TEST_F(Form1QtRunTest, AReaderFoundAndACardShown) {
    Start(testing::kPidIdtech);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(Get<QLineEdit>(ctl::txtMsrType)->text(), "USB/HID IDTECH");
    EXPECT_TRUE(form.Find(ctl::cmdChangeMode)->isEnabled());
    EXPECT_TRUE(form.Timer1().isActive());
    EXPECT_EQ(form.Timer1().interval(), 50);
    EXPECT_EQ(form.Find(ctl::txtCardData)->palette().color(QPalette::Base), QColor(255, 255, 192));
    EXPECT_EQ(Get<QListWidget>(ctl::lstResults)->count(), 2);

    library.reports.push_back(testing::CardBuffer({0, 0, 9}, {3, 4, 0}, 12, "ABC\r1234\r"));
    // A tick, delivered through the timer's own signal.
    QMetaObject::invokeMethod(&form.Timer1(), "timeout");
    EXPECT_EQ(Get<QPlainTextEdit>(ctl::txtCardData)->toPlainText(), "ABC\n1234\n");
    EXPECT_EQ(Get<QListWidget>(ctl::lstCardData)->count(), 2);
    EXPECT_EQ(Get<QListWidget>(ctl::lstCardData)->currentRow(), 1);
    EXPECT_EQ(Get<QLabel>(ctl::lblBrushTimes)->text(), "1");
    EXPECT_TRUE(Get<QCheckBox>(ctl::chkStatusOK(1))->isChecked());
    EXPECT_FALSE(Get<QCheckBox>(ctl::chkStatusOK(2))->isChecked());
    EXPECT_EQ(Get<QLineEdit>(ctl::txtTrackLenght(1))->text(), "4");

    QTest::mouseClick(Get<QPushButton>(ctl::cmdClearCard), Qt::LeftButton);
    EXPECT_EQ(Get<QListWidget>(ctl::lstCardData)->count(), 0);
    EXPECT_EQ(Get<QLabel>(ctl::lblBrushTimes)->text(), "0");
}

// A mode name typed in the combo box stays as typed and is compared exactly:
// another letter case or a part of a name gets the refusal, nothing is sent.
TEST_F(Form1QtRunTest, TypedModeNamesAreComparedExactly) {
    const struct {
        const char* typed;
        bool refused;
    } cases[] = {
        {"usb/kb", true},         {"USB/K", true},          {"usb", true},
        {"USB/HID magtek", true}, {"USB/HID IDTECH", true},  // the mode in force
        {"USB/KB", false},
    };
    QStringList shown;
    QTimer answer;  // presses OK on each message box once it is up
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown << box->text();
            box->accept();
        }
    });
    answer.start(0);
    Start(testing::kPidIdtech);
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto* combo = Get<QComboBox>(ctl::comboMsrType2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        shown.clear();
        trace.clear();
        combo->clearEditText();
        combo->setFocus();  // typed as an operator would; the click takes the focus away
        QTest::keyClicks(combo, QString::fromLatin1(c.typed));
        EXPECT_EQ(combo->currentText(), QString::fromLatin1(c.typed));
        QTest::mouseClick(Get<QPushButton>(ctl::cmdChangeMode), Qt::LeftButton);
        ASSERT_FALSE(shown.isEmpty());
        const bool refused =
            shown.front() == "Please choice correct USB MSR mode before Change Mode.";
        EXPECT_EQ(refused, c.refused);
        EXPECT_EQ(std::count(trace.begin(), trace.end(), "ChangeMode(1)"), c.refused ? 0 : 1);
    }
}

TEST_F(Form1QtRunTest, KeyboardModeCardBoxCoversTheFrame) {
    Start(testing::kPidKeyboard);
    auto* box = Get<QPlainTextEdit>(ctl::txtCardData);
    EXPECT_EQ(box->geometry(), QRect(QPoint(0, 0), form.Find(ctl::Frame1)->size()));
    // Above the card list, so the typed card is seen.
    QWidget* at_list = form.Find(ctl::Frame1)->childAt(Px(240, 2760, 9975, 2700).center());
    EXPECT_TRUE(at_list == box || box->isAncestorOf(at_list));
}

TEST_F(Form1QtRunTest, ClosingTheWindowLogsTheClose) {
    Start(testing::kPidIdtech);
    form.close();
    auto* log = Get<QListWidget>(ctl::lstResults);
    EXPECT_EQ(log->item(log->count() - 1)->text(), " close usb -> 0");
    EXPECT_EQ(log->currentRow(), log->count() - 1);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(logic.Ended());
}

TEST_F(Form1QtRunTest, ExitEndsWithoutUnloading) {
    Start(testing::kPidIdtech);
    const int lines = Get<QListWidget>(ctl::lstResults)->count();
    QTest::mouseClick(Get<QPushButton>(ctl::cmdEXIT), Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(Get<QListWidget>(ctl::lstResults)->count(), lines);
    EXPECT_FALSE(form.Timer1().isActive());
}

TEST_F(Form1QtRunTest, NoReaderTellsTheOperatorAndEndsTheProgram) {
    QString shown;
    // Presses OK on the message box once it is up.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    closer.start(0);

    Start(std::nullopt);

    EXPECT_EQ(shown, "Please connect TORVANEX USB MSR first !!");
    EXPECT_TRUE(logic.Ended());
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Timer1().isActive());
    EXPECT_FALSE(form.Find(ctl::Frame1)->isEnabled());
}

}  // namespace
}  // namespace kestro
