// Board figures: "t" reports per second through the dispatcher on a board of 10,000 channels, the
// time to paint the board, and the process memory with that board built.
// Run: QT_QPA_PLATFORM=offscreen ./bench/bench_board

#include "app/Monitor.h"
#include "board/BoardModel.h"
#include "board/BoardView.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Launcher.h"
#include "platform/Tones.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

using namespace corvane;

namespace {
class SilentTones final : public ToneOutput {
public:
    void play(int, int) override {}
};

long rssKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

constexpr int kSpans = 323;
constexpr int kPerSpan = 31;
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    SystemClock clock;
    QtDialogs dialogs;
    DesktopLauncher launcher;
    SilentTones tones;
    Platform platform{clock, dialogs, launcher, tones};
    MonitorConfig config;
    Monitor monitor(config, platform, QStringLiteral("bench"));
    BoardModel& board = *monitor.board;
    board.placeCell(1, 8, 1);

    const long rssBefore = rssKb();
    QElapsedTimer build;
    build.start();
    std::vector<int> ids;
    for (int s = 1; s <= kSpans; ++s)
        for (int p = 1; p <= kPerSpan; ++p) {
            const int id = s * 100 + p;
            ids.push_back(id);
            monitor.dispatcher.dispatch(
                QStringLiteral("t%1,%2,%3,0").arg(id).arg(s % 20 + 1).arg(p % 2 ? 2 : 10));
        }
    const double buildMs = static_cast<double>(build.nsecsElapsed()) / 1e6;
    const long rssAfter = rssKb();
    std::printf("board: %zu cells (%d spans of %d) built in %.1f ms\n", board.cells().size() - 1, kSpans,
                kPerSpan, buildMs);
    std::printf("memory: VmRSS %ld kB before, %ld kB after building (+%ld kB)\n", rssBefore, rssAfter,
                rssAfter - rssBefore);

    // Reports over existing channels: states, groups and peers vary, half of them connected.
    std::mt19937 rng(7);
    std::vector<QString> messages;
    messages.reserve(20000);
    for (int i = 0; i < 20000; ++i) {
        const int id = ids[rng() % ids.size()];
        const int peer = (rng() % 2) ? ids[rng() % ids.size()] : 0;
        messages.push_back(QStringLiteral("t%1,%2,%3,%4").arg(id).arg(rng() % 20).arg(rng() % 31).arg(peer));
    }
    const int rounds = 100;
    QElapsedTimer t;
    t.start();
    const std::clock_t cpuStart = std::clock();
    for (int r = 0; r < rounds; ++r)
        for (const QString& m : messages)
            monitor.dispatcher.dispatch(m);
    const double seconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
    // On a shared machine the processor time says more than the wall clock.
    const double cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double count = static_cast<double>(rounds) * static_cast<double>(messages.size());
    std::printf("t reports: %.0f per second through dispatch and PaintChannel (%.0f in %.3f s wall); "
                "%.0f per second of processor time\n",
                count / seconds, count, seconds, count / cpuSeconds);

    // The same with the view attached: each report also queues a repaint of its cells.
    BoardView view(board);
    view.resize(1280, 800);
    view.show();
    app.processEvents();
    t.restart();
    for (const QString& m : messages)
        monitor.dispatcher.dispatch(m);
    const double viewSeconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
    std::printf("t reports with the view attached: %.0f per second\n",
                static_cast<double>(messages.size()) / viewSeconds);
    app.processEvents();

    BoardCanvas* canvas = view.canvas();
    const QRect viewport(QPoint(0, 0), view.viewport()->size());
    QImage image(viewport.size(), QImage::Format_ARGB32_Premultiplied);
    const int paints = 50;
    t.restart();
    for (int i = 0; i < paints; ++i) {
        QPainter p(&image);
        canvas->paintBoard(p, viewport);
    }
    std::printf("paint of the visible board (%dx%d px): %.2f ms\n", viewport.width(), viewport.height(),
                static_cast<double>(t.nsecsElapsed()) / 1e6 / paints);

    const QRect whole(QPoint(0, 0), canvas->size());
    QImage big(whole.size(), QImage::Format_ARGB32_Premultiplied);
    t.restart();
    {
        QPainter p(&big);
        canvas->paintBoard(p, whole);
    }
    std::printf("paint of the whole board (%dx%d px, every cell): %.2f ms\n", whole.width(), whole.height(),
                static_cast<double>(t.nsecsElapsed()) / 1e6);

    const ChannelCell* one = board.cell(1605);
    const QRect cellRect = BoardCanvas::toPixels(one->bounds()).adjusted(-2, -2, 2, 2);
    const int cellPaints = 2000;
    t.restart();
    for (int i = 0; i < cellPaints; ++i) {
        QPainter p(&image);
        p.setClipRect(cellRect);
        canvas->paintBoard(p, cellRect);
    }
    std::printf("paint after one cell changes (%dx%d px): %.3f ms\n", cellRect.width(), cellRect.height(),
                static_cast<double>(t.nsecsElapsed()) / 1e6 / cellPaints);

    // Through the widget: a report, then the repaint of what it changed.
    t.restart();
    for (int i = 0; i < 200; ++i) {
        monitor.dispatcher.dispatch(QStringLiteral("t1605,3,%1,0").arg(i % 8));
        canvas->repaint(cellRect);
    }
    std::printf("report and widget repaint of one cell: %.3f ms\n",
                static_cast<double>(t.nsecsElapsed()) / 1e6 / 200);
    return 0;
}
