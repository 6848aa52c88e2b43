// A flood of a million datagrams from the simulated engine, as fast as it can send them, at a monitor
// on a real UDP link: what the monitor cannot take is dropped, its ring never holds more than it can,
// its memory stays put, and afterwards a normal report still paints its cell.

#include "alarms/AlarmList.h"
#include "app/Monitor.h"
#include "board/BoardModel.h"
#include "board/Colors.h"
#include "link/EngineLink.h"
#include "link/MessageQueue.h"
#include "messages/MessageIntake.h"
#include "platform/Clock.h"
#include "support/LiveMonitor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

using namespace corvane;
using corvane::test::LiveMonitor;
using corvane::test::statusKb;

class TestHostileFlood : public QObject {
    Q_OBJECT
private slots:
    void millionDatagramFlood() {
        LiveMonitor rig;
        QVERIFY(rig.start(true));
        QVERIFY(rig.paints(1, 2));
        const long rssBefore = statusKb("VmRSS");
        const qsizetype mark = rig.sim.lines().size();
        QVERIFY(rig.sim.control(QStringLiteral("blast 1000000")));
        // As fast as the engine can send: what the monitor cannot take is dropped and counted.
        int maxPending = 0;
        long maxRss = rssBefore;
        QElapsedTimer took;
        took.start();
        const bool finished = QTest::qWaitFor(
            [&] {
                maxPending = std::max(maxPending, rig.monitor->queue.pendingCount());
                maxRss = std::max(maxRss, statusKb("VmRSS"));
                return rig.sim.lines().indexOf(QRegularExpression(QStringLiteral("# blast finished .*")),
                                               mark) >= 0;
            },
            50000);
        qInfo("blast took %lld ms", took.elapsed());
        QVERIFY(finished);
        // The ring empties now and then while the socket still holds thousands of datagrams; a report
        // sent into that full socket is lost like any other, so wait until the flood has drained.
        qint64 seen = -1;
        QElapsedTimer quiet;
        quiet.start();
        QVERIFY(QTest::qWaitFor(
            [&] {
                const qint64 now = rig.monitor->intake->processedCount();
                if (now != seen || !rig.monitor->queue.isEmpty()) {
                    seen = now;
                    quiet.restart();
                }
                return quiet.elapsed() >= 1000;
            },
            30000));
        QVERIFY(maxPending <= MessageQueue::kCapacity);
        QVERIFY2(maxRss - rssBefore < 100 * 1024,
                 qPrintable(QStringLiteral("grew %1 kB").arg(maxRss - rssBefore)));
        const qint64 processed = rig.monitor->intake->processedCount();
        qInfo("processed %lld, dropped %lld, queue high-water %d, memory grew %lld kB", processed,
              static_cast<long long>(rig.monitor->queue.droppedCount()), maxPending, static_cast<long long>(maxRss - rssBefore));
        QVERIFY(rig.monitor->alarms->count() <= 201);
        QVERIFY(rig.paints(9, 3));
    }
};

QTEST_MAIN(TestHostileFlood)
#include "test_hostile_flood.moc"
