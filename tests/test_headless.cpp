// The real program with --headless and no display, linked to the simulated engine, paging by real SMTP.

#include "logplay/LogRecord.h"
#include "support/EngineSimProcess.h"
#include "support/HeadlessProgram.h"
#include "support/SmtpServer.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace corvane;
using corvane::test::EngineSimProcess;
using corvane::test::HeadlessProgram;
using corvane::test::SmtpServer;

namespace {

// The text of the engine's n-th burst alarm.
QString blast(int n) {
    return QStringLiteral("blast %1").arg(n, 6, 10, QLatin1Char('0'));
}

bool putFile(const QString& path, const QByteArray& text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

// A settings file linking to the engine over TCP, with lines of its own added.
QByteArray linkSettings(const EngineSimProcess& sim, const QByteArray& more = {}) {
    return "TCP, 1\r\nENG_LOC_IP, \"127.0.0.1\"\r\nENG_LOC_PORT, " + QByteArray::number(sim.tcpPort()) +
           "\r\n" + more;
}

} // namespace

class HeadlessTest : public QObject {
    Q_OBJECT

private slots:
    // What the program refuses or warns of at start, on standard error; one that runs gets SIGTERM.
    void startupRefusals_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("settings"); // written to the file named FILE in args; none if empty
        QTest::addColumn<QString>("told");        // FILE stands for the settings file's path
        QTest::addColumn<int>("exitCode");

        QTest::newRow("no such file")
            << QStringList{"--headless", "FILE"} << QByteArray() << "INI file not found at FILE" << 1;
        QTest::newRow("record without headless")
            << QStringList{"--record", "FILE"} << QByteArray("TCP, 1\r\n") << "--record goes with --headless"
            << 2;
        QTest::newRow("mail user without password")
            << QStringList{"--headless", "FILE"}
            << QByteArray("MAIL_PAGEES, \"ops@corvane.test\"\r\nMAIL_SERVER, \"smtp://127.0.0.1:1\"\r\n"
                          "MAIL_USER, \"ops\"\r\n")
            << "MAIL_USER ops has no MAIL_PASSWORD: the password must be in FILE" << 0;
        QTest::newRow("relay watched without a display")
            << QStringList{"--headless", "FILE"} << QByteArray("CHK_UDP, \"UDPRelay\"\r\n")
            << "with no X display a silent relay cannot be terminated" << 0;
    }
    void startupRefusals() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, settings);
        QFETCH(QString, told);
        QFETCH(int, exitCode);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("site.ini"));
        if (!settings.isEmpty())
            QVERIFY(putFile(file, settings));
        args.replaceInStrings(QStringLiteral("FILE"), file);
        told.replace(QStringLiteral("FILE"), file);

        HeadlessProgram program;
        program.start(args);
        QVERIFY2(program.waitForError(told), qPrintable(program.errors()));
        if (exitCode == 0) {
            QVERIFY(program.isRunning());
            program.terminate();
        }
        QVERIFY(program.waitForExit());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), exitCode);
        // A refusal is no alarm.
        QVERIFY2(program.lines().isEmpty(), qPrintable(program.lines().join(u'\n')));
    }

    // An alarm, an outage paged and its recovery, a scheduled command, then SIGTERM during a burst: the
    // program ends at once with status 0; its alarm lines and whole records are the burst's, in order.
    void recordedWatchStoppedDuringABurst() {
        EngineSimProcess sim;
        // No clock texts: they too keep a long silence of heartbeats from being taken as an outage.
        QVERIFY(sim.start({QStringLiteral("--heartbeat-ms"), QStringLiteral("200"),
                           QStringLiteral("--clock-ms"), QStringLiteral("0")}));
        SmtpServer smtp;
        QVERIFY(smtp.waitReady());
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("watch.log"));
        QVERIFY(putFile(log, "old contents, not a record\r\n"));
        const QString file = dir.filePath(QStringLiteral("watch.ini"));
        // WATCHDOG_TO 3: 100 ticks of 30 ms, an outage is taken as one after 3 s without heartbeats.
        const QByteArray settings = "WATCHDOG_TO, 3\r\nMAIL_PAGEES, \"night@corvane.test\"\r\n"
                                    "MAIL_FROM, \"watch@corvane.test\"\r\nMAIL_SERVER, \"" +
                                    smtp.url().toLatin1() + "\"\r\nLOG_FILE, \"" + log.toLatin1() +
                                    "\"\r\nSCHED_CMD, \"?\?/?\?/?\? ?\?:?\?:?\? - ppppp\"\r\n";
        QVERIFY(putFile(file, linkSettings(sim, settings)));
        HeadlessProgram program;
        program.start({QStringLiteral("--headless"), QStringLiteral("--record"), file});
        QVERIFY2(sim.waitForCommand(QStringLiteral("UUUUU"), 20000), qPrintable(program.errors()));
        QVERIFY(program.errors().contains(QStringLiteral("Recording to ") + log));

        // A line end inside an alarm's text does not split its line.
        QVERIFY(sim.control(QStringLiteral("send-escaped AShelf 3\\r\\nfan failed")));
        QVERIFY(program.waitForLine(HeadlessProgram::alarmLine(QStringLiteral("Shelf 3  fan failed"))));

        // The heartbeats stop (the relay's pings are still answered): the outage is listed and paged at once.
        const qsizetype before = program.lines().size();
        QVERIFY(sim.control(QStringLiteral("heartbeat off")));
        const auto down = program.waitForLine(
            HeadlessProgram::alarmLine(QStringLiteral("CorvaneBox not responding")), 20000, before);
        QVERIFY2(down, qPrintable(program.errors()));
        QVERIFY2(QTest::qWaitFor([&] { return !smtp.messages().isEmpty(); }, 30000),
                 qPrintable(program.errors()));
        const auto page = smtp.messages().front();
        QVERIFY(page.body.contains(QStringLiteral("CorvaneBox not responding")));
        QCOMPARE(page.rcptTos, QStringList{QStringLiteral("night@corvane.test")});
        QCOMPARE(page.mailFrom, QStringLiteral("watch@corvane.test"));
        QVERIFY(sim.control(QStringLiteral("heartbeat on")));
        QVERIFY(program.waitForLine(HeadlessProgram::alarmLine(QStringLiteral("CorvaneBox is Back")), 20000,
                                    *down + 1));

        // The minute tick sends the scheduled command and lists it.
        const auto scheduled = sim.waitForCommand(QStringLiteral("ppppp"), 75000);
        QVERIFY2(scheduled, qPrintable(program.errors()));
        QVERIFY(program.waitForLine(QRegularExpression(QStringLiteral(" --- ppppp$")), 10000));
        constexpr int kBurst = 200000;
        QVERIFY(sim.control(QStringLiteral("blast %1").arg(kBurst)));
        QVERIFY(program.waitForLine(QRegularExpression(QStringLiteral("blast 001000$"))));
        program.terminate();
        QVERIFY(program.waitForExit());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const QStringList printed = program.lines().filter(QStringLiteral("blast"));
        QVERIFY2(printed.size() < kBurst, "the burst ended before the stop: nothing was cut short");
        for (qsizetype i = 0; i < printed.size(); ++i)
            QVERIFY2(printed[i].endsWith(QStringLiteral("--- ") + blast(int(i) + 1)), qPrintable(printed[i]));

        QFile recorded(log);
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        const QByteArray bytes = recorded.readAll();
        QVERIFY(bytes.endsWith("\r\n"));
        int next = 1;
        qint32 previousDelay = 0;
        for (const QByteArray& line : bytes.split('\n')) {
            if (line.isEmpty())
                continue;
            const auto record = parseLogRecord(line + '\n');
            QVERIFY2(record, line.constData());
            QVERIFY(record->delayMs >= previousDelay);
            previousDelay = record->delayMs;
            if (record->message.startsWith(QStringLiteral("A blast ")))
                QCOMPARE(record->message, QStringLiteral("A ") + blast(next++));
        }
        // Each message processed is recorded and each alarm processed printed, nothing after the stop.
        QCOMPARE(next - 1, printed.size());
    }
    // The shipped unit, as systemd itself reads it: nothing else checks it before a site installs it.
    void serviceUnitVerifies() {
        const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
        if (analyze.isEmpty())
            QSKIP("systemd-analyze is not installed (scripts/setup.sh installs the package systemd)");
        QTemporaryDir dir;
        QFile unit(QStringLiteral(CORVANE_SOURCE_DIR "/packaging/corvane-monitor-watch@.service"));
        QVERIFY(unit.open(QIODevice::ReadOnly));
        QByteArray text = unit.readAll();
        QVERIFY(text.contains("ExecStart=/usr/bin/corvane-monitor --headless"));
        // An instance of the template, with the program where the unit expects it.
        text.replace("/usr/bin/corvane-monitor", QByteArray(CORVANE_MONITOR));
        const QString instance = dir.filePath(QStringLiteral("corvane-monitor-watch@site2.service"));
        QVERIFY(putFile(instance, text));
        QProcess verify;
        verify.setProcessChannelMode(QProcess::MergedChannels);
        verify.start(analyze, {QStringLiteral("verify"), QStringLiteral("--man=no"), instance});
        QVERIFY(verify.waitForFinished(60000));
        const QString said = QString::fromLocal8Bit(verify.readAll());
        QVERIFY2(verify.exitStatus() == QProcess::NormalExit && verify.exitCode() == 0, qPrintable(said));
        // verify also reports what it could not check as warnings, with status 0.
        QVERIFY2(!said.contains(QStringLiteral("corvane-monitor-watch@")), qPrintable(said));
    }
};

QTEST_GUILESS_MAIN(HeadlessTest)
#include "test_headless.moc"
