// Finding the relay's window on a real X server and killing its owner, also from the real program with
// the simulated engine silent; each case's stand-in relay (a bare xcb window) has a title of its own.

#include "platform/X11Windows.h"
#include "support/EngineSimProcess.h"
#include "support/HeadlessProgram.h"

#include <xcb/xcb.h>

#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include <memory>
#include <unistd.h>

using namespace corvane;
using namespace corvane::test;

namespace {

QString uniqueTitle(const QString& stem) {
    return stem + u' ' + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
}

struct RelayWindow {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    std::uint32_t window = 0;

    // `runAs` puts a command such as setpriv in front of the stand-in, which then runs under its pid.
    bool start(const QString& title, const QStringList& options = {}, const QStringList& runAs = {}) {
        const QStringList command =
            runAs + QStringList{QStringLiteral(CORVANE_RELAY_WINDOW), title} + options;
        process->start(command.first(), command.mid(1));
        while (process->waitForStarted(10000) && !process->canReadLine())
            if (!process->waitForReadyRead(10000))
                break;
        const QByteArray line = process->readLine().trimmed();
        if (!line.startsWith("ready "))
            qWarning() << "relay window said" << line << process->readAllStandardError();
        window = line.mid(6).toUInt();
        return line.startsWith("ready ") && window != 0;
    }
    qint64 pid() const { return process->processId(); }
    ~RelayWindow() {
        process->kill();
        process->waitForFinished(5000);
    }
};

void removeRootProperty(const char* name) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (!xcb_connection_has_error(c)) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        xcb_intern_atom_reply_t* a = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 1, static_cast<std::uint16_t>(qstrlen(name)), name), nullptr);
        if (a && a->atom != XCB_ATOM_NONE)
            xcb_delete_property(c, screen->root, a->atom);
        std::free(a);
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    xcb_disconnect(c);
}

// Forwards a display of its own to the local one, as ssh -X does, and gives its name once it listens.
QByteArray startForwarder(QProcess& forwarder, QString& socketPath) {
    const QByteArray real = qgetenv("DISPLAY");
    const QString socketDir = QStringLiteral("/tmp/.X11-unix/X");
    int number = 600;
    while (QFile::exists(socketDir + QString::number(number)))
        ++number;
    socketPath = socketDir + QString::number(number);
    forwarder.start(QStringLiteral(CORVANE_SYSTEM_PYTHON),
                    {QStringLiteral("-c"), QStringLiteral(R"(
import socket, sys, threading
listen = socket.socket(socket.AF_UNIX); listen.bind(sys.argv[1]); listen.listen(8)
print("ready", flush=True)
def pump(a, b):
    while data := a.recv(65536): b.sendall(data)
    b.shutdown(socket.SHUT_WR)
while True:
    client, _ = listen.accept(); server = socket.socket(socket.AF_UNIX); server.connect(sys.argv[2])
    for a, b in ((client, server), (server, client)): threading.Thread(target=pump, args=(a, b), daemon=True).start()
)"),
                     socketPath, socketDir + QString::fromLatin1(real.mid(1).split('.').first())});
    if (!real.startsWith(':') || !forwarder.waitForStarted(10000) || !forwarder.waitForReadyRead(10000))
        return {};
    return ':' + QByteArray::number(number);
}

} // namespace

class X11RelayWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs an X server in DISPLAY"); }
    void cleanupTestCase() { removeRootProperty("_NET_CLIENT_LIST"); }

    // The owner comes from _NET_WM_PID, or from the server where the window does not set it (most X
    // programs); under a reparenting window manager the window sits inside a frame. Only the exact
    // title matches, and the owner is killed hard.
    void findsAndKillsTheOwner_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("findable");
        const QString frames = QStringLiteral("--frames");
        // Deeper than one frame only the window manager's client list leads to the window; the list,
        // left on the root, lacks the windows of the later rows, which the tree still shows.
        QTest::newRow("in the client list, two frames deep")
            << QStringList{frames, QStringLiteral("2"), QStringLiteral("--client-list")} << true;
        QTest::newRow("two frames deep") << QStringList{frames, QStringLiteral("2")} << false;
        QTest::newRow("declared pid") << QStringList{} << true;
        QTest::newRow("no pid property")
            << QStringList{QStringLiteral("--no-pid"), QStringLiteral("--no-net-name")} << true;
        QTest::newRow("inside a frame")
            << QStringList{frames, QStringLiteral("1"), QStringLiteral("--no-pid")} << true;
    }
    void findsAndKillsTheOwner() {
        QFETCH(QStringList, options);
        QFETCH(bool, findable);
        RelayWindow relay;
        const QString title = uniqueTitle(QStringLiteral("UDPRelay"));
        QVERIFY(relay.start(title, options));
        if (!findable) {
            QVERIFY(!x11::findTopLevelWindow(title));
            return;
        }
        for (const QString& near : {title.chopped(1), title + u' ', title.toLower(), QString()})
            QVERIFY(!x11::findTopLevelWindow(near));
        const auto found = x11::findTopLevelWindow(title);
        QVERIFY(found);
        QCOMPARE(found->window, relay.window);
        QCOMPARE(found->pid, std::optional<std::int64_t>(relay.pid()));
        x11::X11RelayTerminator terminator;
        QCOMPARE(terminator.terminateWindowOwner(title), RelayTermination::Terminated);
        QVERIFY(relay.process->waitForFinished(10000));
        QCOMPARE(relay.process->exitStatus(), QProcess::CrashExit);
        // Its window went with its connection.
        QTRY_VERIFY_WITH_TIMEOUT(!x11::findTopLevelWindow(title), 10000);
        QCOMPARE(terminator.terminateWindowOwner(title), RelayTermination::NotFound);
    }

    // Nothing is killed where the owner cannot be trusted or is not ours: a _NET_WM_PID that is not the
    // connection's peer (any client can write any number there), a program on another machine, a
    // process of another user (starting one needs root), a display reached through a forwarder as over
    // ssh (the server's pids are of its own machine). "%bystander" and "%self" stand for pids.
    void anOwnerNotOursIsNotKilled_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("runAs");
        QTest::addColumn<bool>("ownerKnown");
        QTest::addColumn<bool>("forwarded");
        const QString pid = QStringLiteral("--pid");
        QTest::newRow("names a bystander")
            << QStringList{pid, QStringLiteral("%bystander")} << QStringList() << false << false;
        QTest::newRow("names this program")
            << QStringList{pid, QStringLiteral("%self")} << QStringList() << false << false;
        QTest::newRow("names init") << QStringList{pid, QStringLiteral("1")} << QStringList() << false
                                    << false;
        QTest::newRow("names nobody")
            << QStringList{pid, QStringLiteral("0")} << QStringList() << false << false;
        QTest::newRow("a remote program")
            << QStringList{QStringLiteral("--machine"), QStringLiteral("elsewhere.invalid")} << QStringList()
            << false << false;
        QTest::newRow("another user's")
            << QStringList()
            << QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
                           QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups")}
            << true << false;
        QTest::newRow("a forwarded display") << QStringList() << QStringList() << false << true;
    }
    void anOwnerNotOursIsNotKilled() {
        QFETCH(QStringList, options);
        QFETCH(QStringList, runAs);
        QFETCH(bool, ownerKnown);
        QFETCH(bool, forwarded);
        if (!runAs.isEmpty() && ::geteuid() != 0)
            QSKIP("starting a process as another user needs root");
        QProcess bystander;
        bystander.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        QVERIFY(bystander.waitForStarted(10000));
        options.replaceInStrings(QStringLiteral("%bystander"), QString::number(bystander.processId()));
        options.replaceInStrings(QStringLiteral("%self"),
                                 QString::number(QCoreApplication::applicationPid()));
        QProcess forwarder;
        QString socketPath;
        const auto removeSocket = qScopeGuard([&] { QFile::remove(socketPath); });
        const QByteArray display = forwarded ? startForwarder(forwarder, socketPath) : QByteArray();
        QVERIFY(display.isEmpty() != forwarded);
        RelayWindow relay;
        const QString title = uniqueTitle(QStringLiteral("UDPRelay"));
        QVERIFY(relay.start(title, options, runAs));
        const auto found = x11::findTopLevelWindow(title, display);
        QVERIFY(found);
        QCOMPARE(found->window, relay.window);
        QCOMPARE(found->pid, ownerKnown ? std::optional<std::int64_t>(relay.pid()) : std::nullopt);
        x11::X11RelayTerminator terminator(display);
        QCOMPARE(terminator.terminateWindowOwner(title), RelayTermination::Refused);
        QVERIFY(!relay.process->waitForFinished(300));
        QCOMPARE(relay.process->state(), QProcess::Running);
        QCOMPARE(bystander.state(), QProcess::Running);
        for (QProcess* p : {&bystander, &forwarder}) {
            p->kill();
            p->waitForFinished(5000);
        }
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
        const QString title = uniqueTitle(QStringLiteral("UDPRelay"));
        RelayWindow relay;
        QVERIFY(relay.start(title, {QStringLiteral("--no-pid")}));
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
        // The wait for the line may have seen it end already.
        QTRY_COMPARE_WITH_TIMEOUT(relay.process->state() == QProcess::NotRunning, display, 10000);
        if (display)
            QCOMPARE(relay.process->exitStatus(), QProcess::CrashExit);
        program.terminate();
        QVERIFY(program.waitForExit());
        QCOMPARE(program.exitCode(), 0);
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
