// KestroConfigure's swipe-to-screen time: the Qt window (offscreen) with its
// real 50 ms timer, the real libkestro.so bound at run time and a reader
// served by kestro-virtual-reader. Each swipe runs as the program's `swipe`
// command beside the window's own event loop; the time is taken from the
// moment that command ended to the first paint of the card list after the
// card's lines were added (goal: under 60 ms), and from the moment the
// command was started (which adds its own start-up). The card can show
// before the command has ended, so the first figure can be negative. The
// swipes fall at varying phases of the timer.
//   utility_swipe_latency [SWIPES]     (default 40)
// Prints the minimum, median, 95th percentile and maximum, and exits 1 when
// the maximum from the command's end is 60 ms or more.
#include <unistd.h>

#include <QApplication>
#include <QListWidget>
#include <QEventLoop>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "../utility/binding/kestro_binding.h"
#include "../utility/logic/form1_logic.h"
#include "../utility/qt/form1.h"
#include "reader_harness.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kGoalMs = 60.0;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Notes the first paint of a widget after it is armed.
class PaintWatch : public QObject {
  public:
    // on_paint runs at the first paint after arming.
    void Arm(std::function<void()> on_paint) {
        on_paint_ = std::move(on_paint);
        painted_ = false;
    }
    void Disarm() { on_paint_ = nullptr; }
    bool painted() const { return painted_; }
    Clock::time_point at() const { return at_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted_ && on_paint_) {
            painted_ = true;
            at_ = Clock::now();
            on_paint_();
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> on_paint_;
    bool painted_ = false;
    Clock::time_point at_;
};

// Runs the application's events for `ms`, as its own event loop would: it
// sleeps until the next timer or event (QTest's waits poll in 10 ms steps,
// which would add their own delay).
void RunEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Summary {
    double min, median, p95, max;
};

Summary Summarize(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const auto at = [&](double q) {
        return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
    };
    return {v.front(), at(0.5), at(0.95), v.back()};
}

}  // namespace

int main(int argc, char** argv) {
    const int swipes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    if (access("/kestro.log", F_OK) == 0) {
        std::fprintf(stderr, "/kestro.log exists: the library would trace into it; not run\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kestro::kAppTitle));

    vr::harness::RuntimeDir runtime;
    vr::harness::VirtualReader reader(runtime.path(), "latency", "idtech");
    if (!reader.started()) {
        std::fprintf(stderr, "the reader did not start: %s\n", reader.served_errors().c_str());
        return 2;
    }
    kestro::KestroBinding library("libkestro.so", {KESTRO_LIBRARY});
    kestro::Form1 form;
    kestro::Form1Logic logic(form, library);
    form.Attach(&logic);
    logic.Form_Load();
    if (logic.Ended()) {
        std::fprintf(stderr, "KestroConfigure found no reader\n");
        return 2;
    }
    auto* list = qobject_cast<QListWidget*>(form.Find(kestro::ctl::lstCardData));
    PaintWatch watch;
    list->viewport()->installEventFilter(&watch);

    std::vector<double> from_return;
    std::vector<double> from_start;
    const vr::harness::TestCard* cards[] = {&vr::harness::kCardA, &vr::harness::kCardB,
                                            &vr::harness::kCardC};
    for (int i = 0; i < swipes; ++i) {
        // Idle a while that is no multiple of the timer's interval, so that
        // the swipes meet the timer at every phase.
        RunEventsFor(37 + (i * 17) % 50);
        const vr::harness::TestCard& card = *cards[i % 3];
        const int before = list->count();
        watch.Arm(nullptr);  // nothing painted for this card yet
        // The swipe command runs beside the window's event loop, as a
        // swipe comes while the program waits for its next tick.
        QProcess swipe;
        swipe.setProgram(QString::fromLocal8Bit(KESTRO_VR_PROGRAM));
        QStringList args{"swipe",     "--name",   "latency",  "--track1",
                         card.track1, "--track2", card.track2};
        if (card.track3[0] != '\0') {
            args << "--track3" << card.track3;
        }
        swipe.setArguments(args);
        QEventLoop loop;
        bool finished = false;
        Clock::time_point returned;
        QObject::connect(&swipe, &QProcess::finished, &loop, [&] {
            returned = Clock::now();
            finished = true;
            if (watch.painted()) {
                loop.quit();
            }
        });
        const QMetaObject::Connection armed =
            QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, &watch, [&] {
                watch.Arm([&] {
                    if (finished) {
                        loop.quit();
                    }
                });
            });
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        const auto start = Clock::now();
        swipe.start();
        loop.exec();
        QObject::disconnect(armed);
        watch.Disarm();
        if (!finished || swipe.exitStatus() != QProcess::NormalExit || swipe.exitCode() != 0) {
            std::fprintf(stderr, "swipe %d failed\n", i + 1);
            return 2;
        }
        if (list->count() <= before || !watch.painted()) {
            std::fprintf(stderr, "swipe %d did not show within 2 s\n", i + 1);
            return 2;
        }
        // The card may show before the command has ended: then it is negative.
        from_return.push_back(Ms(watch.at() - returned));
        from_start.push_back(Ms(watch.at() - start));
    }
    form.close();

    const Summary r = Summarize(from_return);
    const Summary s = Summarize(from_start);
    std::printf("swipe to card list painted, %d swipes, 50 ms timer\n", swipes);
    std::printf("  from swipe command ended:   min %.1f  median %.1f  p95 %.1f  max %.1f ms\n",
                r.min, r.median, r.p95, r.max);
    std::printf("  from swipe command started: min %.1f  median %.1f  p95 %.1f  max %.1f ms\n",
                s.min, s.median, s.p95, s.max);
    std::printf("goal: under %.0f ms: %s\n", kGoalMs, r.max < kGoalMs ? "met" : "NOT met");
    return r.max < kGoalMs ? 0 : 1;
}
