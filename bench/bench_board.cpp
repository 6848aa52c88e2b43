// The board on screen: the real BoardView over a board of 10,013 channels built and completed from the
// engine's description. "Full repaint" is the whole canvas with every cell visible: the view is made
// as large as the board, so one paint event covers all 10,013 cells, their span labels and route lines.
// Then the repaint after one cell changes: a state report dispatched and the event loop running until
// the view has painted what it changed.
// Run: QT_QPA_PLATFORM=offscreen build-bench/bench/bench_board

#include "app/Monitor.h"
#include "board/BoardModel.h"
#include "board/BoardView.h"
#include "support/BenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <vector>

using namespace corvane;
using namespace corvane::bench;

namespace {

constexpr double kFullTargetMs = 10.0;

// Remembers the paint events of one widget and what they covered.
class PaintWatch final : public QObject {
public:
    int paints = 0;
    QRect lastRect;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            lastRect = static_cast<QPaintEvent*>(event)->rect();
        }
        return QObject::eventFilter(watched, event);
    }
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

double msSince(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Services services;
    MonitorConfig config;
    Monitor monitor(config, services.platform, QStringLiteral("BENCH"));
    BoardModel& board = *monitor.board;
    board.placeCell(1, 8, 1);
    feedThroughQueue(monitor, boardDescription());
    completeBoard(monitor);
    // Some traffic, so that markers, route lines and marks are on the board as in a live session.
    feedThroughQueue(monitor, trafficMix(20000, 3));
    const int cellCount = static_cast<int>(board.cells().size()) - 1;

    BoardView view(board);
    BoardCanvas* canvas = view.canvas();
    view.resize(canvas->minimumSize());
    view.show();
    QCoreApplication::processEvents();
    const QRect visible(-canvas->pos(), view.viewport()->size());
    const bool whole = visible.contains(canvas->rect());
    PaintWatch watch;
    canvas->installEventFilter(&watch);

    // Full repaint through the widget: paint event, painting into the backing store, flush.
    // On a shared machine the processor time says more than the wall clock; both are shown.
    std::vector<double> full;
    std::vector<double> fullCpu;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer t;
        t.start();
        const double cpu = cpuSeconds();
        canvas->repaint();
        full.push_back(msSince(t));
        fullCpu.push_back((cpuSeconds() - cpu) * 1e3);
    }
    const double fullMs = median(full);
    figure(QStringLiteral("Board view: full repaint, %1 cells all visible (%2x%3 px)")
               .arg(grouped(cellCount))
               .arg(canvas->width())
               .arg(canvas->height()),
           QStringLiteral("%1 ms (processor %2 ms)").arg(fullMs, 0, 'f', 2).arg(median(fullCpu), 0, 'f', 2),
           QStringLiteral("<= 10 ms"), whole && fullMs <= kFullTargetMs);
    if (!whole)
        note(QStringLiteral("the view did not show the whole canvas: %1x%2 of %3x%4 px")
                 .arg(visible.width())
                 .arg(visible.height())
                 .arg(canvas->width())
                 .arg(canvas->height()));
    note(QStringLiteral("full repaint: median of %1, fastest %2 ms, slowest %3 ms")
             .arg(full.size())
             .arg(*std::min_element(full.begin(), full.end()), 0, 'f', 2)
             .arg(*std::max_element(full.begin(), full.end()), 0, 'f', 2));

    // The painting alone, into an image of the same size.
    QImage image(canvas->size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> drawn;
    std::vector<double> drawnCpu;
    for (int i = 0; i < 11; ++i) {
        QElapsedTimer t;
        t.start();
        const double cpu = cpuSeconds();
        QPainter p(&image);
        canvas->paintBoard(p, canvas->rect());
        p.end();
        drawn.push_back(msSince(t));
        drawnCpu.push_back((cpuSeconds() - cpu) * 1e3);
    }
    note(QStringLiteral("painting the whole board into an image: %1 ms (processor %2 ms)")
             .arg(median(drawn), 0, 'f', 2)
             .arg(median(drawnCpu), 0, 'f', 2));
    // The painted board can be kept, to compare the painting before and after a change to it.
    if (const QString keep = qEnvironmentVariable("CORVANE_BENCH_BOARD_IMAGE"); !keep.isEmpty())
        image.save(keep);

    // One cell changes: a state report through the dispatcher, then the event loop until it is painted.
    const int id = 16105;
    std::vector<double> one;
    std::vector<double> oneCpu;
    int missed = 0;
    QRect painted;
    for (int i = 0; i < 201; ++i) {
        const int paintsBefore = watch.paints;
        QElapsedTimer t;
        t.start();
        const double cpu = cpuSeconds();
        monitor.dispatcher.dispatch(QStringLiteral("t%1,3,%2,0").arg(id).arg(i % 2 ? 10 : 12));
        while (watch.paints == paintsBefore && t.elapsed() < 1000)
            QCoreApplication::processEvents();
        if (watch.paints == paintsBefore) {
            ++missed;
        } else {
            one.push_back(msSince(t));
            oneCpu.push_back((cpuSeconds() - cpu) * 1e3);
        }
        painted = watch.lastRect;
    }
    figure(QStringLiteral("Board view: report and repaint after one cell changes"),
           QStringLiteral("%1 ms (processor %2 ms), %3x%4 px painted")
               .arg(median(one), 0, 'f', 3)
               .arg(median(oneCpu), 0, 'f', 3)
               .arg(painted.width())
               .arg(painted.height()));
    if (missed > 0)
        note(QStringLiteral("one cell: %1 reports were not followed by a paint within a second").arg(missed));
    return 0;
}
