// The relay watchdog end to end on a real X server: the real program, a stand-in relay window and the
// simulated engine. When the engine stops answering pings, the process that owns the window titled
// CHK_UDP is killed and the alarm says so.

#include "support/EngineSimProcess.h"
#include "support/HeadlessProgram.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

using namespace corvane::test;

namespace {

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
