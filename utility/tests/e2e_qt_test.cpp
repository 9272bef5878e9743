// The Qt window, offscreen, with its real timer, the real libkestro.so and
// the real kestro-virtual-reader program: what the operator sees.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <chrono>
#include <memory>

#include "qt_environment.h"
#include "../logic/form1_logic.h"
#include "../qt/form1.h"
#include "e2e_fixture.h"

namespace kestro::e2e {
namespace {

class QtE2eTest : public E2eTest {
  protected:
    void SetUp() override {
        E2eTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        form.Attach(&logic);
        // Count the timer's ticks, to tell which tick showed a card.
        QObject::connect(&form.Timer1(), &QTimer::timeout, [this] { ++ticks; });
    }

    void TearDown() override {
        if (!logic.Ended()) {
            form.close();
        }
    }

    template <typename W>
    W* Get(const Control& c) {
        W* widget = qobject_cast<W*>(form.Find(c));
        EXPECT_NE(widget, nullptr) << c.name;
        return widget;
    }

    Form1 form;
    Form1Logic logic{form, library};
    int ticks = 0;
};

TEST_F(QtE2eTest, DetectsTheReaderAndShowsACardOnTheFirstTickAfterTheSwipe) {
    Serve("idtech");
    logic.Form_Load();
    ASSERT_FALSE(logic.Ended());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.windowTitle(), "Torvanex USB MSR Configure v1.00");
    EXPECT_EQ(Get<QLineEdit>(ctl::txtMsrType)->text(), "USB/HID IDTECH");

    // Let the timer run idle for a few ticks: nothing shows.
    const int idle_from = ticks;
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= idle_from + 3; }, 2000));
    auto* list = Get<QListWidget>(ctl::lstCardData);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 0);

    ASSERT_EQ(reader->swipe(kCardA.track1, kCardA.track2), 0);
    const int swiped_at = ticks;
    int shown_at = -1;
    QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, [&] {
        // The window's own handler runs before the counter: the tick
        // that adds the lines is the one after the count so far.
        if (shown_at < 0) {
            shown_at = ticks + 1;
        }
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == 2; }, 2000));
    // The tick that ran first after the swipe command returned showed it.
    EXPECT_EQ(shown_at, swiped_at + 1);
    EXPECT_EQ(list->item(0)->text(), kCardA.track1);
    EXPECT_EQ(list->item(1)->text(), kCardA.track2);
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_EQ(Get<QPlainTextEdit>(ctl::txtCardData)->toPlainText(),
              QString(kCardA.track1) + "\n" + kCardA.track2 + "\n");
    EXPECT_EQ(Get<QLabel>(ctl::lblBrushTimes)->text(), "1");

    // Closing the window closes the session and ends the program.
    form.close();
    EXPECT_TRUE(logic.Ended());
    auto* results = Get<QListWidget>(ctl::lstResults);
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(results->item(results->count() - 1)->text(), " close usb -> 0");
}

}  // namespace
}  // namespace kestro::e2e
