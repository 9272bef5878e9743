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
#include <QTest>
#include <algorithm>
#include <memory>

#include "qt_environment.h"
#include "../logic/form1_logic.h"
#include "../qt/form1.h"
#include "fake_library.h"

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

struct Expected {
    Control control;
    const char* kind;
    const char* caption;
    QRect pixels;
    int tab_index;
    bool visible;
    bool enabled;
    double points;
};

TEST_F(Form1QtTest, ControlsStandAsDesigned) {
    const Expected controls[] = {
        {ctl::Label5, "QLabel", "MSR Mode:", Px(5280, 720, 1335, 375), 7, true, true, 12},
        {ctl::txtMsrType, "QLineEdit", "", Px(6720, 720, 2175, 375), 20, true, true, 12},
        {ctl::Label1, "QLabel", "Will be changed to:", Px(4560, 1440, 2055, 375), 24, true, true,
         12},
        {ctl::comboMsrType2, "QComboBox", "", Px(6720, 1440, 2175, 420), 22, true, true, 12},
        {ctl::cmdEXIT, "QPushButton", "Exit", Px(9120, 120, 1455, 495), 2, true, true, 12},
        {ctl::cmdHELP, "QPushButton", "Help", Px(9120, 600, 1455, 495), 25, true, true, 12},
        {ctl::cmdChangeMode, "QPushButton", "Change Mode", Px(9120, 1320, 1455, 735), 23, true,
         false, 12},
        {ctl::Frame1, "QGroupBox", "Reader Output", Px(120, 2160, 10455, 5655), 3, true, true, 12},
        {ctl::lstResults, "QListWidget", "", Px(120, 5520, 5295, 2220), 6, false, true, 9.75},
        {ctl::cmdClearLog, "QPushButton", "Clear", Px(240, 5280, 1455, 255), 5, false, true, 9.75},
        {ctl::Label3(0), "QLabel", "Track1 Status:", Px(240, 360, 1455, 255), 8, true, true, 9.75},
        {ctl::Label3(2), "QLabel", "Track3 Status:", Px(240, 1080, 1455, 255), 10, true, true,
         9.75},
        {ctl::chkStatusOK(1), "QCheckBox", "OK", Px(1680, 720, 615, 255), 12, true, true, 9.75},
        {ctl::Label4(1), "QLabel", "Track2 Length:", Px(2760, 720, 1455, 255), 15, true, true,
         9.75},
        {ctl::txtTrackLenght(2), "QLineEdit", "", Px(4200, 1080, 1095, 315), 19, true, true, 9.75},
        {ctl::cmdClearCard, "QPushButton", "Clear", Px(9240, 720, 975, 375), 1, true, true, 9.75},
        {ctl::lblBrushTimes, "QLabel", "0", Px(9120, 1200, 1095, 255), 4, true, true, 9.75},
        {ctl::txtCardData, "QPlainTextEdit", "", Px(240, 1440, 9975, 1335), 21, true, true, 9.75},
        {ctl::lstCardData, "QListWidget", "", Px(240, 2760, 9975, 2700), 0, true, true, 9.75},
    };
    for (const Expected& e : controls) {
        SCOPED_TRACE(std::string(e.control.name) + " " + std::to_string(e.control.index));
        QWidget* widget = form.Find(e.control);
        ASSERT_NE(widget, nullptr);
        EXPECT_TRUE(widget->inherits(e.kind));
        EXPECT_EQ(widget->objectName().toStdString(), e.control.name);
        if (widget->inherits("QListWidget")) {
            EXPECT_EQ(form.ListCount(e.control), 0);
        } else {
            EXPECT_EQ(form.Text(e.control), e.caption);
        }
        EXPECT_EQ(widget->geometry(), e.pixels);
        EXPECT_EQ(widget->property("tabIndex").toInt(), e.tab_index);
        EXPECT_EQ(!widget->isHidden(), e.visible);
        EXPECT_EQ(widget->isEnabled(), e.enabled);
        EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), e.points);
        // Only the frame's title is bold.
        EXPECT_EQ(widget->font().bold(), e.control == ctl::Frame1);
    }
    EXPECT_EQ(Get<QLabel>(ctl::Label3(1))->parentWidget(), form.Find(ctl::Frame1));
    EXPECT_EQ(Get<QListWidget>(ctl::lstResults)->parentWidget(), &form);
}

TEST_F(Form1QtTest, WindowPictureTimerAndColours) {
    EXPECT_EQ(form.windowTitle(), "Torvanex USB MSR Configure v1.00");
    EXPECT_EQ(form.size(), QSize(719, 527));
    EXPECT_FALSE(form.windowIcon().isNull());
    const QLabel* image = Get<QLabel>(ctl::Image1);
    EXPECT_EQ(image->geometry(), Px(0, 120, 4500, 1950));
    EXPECT_EQ(image->pixmap().size(), QSize(300, 130));
    EXPECT_EQ(form.Timer1().interval(), 1000);
    EXPECT_FALSE(form.Timer1().isActive());

    const QColor grey(224, 224, 224);
    for (const Control& c :
         {ctl::txtMsrType, ctl::txtTrackLenght(0), ctl::lstResults, ctl::lstCardData}) {
        EXPECT_EQ(form.Find(c)->palette().color(QPalette::Base), grey) << c.name;
    }
    EXPECT_TRUE(Get<QLineEdit>(ctl::txtMsrType)->isReadOnly());
    EXPECT_TRUE(Get<QLineEdit>(ctl::txtTrackLenght(1))->isReadOnly());
    EXPECT_FALSE(Get<QPlainTextEdit>(ctl::txtCardData)->isReadOnly());
    EXPECT_TRUE(Get<QComboBox>(ctl::comboMsrType2)->isEditable());
}

TEST_F(Form1QtTest, TabOrderFollowsTheTabIndex) {
    form.show();
    std::vector<QWidget*> chain;
    QWidget* widget = form.Find(ctl::lstCardData);
    for (int i = 0; i < 40 && widget != nullptr; ++i) {
        if (widget->property("tabIndex").isValid() && widget->isVisibleTo(&form) &&
            (widget->focusPolicy() & Qt::TabFocus) &&
            std::find(chain.begin(), chain.end(), widget) == chain.end()) {
            chain.push_back(widget);
        }
        widget = widget->nextInFocusChain();
    }
    std::vector<int> indices;
    for (QWidget* w : chain) {
        indices.push_back(w->property("tabIndex").toInt());
    }
    EXPECT_TRUE(std::is_sorted(indices.begin(), indices.end()));
    EXPECT_GE(indices.size(), 10u);
}

TEST_F(Form1QtTest, ViewKeepsComboTextAndTranslatesLineEnds) {
    form.AddItem(ctl::comboMsrType2, "USB/KB");
    form.AddItem(ctl::comboMsrType2, "USB/HID IDTECH");
    EXPECT_EQ(form.Text(ctl::comboMsrType2), "");
    EXPECT_EQ(form.ListIndex(ctl::comboMsrType2), -1);
    EXPECT_EQ(form.List(ctl::comboMsrType2, 1), "USB/HID IDTECH");

    form.SetText(ctl::txtCardData, "AB\r\n12\r\n");
    EXPECT_EQ(Get<QPlainTextEdit>(ctl::txtCardData)->toPlainText(), "AB\n12\n");
    EXPECT_EQ(form.Text(ctl::txtCardData), "AB\r\n12\r\n");

    form.SetGeometry(ctl::txtCardData, {0, 0, 10455, 5655});
    EXPECT_EQ(form.Geometry(ctl::txtCardData), (Twips{0, 0, 10455, 5655}));
    form.SetValue(ctl::chkStatusOK(0), 1);
    EXPECT_TRUE(Get<QCheckBox>(ctl::chkStatusOK(0))->isChecked());
}

TEST_F(Form1QtTest, ButtonCaptionsWrapInsteadOfBeingCut) {
    for (const char* caption : {"Change Mode", "Changing mode", "Exit"}) {
        SCOPED_TRACE(caption);
        form.SetCaption(ctl::cmdChangeMode, caption);
        auto* button = Get<QPushButton>(ctl::cmdChangeMode);
        EXPECT_EQ(form.Caption(ctl::cmdChangeMode), caption);
        // Each shown line fits the button; together they are the caption.
        QStringList lines = button->text().split(QLatin1Char('\n'));
        EXPECT_EQ(lines.join(QLatin1Char(' ')), QString::fromLatin1(caption));
        QFontMetrics metrics(button->font());
        for (const QString& line : lines) {
            EXPECT_LE(metrics.horizontalAdvance(line), button->width() - 8) << line.toStdString();
        }
    }
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
