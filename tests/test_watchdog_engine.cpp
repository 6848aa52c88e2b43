// Board completion and the relay watchdog against the simulated engine over real UDP sockets. The
// monitor's time is a manual clock that the test moves on while the event loop carries the datagrams,
// so minutes of watchdog time pass in seconds.

#include "alarms/AlarmList.h"
#include "board/BoardModel.h"
#include "support/EngineSimProcess.h"
#include "support/TestMonitor.h"
#include "watchdogs/RelayWatchdog.h"

#include <QSignalSpy>
#include <QtTest>

#include <functional>

using namespace corvane;
using namespace corvane::test;

namespace {

// During start-up the monitor's time moves in small steps, so that it cannot run far ahead of the
// engine's answers on a busy machine and complete the board before the reports have arrived.
constexpr qint64 kStartUpStepMs = 10;

struct Rig {
    EngineSimProcess sim;
    std::unique_ptr<TestMonitor> t;

    bool start(const QStringList& simArgs) {
        if (!sim.start(simArgs))
            return false;
        MonitorConfig config;
        config.useUdp = true;
        config.engineAddress = QStringLiteral("127.0.0.1");
        config.enginePort = static_cast<std::int16_t>(sim.udpPort());
        config.monitorPort = 0;
        t = std::make_unique<TestMonitor>(config);
        t->monitor.load();
        return true;
    }
    Monitor& monitor() { return t->monitor; }
    ManualClock& clock() { return t->services.clock; }
    // Moves the monitor's time on in steps, letting datagrams come and go between steps, until `until`
    // holds or the time is up. Returns whether it held.
    bool run(qint64 ms, const std::function<bool()>& until = {}, qint64 stepMs = 50) {
        for (qint64 done = 0; done < ms; done += stepMs) {
            QTest::qWait(1);
            clock().advance(stepMs);
            if (until && until())
                return true;
        }
        return until ? until() : true;
    }
    QStringList commandTexts(qsizetype from = 0) const {
        QStringList out;
        for (const SimCommand& c : sim.commands(from))
            out << c.text;
        return out;
    }
};

} // namespace

class WatchdogEngineTest : public QObject {
    Q_OBJECT
private slots:
    void theBoardCompletesWhenTheReportsStop() {
        Rig rig;
        QVERIFY(rig.start({"--spans", "3", "--heartbeat-ms", "0", "--clock-ms", "0"}));
        Monitor& m = rig.monitor();
        QSignalSpy raised(&m.ui(), &MainWindowModel::raiseRequested);

        // Remember when the last cell came and when the board was completed, in the monitor's time.
        qint64 lastCellAt = -1;
        int lastBuilt = m.board().lastBuiltIndex();
        const bool completed = rig.run(
            60000,
            [&] {
                if (m.board().lastBuiltIndex() != lastBuilt) {
                    lastBuilt = m.board().lastBuiltIndex();
                    lastCellAt = rig.clock().tickMs();
                }
                return m.relay().boardReady();
            },
            kStartUpStepMs);
        QVERIFY(completed);
        const qint64 completedAt = rig.clock().tickMs();
        QVERIFY(m.relay().startupDone());
        QCOMPARE(static_cast<int>(m.board().cells().size()), 1 + 3 * 24);
        // Completion came at the first tick a whole tick after the last new cell: never sooner, never
        // a tick later.
        QVERIFY(lastCellAt > 0);
        QVERIFY(completedAt - lastCellAt >= 5000);
        QVERIFY(completedAt - lastCellAt < 10000 + 100);
        QCOMPARE(completedAt % 5000, 0);
        QCOMPARE(raised.count(), 1);
        const ChannelCell* lowest = m.board().cell(m.board().highestBuiltIndex());
        QVERIFY(lowest);
        QCOMPARE(m.board().highestBuiltIndex(), 324);
        QCOMPARE(m.ui().clientSize().height(), lowest->back.bottom() + 1 + 3000);

        // The first ping and the description request reach the engine after the refresh's own.
        const QStringList sent = rig.commandTexts();
        const qsizetype uuuuu = sent.indexOf(QStringLiteral("UUUUU"));
        QVERIFY(uuuuu >= 0);
        QTRY_VERIFY(rig.commandTexts().mid(uuuuu + 1).size() >= 2);
        QCOMPARE(rig.commandTexts().mid(uuuuu + 1, 2),
                 (QStringList{QStringLiteral("W"), QStringLiteral("SSSSS")}));
    }

    void theRelayWatchdogNoticesUnansweredPings() {
        Rig rig;
        QVERIFY(rig.start({"--spans", "1", "--heartbeat-ms", "0", "--clock-ms", "0"}));
        Monitor& m = rig.monitor();
        QVERIFY(rig.run(
            60000, [&] { return m.relay().boardReady(); }, kStartUpStepMs));

        // The engine answers: minutes of pings and no outage.
        QVERIFY(!rig.run(120000, [&] { return m.relay().relayDown(); }));
        const qsizetype pingsBefore = rig.commandTexts().count(QStringLiteral("W"));
        QVERIFY(pingsBefore >= 8);

        QVERIFY(rig.sim.control(QStringLiteral("pings off")));
        const qsizetype mark = rig.sim.lines().size();
        const qint64 silentFrom = rig.clock().tickMs();
        QVERIFY(rig.run(120000, [&] { return m.relay().relayDown(); }));
        // The deadline is 50 s after the last answered ping, seen at the next 15-second tick.
        QVERIFY(rig.clock().tickMs() - silentFrom <= 50000 + 15000 + 15000);
        QCOMPARE(m.ui().element(Element::AckLbl).caption, QStringLiteral("W"));
        QCOMPARE(m.ui().element(Element::AckLbl).back, std::optional<LegacyColor>(kRed));
        // ReConnect says hello again, then the ping goes out once more.
        QVERIFY(rig.sim.waitForCommand(QStringLiteral("$TESTBOX"), 10000, mark));
        QVERIFY(rig.sim.waitForCommand(QStringLiteral("W"), 10000, mark));

        // The engine answers again: the relay is back.
        QVERIFY(rig.sim.control(QStringLiteral("pings on")));
        QVERIFY(rig.run(60000, [&] { return !m.relay().relayDown(); }));
    }
};

QTEST_GUILESS_MAIN(WatchdogEngineTest)
#include "test_watchdog_engine.moc"
