// Message processing: a live session's mix of engine messages ("t", "c", "C", "W", "T", "+", "A", "D")
// stored in the real MessageQueue, taken by DataRec's tick, dispatched and handled into the models, on
// a board of 10,013 channels. First the monitor's logic alone (the figure with the target), then the
// program with its main window and views, the event loop painting between the ticks.
// Run: QT_QPA_PLATFORM=offscreen build-bench/bench/bench_processing [messages]

#include "alarms/AlarmList.h"
#include "app/Monitor.h"
#include "board/BoardModel.h"
#include "board/BoardView.h"
#include "messages/MessageIntake.h"
#include "operator/MainWindow.h"
#include "support/BenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <functional>

using namespace corvane;
using namespace corvane::bench;

namespace {

constexpr double kTarget = 1000000;

void modelsOnly(const QStringList& mix) {
    Services services;
    MonitorConfig config;
    Monitor monitor(config, services.platform, QStringLiteral("BENCH"));
    // As the load step does, before the first report.
    monitor.board().placeCell(1, 8, 1);
    feedThroughQueue(monitor, boardDescription());
    completeBoard(monitor);
    // A first pass warms the caches and the allocator, as a running monitor's are.
    feedThroughQueue(monitor, mix.mid(0, mix.size() / 10));

    QElapsedTimer wall;
    wall.start();
    const double cpuStart = cpuSeconds();
    const qint64 taken = feedThroughQueue(monitor, mix);
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpuStart;
    const double rate = static_cast<double>(taken) / seconds;
    figure(QStringLiteral("Processing: engine message mix through queue, tick, dispatch, handlers, models"),
           QStringLiteral("%1 msg/s").arg(grouped(rate)), QStringLiteral(">= 1,000,000 msg/s"),
           rate >= kTarget);
    note(QStringLiteral("models only: %1 messages in %2 s wall, %3 s processor (%4 msg/s of processor time); "
                        "board %5 cells, alarm list %6 lines (MAX_ALARMS %7)")
             .arg(taken)
             .arg(seconds, 0, 'f', 3)
             .arg(cpu, 0, 'f', 3)
             .arg(grouped(static_cast<double>(taken) / cpu))
             .arg(monitor.board().cells().size() - 1)
             .arg(monitor.alarms().count())
             .arg(monitor.ui().element(Element::MaxListCount).caption));
}

// Counts the paint events of one widget.
class PaintCounter final : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

void withViews(const QStringList& mix) {
    Program program({QStringLiteral("TITLE, \"Bench\""), QStringLiteral("GROUP_COLOR, 3")});
    if (!program.started()) {
        note(QStringLiteral("with views: the program did not start"));
        return;
    }
    Monitor& monitor = program.monitor();
    feedThroughQueue(monitor, boardDescription());
    completeBoard(monitor);
    auto* board = qobject_cast<BoardView*>(program.window().elementWidget(Element::Picture1));
    PaintCounter counter;
    if (board)
        board->canvas()->installEventFilter(&counter);

    // The producer keeps the ring full the way the TCP link does: refilled whenever it is half empty.
    const qsizetype n = mix.size();
    qsizetype next = 0;
    std::function<void()> refill = [&] {
        while (next < n && !monitor.queue().isFull()) {
            const QString& m = mix[next++];
            monitor.queue().store(QString(m.constData(), m.size()));
        }
        if (next < n)
            monitor.queue().notifyWhenRoom(refill);
    };
    const qint64 before = monitor.intake().processedCount();
    QElapsedTimer wall;
    wall.start();
    const double cpuStart = cpuSeconds();
    refill();
    QEventLoop loop;
    QTimer look;
    look.setInterval(5);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (monitor.intake().processedCount() - before >= n || wall.elapsed() > 120000)
            loop.quit();
    });
    look.start();
    loop.exec();
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpuStart;
    const qint64 taken = monitor.intake().processedCount() - before;
    const double rate = static_cast<double>(taken) / seconds;
    monitor.queue().cancelNotify();
    figure(QStringLiteral("Processing with the main window and views (event loop and painting, offscreen)"),
           QStringLiteral("%1 msg/s").arg(grouped(rate)));
    note(QStringLiteral("with views: %1 messages in %2 s wall, %3 s processor, %4 board repaints")
             .arg(taken)
             .arg(seconds, 0, 'f', 3)
             .arg(cpu, 0, 'f', 3)
             .arg(counter.paints));
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    const QStringList mix = trafficMix(count, 7);
    note(QStringLiteral("mix of %1 messages: %2").arg(count).arg(mixDescription(mix)));
    modelsOnly(mix);
    withViews(mix);
    return 0;
}
