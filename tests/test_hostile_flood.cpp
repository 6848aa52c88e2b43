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
#include "support/EngineSimProcess.h"
#include "support/ScriptedDialogs.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

using namespace corvane;
using corvane::test::EngineSimProcess;

namespace {

// The resident memory of this process, in kB.
qint64 residentKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    static const QRegularExpression rss(QStringLiteral("^VmRSS:\\s+(\\d+)"),
                                        QRegularExpression::MultilineOption);
    const auto m = rss.match(QString::fromLatin1(f.readAll()));
    return m.hasMatch() ? m.captured(1).toLongLong() : 0;
}

struct RealPlatform {
    SystemClock clock;
    test::ScriptedDialogs dialogs;
    test::RecordingLauncher launcher;
    test::RecordingTones tones;
    Platform platform{clock, dialogs, launcher, tones};
};

// A real monitor on the system clock, linked to the engine.
struct Rig {
    EngineSimProcess sim;
    MonitorConfig config;
    RealPlatform services;
    std::unique_ptr<Monitor> monitor;

    bool start(bool udp) {
        if (!sim.start({"--heartbeat-ms", "0", "--clock-ms", "0"}))
            return false;
        config.useUdp = udp;
        config.engineAddress = QStringLiteral("127.0.0.1");
        config.enginePort = static_cast<std::int16_t>(udp ? sim.udpPort() : sim.tcpPort());
        config.monitorPort = static_cast<std::int16_t>(EngineSimProcess::freeMonitorPort());
        monitor = std::make_unique<Monitor>(config, services.platform, QStringLiteral("HOSTILE"));
        monitor->load();
        // The refresh sequence ends with "UUUUU"; by then the engine knows this monitor.
        return sim.waitForCommand(QStringLiteral("UUUUU"), 20000).has_value();
    }

    // A normal report from the engine still paints its cell.
    bool paints(int state, int group) {
        const QString report = QStringLiteral("t305,%1,%2,1207").arg(group).arg(state);
        if (!sim.control(QStringLiteral("send ") + report))
            return false;
        return QTest::qWaitFor(
            [&] {
                const ChannelCell* c = monitor->board->cell(305);
                return c && c->group == group &&
                       c->stateColor == stateColor(static_cast<std::int16_t>(state)) && c->connected &&
                       c->peerNumber() == 1207;
            },
            20000);
    }
};

} // namespace

class TestHostileFlood : public QObject {
    Q_OBJECT
private slots:
    void millionDatagramFlood() {
        Rig rig;
        QVERIFY(rig.start(true));
        QVERIFY(rig.paints(1, 2));
        const qint64 rssBefore = residentKb();
        const qsizetype mark = rig.sim.lines().size();
        QVERIFY(rig.sim.control(QStringLiteral("blast 1000000")));
        // As fast as the engine can send: what the monitor cannot take is dropped and counted.
        int maxPending = 0;
        qint64 maxRss = rssBefore;
        QElapsedTimer took;
        took.start();
        const bool finished = QTest::qWaitFor(
            [&] {
                maxPending = std::max(maxPending, rig.monitor->queue.pendingCount());
                maxRss = std::max(maxRss, residentKb());
                return rig.sim.lines().indexOf(QRegularExpression(QStringLiteral("# blast finished .*")),
                                               mark) >= 0;
            },
            50000);
        qInfo("blast took %lld ms", took.elapsed());
        QVERIFY(finished);
        QTRY_VERIFY_WITH_TIMEOUT(rig.monitor->queue.isEmpty(), 20000);
        QVERIFY(maxPending <= MessageQueue::kCapacity);
        QVERIFY2(maxRss - rssBefore < 100 * 1024,
                 qPrintable(QStringLiteral("grew %1 kB").arg(maxRss - rssBefore)));
        const qint64 processed = rig.monitor->intake->processedCount();
        qInfo("processed %lld, dropped %lld, queue high-water %d, memory grew %lld kB", processed,
              static_cast<long long>(rig.monitor->queue.droppedCount()), maxPending, maxRss - rssBefore);
        QVERIFY(rig.monitor->alarms->count() <= 201);
        QVERIFY(rig.paints(9, 3));
    }
};

QTEST_MAIN(TestHostileFlood)
#include "test_hostile_flood.moc"
