// Resident memory of the program as it runs (offscreen, main window and views shown) with a board of
// 10,013 channels built and completed and the alarm list full: MAX_ALARMS at the largest value that
// still limits the list (32767, the largest 16-bit number), and more alarms than that processed.
// Run: QT_QPA_PLATFORM=offscreen build-bench/bench/bench_memory

#include "alarms/AlarmList.h"
#include "app/Monitor.h"
#include "board/BoardModel.h"
#include "support/BenchSupport.h"
#include "support/LiveMonitor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

using namespace corvane;
using namespace corvane::bench;
using corvane::test::statusKb;

namespace {

constexpr long kTargetKb = 150 * 1024;

// Lets the window lay out and paint what changed.
void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QString mb(long kb) {
    return QString::number(static_cast<double>(kb) / 1024.0, 'f', 1) + QStringLiteral(" MB");
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long atStart = statusKb("VmRSS");
    Program program({QStringLiteral("TITLE, \"Bench\""), QStringLiteral("MAX_ALARMS, 32767"),
                     QStringLiteral("GROUP_COLOR, 3"), QStringLiteral("WD_PROGRESS, 1")});
    if (!program.started()) {
        note(QStringLiteral("the program did not start"));
        return 1;
    }
    Monitor& monitor = program.monitor();
    settle(200);
    const long started = statusKb("VmRSS");

    feedThroughQueue(monitor, boardDescription());
    completeBoard(monitor);
    feedThroughQueue(monitor, trafficMix(20000, 5));
    settle(200);
    const long withBoard = statusKb("VmRSS");

    // Alarms as the engine words them, with the numbers varying so no two lines share their text.
    QStringList alarms;
    const int count = 40000;
    alarms.reserve(count);
    for (int i = 0; i < count; ++i)
        alarms << (i % 2 ? QStringLiteral("ASpan %1 red alarm").arg(i % kSpans + 1)
                         : QStringLiteral("ATrunk %1 down, event %2").arg(i % 32000 + 101).arg(i));
    feedThroughQueue(monitor, alarms);
    settle(300);
    const long full = statusKb("VmRSS");
    const long peak = statusKb("VmHWM");

    figure(QStringLiteral("Resident memory: %1-cell board, alarm list full (%2 lines), views shown")
               .arg(grouped(static_cast<double>(monitor.board().cells().size() - 1)))
               .arg(grouped(monitor.alarms().count())),
           QStringLiteral("%1 (peak %2)").arg(mb(full), mb(peak)), QStringLiteral("<= 150 MB"),
           full <= kTargetKb && peak <= kTargetKb);
    note(QStringLiteral("VmRSS: %1 with Qt started, %2 with the main window shown, %3 with the board built, "
                        "%4 with the alarm list full")
             .arg(mb(atStart), mb(started), mb(withBoard), mb(full)));
    return 0;
}
