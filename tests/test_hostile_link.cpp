// Hostile traffic from the simulated engine over TCP (the datagram flood is test_hostile_flood's): no
// crash, buffers within their caps, memory within a generous bound, and a monitor that works afterwards.

#include "alarms/AlarmList.h"
#include "app/Monitor.h"
#include "link/EngineLink.h"
#include "messages/MessageIntake.h"
#include "support/LiveMonitor.h"
#include "support/TestMonitor.h"
#include "watchdogs/RelayWatchdog.h"
#include "windows/ChatModel.h"

#include <QRegularExpression>
#include <QTest>

using namespace corvane;
using corvane::test::EngineSimProcess;
using corvane::test::LiveMonitor;
using corvane::test::statusKb;

namespace {

// Well-formed plus garbage messages the engine has written to the open TCP connection; -1 when
// there is none.
qint64 sentOnOpenConnection(EngineSimProcess& sim) {
    static const QRegularExpression counts(
        QStringLiteral("^# tcp sent .* messages=(\\d+) garbage=(\\d+) oversized=\\d+ closed-by=open$"));
    const qsizetype mark = sim.lines().size();
    const auto at = sim.control(QStringLiteral("counts")) ? sim.waitForLine(counts, 0, mark) : std::nullopt;
    if (!at)
        return -1;
    const auto m = counts.match(sim.lines().at(*at));
    return m.captured(1).toLongLong() + m.captured(2).toLongLong();
}

} // namespace

class TestHostileLink : public QObject {
    Q_OBJECT
private slots:
    void megabytesWithoutSeparatorOverTcp() {
        LiveMonitor rig;
        QVERIFY(rig.start(false));
        QVERIFY(rig.paints(1, 2));
        const qint64 rssBefore = statusKb("VmRSS");
        std::int64_t discarded = 0;
        for (const int size : {1048576, 5000000}) {
            const qsizetype mark = rig.sim.lines().size();
            QVERIFY(rig.sim.control(QStringLiteral("oversize %1").arg(size)));
            // The overlong message is discarded, and the failed arrival asks the engine for everything
            // again on a new connection.
            ++discarded;
            QTRY_COMPARE_WITH_TIMEOUT(rig.monitor->link()->discardedCount(), discarded, 20000);
            QVERIFY(rig.sim.waitForCommand(QStringLiteral("UUUUU"), 20000, mark));
            QVERIFY(rig.sim.lines().indexOf(QRegularExpression(QStringLiteral("# tcp connect .*")), mark) >=
                    0);
            QVERIFY2(statusKb("VmRSS") - rssBefore < 64 * 1024,
                     qPrintable(QStringLiteral("grew %1 kB").arg(statusKb("VmRSS") - rssBefore)));
            QVERIFY(rig.paints(9 + static_cast<int>(discarded), 4));
        }
    }

    void thousandsOfMalformedMessagesOverTcp() {
        LiveMonitor rig;
        QVERIFY(rig.start(false));
        QVERIFY(rig.paints(1, 2));
        constexpr int kGarbage = 20000;
        QVERIFY(rig.sim.control(QStringLiteral("garbage %1").arg(kGarbage)));
        // Over TCP every one of them is taken and handled, as is everything else the engine sent on
        // this connection: none is lost, none is split.
        QTRY_VERIFY_WITH_TIMEOUT(rig.monitor->intake().processedCount() == sentOnOpenConnection(rig.sim),
                                 40000);
        QVERIFY(rig.monitor->intake().processedCount() > kGarbage);
        QCOMPARE(rig.monitor->link()->discardedCount(), 0);
        QVERIFY(rig.monitor->alarms().count() <= 201);
        QVERIFY(rig.monitor->chat().received().size() <= ChatModel::kMaxReceived);
        QVERIFY(rig.paints(12, 5));
    }

    void unansweredPingsOverTcpAreRecoveredFrom() {
        // After a ping time-out the monitor reconnects and pings again; over TCP that ping must wait
        // for the new connection, or it is lost and every later tick reconnects once more, for ever.
        EngineSimProcess sim;
        QVERIFY(sim.start({"--spans", "1", "--heartbeat-ms", "0", "--clock-ms", "0"}));
        MonitorConfig config;
        config.useUdp = false;
        config.engineAddress = QStringLiteral("127.0.0.1");
        config.enginePort = static_cast<std::int16_t>(sim.tcpPort());
        test::TestMonitor t(config);
        Monitor& m = t.monitor;
        m.load();
        // The monitor's time moves on in small steps, the sockets run between them.
        const auto run = [&](qint64 ms, const std::function<bool()>& until) {
            for (qint64 done = 0; done < ms; done += 20) {
                QTest::qWait(1);
                t.services.clock.advance(20);
                if (until())
                    return true;
            }
            return false;
        };
        QVERIFY(run(60000, [&] { return m.relay().boardReady(); }));
        QVERIFY(sim.control(QStringLiteral("mute-pings 600000")));
        QVERIFY(run(120000, [&] { return m.relay().relayDown(); }));
        const qsizetype mark = sim.lines().size();
        QVERIFY(sim.control(QStringLiteral("mute-pings 0")));
        QVERIFY(run(120000, [&] { return !m.relay().relayDown(); }));
        // Pinging goes on without reconnecting.
        const qsizetype settled = sim.lines().size();
        static_cast<void>(run(60000, [] { return false; }));
        QVERIFY(sim.lines().indexOf(QRegularExpression(QStringLiteral("# tcp connect .*")), settled) < 0);
        QVERIFY(!m.relay().relayDown());
        QVERIFY(sim.commands(mark).size() > 2);
    }
};

QTEST_MAIN(TestHostileLink)
#include "test_hostile_link.moc"
