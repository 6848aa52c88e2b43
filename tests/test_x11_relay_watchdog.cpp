// The relay watchdog end to end on a real X server: a stand-in relay window, the simulated engine
// over real UDP sockets, and the monitor's own X11 window search. When the engine stops answering
// pings, the process that owns the window titled CHK_UDP is killed and the alarm list says so.

#include "alarms/AlarmList.h"
#include "support/EngineSimProcess.h"
#include "support/HeadlessProgram.h"
#include "support/TestMonitor.h"
#include "watchdogs/RelayWatchdog.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
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

    bool start(const QString& relayTitle) {
        if (!sim.start({"--spans", "1", "--heartbeat-ms", "0", "--clock-ms", "0"}))
            return false;
        MonitorConfig config;
        config.useUdp = true;
        config.engineAddress = QStringLiteral("127.0.0.1");
        config.enginePort = static_cast<std::int16_t>(sim.udpPort());
        config.monitorPort = 0;
        config.relayWindowTitle = relayTitle;
        config.present.relayWindowTitle = true;
        t = std::make_unique<TestMonitor>(config);
        t->monitor.load();
        return true;
    }
    Monitor& monitor() { return t->monitor; }
    ManualClock& clock() { return t->services.clock; }
    bool run(qint64 ms, const std::function<bool()>& until, qint64 stepMs = 50) {
        for (qint64 done = 0; done < ms; done += stepMs) {
            QTest::qWait(1);
            clock().advance(stepMs);
            if (until())
                return true;
        }
        return until();
    }
    // Completes the board, sees the engine answer a few pings, then silences it.
    bool silenceAfterStartUp() {
        if (!run(
                60000, [&] { return monitor().relay().boardReady(); }, kStartUpStepMs))
            return false;
        if (run(60000, [&] { return monitor().relay().relayDown(); }))
            return false;
        return sim.control(QStringLiteral("pings off"));
    }
    QStringList relayLines() const { return t->monitor.alarms().lines().filter(QStringLiteral("UDPRelay")); }
};

QString uniqueTitle() {
    return QStringLiteral("UDPRelay ") + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
}

// The stand-in relay: its window titled `title` is up once it says "ready".
bool startRelayWindow(QProcess& relay, const QString& title) {
    relay.start(QStringLiteral(CORVANE_RELAY_WINDOW), {title, QStringLiteral("--no-pid")});
    return relay.waitForStarted(10000) && relay.waitForReadyRead(10000) &&
           relay.readLine().startsWith("ready ");
}

} // namespace

class X11RelayWatchdogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs an X server in DISPLAY"); }

    void aSilentRelayIsKilled() {
        const QString title = uniqueTitle();
        QProcess relay;
        QVERIFY(startRelayWindow(relay, title));

        Rig rig;
        QVERIFY(rig.start(title));
        QVERIFY(rig.silenceAfterStartUp());
        QVERIFY(rig.relayLines().isEmpty());
        QCOMPARE(relay.state(), QProcess::Running);

        const qsizetype mark = rig.sim.lines().size();
        QVERIFY(rig.run(120000, [&] { return !rig.relayLines().isEmpty(); }));
        QVERIFY(rig.monitor().relay().relayDown());
        QVERIFY(rig.relayLines().first().endsWith(QStringLiteral("---UDPRelay terminated")));
        QCOMPARE(rig.monitor().ui().element(Element::LastAlarm).caption, rig.relayLines().first());
        QVERIFY(rig.t->services.tones.tones.contains(qMakePair(620, 250)));
        QVERIFY(relay.waitForFinished(10000));
        QCOMPARE(relay.exitStatus(), QProcess::CrashExit);

        // A second later the engine is asked for its description again, names included.
        rig.run(1500, [] { return false; });
        QVERIFY(rig.sim.waitForCommand(QStringLiteral("DDDDD"), 10000, mark));

        // The relay stays away: the next time-out, no sooner than a minute on, finds nothing to kill.
        const qint64 killedAt = rig.clock().tickMs();
        QVERIFY(rig.run(120000, [&] { return rig.relayLines().size() == 2; }));
        QVERIFY(rig.clock().tickMs() - killedAt >= 60000);
        QVERIFY(rig.relayLines().last().endsWith(QStringLiteral("---Could not Find UDPRelay to terminate")));
        // The beep told of the kill only.
        QCOMPARE(rig.t->services.tones.tones.count(qMakePair(620, 250)), 1);
    }

    // The real program watching without a window: it kills the silent relay where it can reach the X
    // display, and says it found nothing where it has none.
    void headlessWatch_data() {
        QTest::addColumn<bool>("display");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("display reachable") << true << QStringLiteral("UDPRelay terminated");
        QTest::newRow("no display") << false << QStringLiteral("Could not Find UDPRelay to terminate");
    }
    void headlessWatch() {
        QFETCH(bool, display);
        QFETCH(QString, outcome);
        const QString title = uniqueTitle();
        QProcess relay;
        QVERIFY(startRelayWindow(relay, title));
        EngineSimProcess sim;
        QVERIFY(sim.start({QStringLiteral("--spans"), QStringLiteral("1"), QStringLiteral("--no-pings")}));
        QTemporaryDir dir;
        QFile ini(dir.filePath(QStringLiteral("watch.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        // WATCHDOG_TO 3: once the board is complete the relay is pinged every 0.3 s, 1 s allowed.
        ini.write("TCP, 1\r\nENG_LOC_IP, \"127.0.0.1\"\r\nENG_LOC_PORT, " +
                  QByteArray::number(sim.tcpPort()) + "\r\nWATCHDOG_TO, 3\r\nCHK_UDP, \"" + title.toLatin1() +
                  "\"\r\n");
        ini.close();

        HeadlessProgram program;
        program.start({QStringLiteral("--headless"), ini.fileName()}, display);
        QVERIFY2(program.waitForLine(HeadlessProgram::alarmLine(outcome), 60000),
                 qPrintable(program.errors()));
        if (display) {
            // The wait for the line may have seen it end already.
            QTRY_VERIFY_WITH_TIMEOUT(relay.state() == QProcess::NotRunning, 10000);
            QCOMPARE(relay.exitStatus(), QProcess::CrashExit);
        } else {
            QCOMPARE(relay.state(), QProcess::Running);
            relay.kill();
            relay.waitForFinished(5000);
        }
        program.terminate();
        QVERIFY(program.waitForExit());
        QCOMPARE(program.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(X11RelayWatchdogTest)
#include "test_x11_relay_watchdog.moc"
