// Finding the relay's window on a real X server and killing its owner. Each case starts the stand-in
// relay (a bare xcb window) with a title of its own, so cases do not see each other's windows.

#include "platform/X11Windows.h"

#include <QProcess>
#include <QUuid>
#include <QtTest>

#include <memory>

using namespace corvane;

namespace {

QString uniqueTitle(const QString& stem) {
    return stem + u' ' + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
}

struct RelayWindow {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    std::uint32_t window = 0;

    bool start(const QString& title, const QStringList& options = {}) {
        process->setProgram(QStringLiteral(CORVANE_RELAY_WINDOW));
        process->setArguments(QStringList{title} + options);
        process->start();
        if (!process->waitForStarted(10000))
            return false;
        while (!process->canReadLine())
            if (!process->waitForReadyRead(10000))
                return false;
        const QByteArray line = process->readLine().trimmed();
        if (!line.startsWith("ready "))
            return false;
        window = line.mid(6).toUInt();
        return window != 0;
    }
    qint64 pid() const { return process->processId(); }
    ~RelayWindow() {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
};

} // namespace

class X11RelayWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs an X server in DISPLAY"); }

    void findsTheWindowAndItsDeclaredOwner() {
        RelayWindow relay;
        const QString title = uniqueTitle(QStringLiteral("UDPRelay"));
        QVERIFY(relay.start(title));
        const auto found = x11::findTopLevelWindow(title);
        QVERIFY(found);
        QCOMPARE(found->window, relay.window);
        QVERIFY(found->pid);
        QCOMPARE(*found->pid, relay.pid());
    }

    // Most X programs never set _NET_WM_PID; the server still knows who owns the window.
    void ownerWithoutThePidPropertyComesFromTheServer() {
        RelayWindow relay;
        const QString title = uniqueTitle(QStringLiteral("Relay no pid"));
        QVERIFY(relay.start(title, {QStringLiteral("--no-pid"), QStringLiteral("--no-net-name")}));
        const auto found = x11::findTopLevelWindow(title);
        QVERIFY(found);
        QCOMPARE(found->window, relay.window);
        QVERIFY(found->pid);
        QCOMPARE(*found->pid, relay.pid());
    }

    void onlyTheExactTitleMatches() {
        RelayWindow relay;
        const QString title = uniqueTitle(QStringLiteral("UDPRelay"));
        QVERIFY(relay.start(title));
        QVERIFY(!x11::findTopLevelWindow(title.left(title.size() - 1)));
        QVERIFY(!x11::findTopLevelWindow(title + u' '));
        QVERIFY(!x11::findTopLevelWindow(title.toLower()));
        QVERIFY(!x11::findTopLevelWindow(QString()));
        QVERIFY(x11::findTopLevelWindow(title));
    }

    void terminationKillsTheOwnerHard() {
        RelayWindow relay;
        const QString title = uniqueTitle(QStringLiteral("UDPRelay"));
        QVERIFY(relay.start(title, {QStringLiteral("--no-pid")}));
        x11::X11RelayTerminator terminator;
        QCOMPARE(terminator.terminateWindowOwner(title), RelayTermination::Terminated);
        QVERIFY(relay.process->waitForFinished(10000));
        QCOMPARE(relay.process->exitStatus(), QProcess::CrashExit);
        // Its window went with its connection.
        QTRY_VERIFY_WITH_TIMEOUT(!x11::findTopLevelWindow(title), 10000);
        QCOMPARE(terminator.terminateWindowOwner(title), RelayTermination::NotFound);
    }

    // A window of a program on another machine (ssh -X): neither its declared pid nor the local end of
    // its connection is a process of ours to kill.
    void aRemoteProgramIsNotKilled() {
        RelayWindow relay;
        const QString title = uniqueTitle(QStringLiteral("UDPRelay"));
        QVERIFY(relay.start(title, {QStringLiteral("--machine"), QStringLiteral("elsewhere.invalid")}));
        const auto found = x11::findTopLevelWindow(title);
        QVERIFY(found);
        QVERIFY(!found->pid);
        x11::X11RelayTerminator terminator;
        QCOMPARE(terminator.terminateWindowOwner(title), RelayTermination::Refused);
        QVERIFY(!relay.process->waitForFinished(300));
        QCOMPARE(relay.process->state(), QProcess::Running);
    }

    void noDisplayFindsNothing() {
        RelayWindow relay;
        const QString title = uniqueTitle(QStringLiteral("UDPRelay"));
        QVERIFY(relay.start(title));
        x11::X11RelayTerminator terminator(QByteArrayLiteral(":4999"));
        QCOMPARE(terminator.terminateWindowOwner(title), RelayTermination::NotFound);
        QCOMPARE(relay.process->state(), QProcess::Running);
    }

    void processGroupsAndThisProgramAreNeverKilled() {
        QVERIFY(!x11::killProcess(0));
        QVERIFY(!x11::killProcess(-1));
        QVERIFY(!x11::killProcess(1));
        QVERIFY(!x11::killProcess(QCoreApplication::applicationPid()));
    }
};

QTEST_GUILESS_MAIN(X11RelayWindowTest)
#include "test_x11_relay_window.moc"
