// Recording processed messages to the log file and playing them back through the ring with their gaps.
#include "alarms/AlarmList.h"
#include "link/EngineLink.h"
#include "link/LinkActions.h"
#include "logplay/LogRecord.h"
#include "logplay/Logging.h"
#include "messages/MessageIntake.h"
#include "support/EngineSimProcess.h"
#include "support/TestMonitor.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace corvane;
using namespace corvane::test;

namespace {

struct Seen {
    qint64 at;
    QString message;
};

// A log file in a folder of its own, and handlers for every message type that note the message and the
// time it was handled.
struct LogNotes {
    QTemporaryDir dir;
    QList<Seen> seen;
    void noteEveryMessage(Dispatcher& dispatcher, const Clock& clock) {
        for (char type : QByteArray("AtcC+-SWD!@T"))
            dispatcher.setHandler(type, [this, &clock, type](QStringView body) {
                seen.append({clock.tickMs(), QChar::fromLatin1(type) + body.toString()});
            });
    }
    QString path() const { return dir.filePath(QStringLiteral("Monitor.Log")); }
    void writeLog(const QByteArray& content) {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    QByteArray readLog() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList messages() const {
        QStringList out;
        for (const Seen& s : seen)
            out << s.message;
        return out;
    }
};

// Recording and playback fed by message processing, as the engine's messages are taken from the ring.
struct LogRig : LogNotes {
    LogRig() {
        config.logFile = path();
        noteEveryMessage(dispatcher, clock);
    }
    MonitorConfig config;
    ManualClock clock;
    ScriptedDialogs dialogs;
    MainWindowModel ui;
    LinkSocket link;
    MessageQueue queue;
    Dispatcher dispatcher;
    MessageIntake intake{ui, clock, link, queue, dispatcher, [this](const QString& m) { logging.record(m); }};
    AlarmList alarms{ui, clock};
    Logging logging{ui, config, clock, dialogs, link, queue, alarms};
};

} // namespace

class TestLogPlay : public QObject {
    Q_OBJECT
private slots:
    // Each message is written as one record and read back as the message it was, or as close to it as
    // one line allows; every line that is not laid out as a record is passed over.
    void records_data() {
        QTest::addColumn<int>("delay");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("plain") << 15320 << "T10:42:07" << QByteArray("15320,\"T10:42:07\"\r\n") << "T10:42:07";
        QTest::newRow("empty") << 0 << "" << QByteArray("0,\"\"\r\n") << "";
        QTest::newRow("quotes") << 7 << "A he said \"no\", twice" << QByteArray("7,\"A he said \"no\", twice\"\r\n")
                                << "A he said \"no\", twice";
        QTest::newRow("latin-1") << -3 << "A caf\u00e9" << QByteArray("-3,\"A caf\xe9\"\r\n") << "A caf\u00e9";
        QTest::newRow("CR LF") << 9 << "A trunk down\r\n7,\"Wfake" << QByteArray("9,\"A trunk down  7,\"Wfake\"\r\n")
                               << "A trunk down  7,\"Wfake";
        QTest::newRow("LF") << 9 << "A a\nb" << QByteArray("9,\"A a b\"\r\n") << "A a b";
        QTest::newRow("CR") << 9 << "A a\rb\r" << QByteArray("9,\"A a b \"\r\n") << "A a b ";
    }
    void records() {
        QFETCH(int, delay);
        QFETCH(QString, message);
        QFETCH(QByteArray, line);
        QFETCH(QString, readBack);
        QCOMPARE(formatLogRecord(delay, message), line);
        const auto record = parseLogRecord(line);
        QVERIFY(record);
        QCOMPARE(record->delayMs, delay);
        QCOMPARE(record->message, readBack);
        for (const char* bad : {"", "\r\n", "W", "12,W", "x,\"W\"", "12,\"W", ",\"W\"", "12,\"", " 12,\"W\"",
                                "12 ,\"W\"", "12, \"W\"", "1-2,\"W\"", "-,\"W\"", "12,\"W\" after", "99999999999,\"W\""})
            QVERIFY2(!parseLogRecord(bad), bad);
    }

    void recordingWritesEveryProcessedMessageThrough() {
        LogRig rig;
        rig.writeLog("old\r\n");
        // Answered no, the old log stays.
        rig.dialogs.yesNoAnswers.enqueue(false);
        rig.ui.trigger(MenuItem::LogMsgs);
        QVERIFY(!rig.ui.isChecked(MenuItem::LogMsgs));
        rig.queue.store(QStringLiteral("A1"));
        rig.clock.advance(12345);
        QCOMPARE(rig.readLog(), QByteArray("old\r\n"));
        rig.dialogs.yesNoAnswers.enqueue(true);
        rig.ui.trigger(MenuItem::LogMsgs);
        QCOMPARE(rig.dialogs.questions, QStringList(2, "|This will erase " + rig.path() + " Proceed?"));
        QVERIFY(rig.ui.isChecked(MenuItem::LogMsgs));
        QVERIFY(!rig.ui.menu(MenuItem::PlayLog).enabled);
        QCOMPARE(rig.ui.element(Element::Recording).caption, QStringLiteral("Recording"));
        QVERIFY(rig.ui.element(Element::Recording).visible);
        QCOMPARE(rig.readLog(), QByteArray());

        rig.queue.store(QStringLiteral("W"));
        rig.clock.advance(1);
        rig.clock.advance(1499);
        rig.queue.store(QStringLiteral("A say \"hi\""));
        rig.queue.store(QString());
        rig.clock.advance(1);
        // Each record is on disk as soon as its message has been processed.
        QCOMPARE(rig.readLog(), QByteArray("1,\"W\"\r\n1501,\"A say \"hi\"\"\r\n1501,\"\"\r\n"));
        // The label blinks while recording.
        const bool shown = rig.ui.element(Element::Recording).visible;
        rig.clock.advance(Logging::kBlinkMs);
        QCOMPARE(rig.ui.element(Element::Recording).visible, !shown);

        // Playback cannot start while recording.
        rig.ui.trigger(MenuItem::PlayLog);
        QVERIFY(!rig.ui.isChecked(MenuItem::PlayLog));
        QCOMPARE(rig.ui.element(Element::Recording).caption, QStringLiteral("Recording"));

        rig.ui.trigger(MenuItem::LogMsgs);
        QVERIFY(!rig.ui.isChecked(MenuItem::LogMsgs));
        QVERIFY(rig.ui.menu(MenuItem::PlayLog).enabled);
        QVERIFY(!rig.ui.element(Element::Recording).visible);
        rig.clock.advance(Logging::kBlinkMs * 3);
        QVERIFY(!rig.ui.element(Element::Recording).visible);
        rig.queue.store(QStringLiteral("W"));
        rig.clock.advance(1);
        QCOMPARE(rig.readLog().count('\n'), 3);
    }

    // A log that cannot be opened, or a disk that fills up: the operator is told once, and the menu no
    // longer claims a recording.
    void recordingFailuresAreTold_data() {
        QTest::addColumn<QString>("logFile");
        QTest::addColumn<QString>("reason");
        QTest::newRow("cannot open") << "/nonexistent-folder/Monitor.Log" << "No such file or directory";
        QTest::newRow("disk full") << "/dev/full" << "No space left on device";
    }
    void recordingFailuresAreTold() {
        QFETCH(QString, logFile);
        QFETCH(QString, reason);
        LogRig rig;
        rig.config.logFile = logFile;
        rig.dialogs.yesNoAnswers.enqueue(true);
        rig.ui.trigger(MenuItem::LogMsgs);
        for (int i = 0; i < 3; ++i)
            rig.queue.store(QStringLiteral("W"));
        rig.clock.advance(5);
        const AlarmList& alarms = rig.alarms;
        QCOMPARE(alarms.count(), 1);
        QVERIFY2(alarms.line(0).endsWith(QStringLiteral("Could not record to ") + logFile + QStringLiteral(": ") +
                                         reason),
                 qPrintable(alarms.line(0)));
        QVERIFY(!rig.ui.isChecked(MenuItem::LogMsgs));
        QVERIFY(rig.ui.menu(MenuItem::PlayLog).enabled);
        QCOMPARE(rig.ui.element(Element::Recording).caption, QStringLiteral("Recording failed"));
        rig.clock.advance(Logging::kBlinkMs * 3);
        QVERIFY(rig.ui.element(Element::Recording).visible);
        QCOMPARE(rig.seen.size(), 3);
    }

    void recordsPastThirtyTwoBitsAreLeftOut() {
        LogRig rig;
        rig.clock.setIdle([&rig] { return rig.queue.pendingCount() == 0; });
        rig.dialogs.yesNoAnswers.enqueue(true);
        rig.ui.trigger(MenuItem::LogMsgs);
        rig.clock.advance(std::numeric_limits<std::int32_t>::max() - 1);
        rig.queue.store(QStringLiteral("A last that fits"));
        rig.clock.advance(1);
        rig.queue.store(QStringLiteral("A too late"));
        rig.clock.advance(1);
        QCOMPARE(rig.readLog(), QByteArray("2147483647,\"A last that fits\"\r\n"));
        QCOMPARE(rig.seen.size(), 2);
    }

    void playbackKeepsOrderAndGaps() {
        LogRig rig;
        rig.writeLog("100,\"A1\"\r\n"
                     "500,\"W\"\r\n"
                     "500,\"A say \"quoted\", ok\"\r\n" // recorded in the same ms as the one before
                     "61500,\"T12:00:00\"\r\n"          // 61 s later: plays 1 s later
                     "not a record\r\n"
                     "62000,\"A4\"\r\n"
                     "1000,\"A5\"\r\n"); // going backwards: plays 1 s later
        rig.ui.trigger(MenuItem::PlayLog);
        QVERIFY(rig.ui.isChecked(MenuItem::PlayLog));
        QVERIFY(!rig.ui.menu(MenuItem::LogMsgs).enabled);
        QCOMPARE(rig.ui.element(Element::Recording).caption, QStringLiteral("Play Back"));
        QVERIFY(rig.ui.element(Element::Recording).visible);
        QCOMPARE(rig.logging.playbackLine(), QStringLiteral("A1"));

        // The last record is queued at 3510, and that same tick ends the playback.
        rig.clock.advance(3509);
        QVERIFY(rig.ui.isChecked(MenuItem::PlayLog));
        rig.clock.advance(1);
        QVERIFY(!rig.ui.isChecked(MenuItem::PlayLog));
        rig.clock.advance(10000);
        QCOMPARE(rig.messages(), (QStringList{"A1", "W", "A say \"quoted\", ok", "T12:00:00", "A4", "A5"}));
        // Queued at 10, 1010 (the first gap plays as a second), 1010, 2010, 2510, 3510; handled at
        // the next tick of message processing.
        const QList<qint64> queuedAt{10, 1010, 1010, 2010, 2510, 3510};
        for (int i = 0; i < queuedAt.size(); ++i)
            QVERIFY2(rig.seen[i].at >= queuedAt[i] && rig.seen[i].at <= queuedAt[i] + 1,
                     qPrintable(QStringLiteral("%1 at %2").arg(rig.seen[i].message).arg(rig.seen[i].at)));
        QCOMPARE(rig.dialogs.messages, QStringList{"|End Of Play Back of Log File " + rig.path()});
        QVERIFY(rig.ui.menu(MenuItem::LogMsgs).enabled);
        QVERIFY(!rig.ui.element(Element::Recording).visible);
    }

    // Lines are read a piece at a time: a record far longer than a piece, a record whose end of line
    // falls alone into the next piece, a burst recorded in one millisecond that overfills the ring, and
    // a last record with no end of line all come back whole.
    void longLinesBurstsAndAnUnterminatedLinePlayWhole() {
        LogRig rig;
        const QString longest = QStringLiteral("A") + QString(32766, u'x');
        const QString boundary = QStringLiteral("t") + QString(1017, u'y');
        QCOMPARE(formatLogRecord(0, boundary).size(), 1024);
        QStringList sent{longest, boundary};
        for (int i = 0; i < 2500; ++i)
            sent << QStringLiteral("t%1").arg(i);
        QByteArray log;
        for (const QString& m : sent)
            log += formatLogRecord(0, m);
        sent << QStringLiteral("W");
        log += formatLogRecord(3, QStringLiteral("W"));
        log.chop(2);
        rig.writeLog(log);
        rig.ui.trigger(MenuItem::PlayLog);
        rig.clock.advance(2000);
        QCOMPARE(rig.messages(), sent);
        QCOMPARE(rig.dialogs.messages.size(), 1);
    }

    void missingOrEmptyLogEndsPlaybackAtOnce() {
        for (const bool exists : {false, true}) {
            LogRig rig;
            if (exists)
                rig.writeLog("garbage only\r\n");
            rig.ui.trigger(MenuItem::PlayLog);
            QCOMPARE(rig.dialogs.messages, QStringList{"|No Log File"});
            QVERIFY(!rig.ui.isChecked(MenuItem::PlayLog));
            QVERIFY(rig.ui.menu(MenuItem::LogMsgs).enabled);
            QVERIFY(!rig.ui.element(Element::Recording).visible);
            rig.clock.advance(2000);
            QVERIFY(rig.seen.isEmpty());
        }
    }

    // The whole monitor: from the simulated engine through the link and message processing to the log,
    // as they are wired, and back.
    void liveTrafficRecordedAndPlayedBackAlike() {
        EngineSimProcess sim;
        QVERIFY(sim.start({"--heartbeat-ms", "0", "--clock-ms", "0"}));
        LogNotes notes;
        MonitorConfig config;
        config.useUdp = false;
        config.engineAddress = QStringLiteral("127.0.0.1");
        config.enginePort = static_cast<std::int16_t>(sim.tcpPort());
        config.logFile = notes.path();
        TestMonitor t(config);
        notes.noteEveryMessage(t.monitor.dispatcher(), t.services.clock);
        t.monitor.link().reset(createEngineLink(t.monitor));
        reconnect(t.monitor);
        QVERIFY(sim.waitForCommand(QStringLiteral("$TESTBOX")));
        t.services.dialogs.yesNoAnswers.enqueue(true);
        t.monitor.ui().trigger(MenuItem::LogMsgs);
        // Line breaks, which only TCP's framing lets inside a message, are escaped on the control line.
        const QStringList sent{"A first",       "T12:00:01", "A he said \"stop\", twice",
                               "A trunk down\r\n7,\"Wfake", "A\nW\r", "t305,2,9,1207", "W", "A caf\u00e9 last"};
        for (QString m : sent) {
            m.replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n"));
            QVERIFY(sim.control(QStringLiteral("send-escaped ") + m));
            // Let the message arrive, then process it a little later each time.
            QTRY_VERIFY(t.monitor.queue().pendingCount() > 0);
            t.services.clock.advance(250);
        }
        t.monitor.ui().trigger(MenuItem::LogMsgs);
        QCOMPARE(notes.messages(), sent);

        notes.seen.clear();
        t.monitor.ui().trigger(MenuItem::PlayLog);
        // Live messages stop for the length of the playback; the link comes back at its end.
        const auto closed = sim.waitForLine(QRegularExpression(QStringLiteral("^# tcp close ")));
        QVERIFY(closed);
        t.services.clock.advance(20000);
        QVERIFY(sim.waitForLine(QRegularExpression(QStringLiteral("^# tcp connect ")), 10000, *closed));
        // Each message plays back as itself, its line breaks as blanks: never as another message.
        QStringList played = sent;
        for (QString& m : played)
            m.replace(u'\r', u' ').replace(u'\n', u' ');
        QCOMPARE(notes.messages(), played);
        // The recorded gaps come back (the first one plays as a second).
        for (int i = 2; i < notes.seen.size(); ++i)
            QVERIFY(qAbs(notes.seen[i].at - notes.seen[i - 1].at - 250) <= 1);
    }
};

QTEST_GUILESS_MAIN(TestLogPlay)
#include "test_logplay.moc"
