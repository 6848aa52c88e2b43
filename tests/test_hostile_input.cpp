// Hostile messages, log files and configuration files through the monitor's own paths: no crash, the
// tables stay within their caps, and afterwards a normal channel report still paints its cell.

#include "alarms/AlarmList.h"
#include "app/IniFile.h"
#include "app/Startup.h"
#include "board/BoardModel.h"
#include "board/Colors.h"
#include "board/GroupTables.h"
#include "common/LegacyText.h"
#include "link/TcpFraming.h"
#include "logplay/LogRecord.h"
#include "logplay/Logging.h"
#include "messages/MessageIntake.h"
#include "support/TestMonitor.h"
#include "windows/ChatModel.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

// Values that have broken number readers and table lookups before.
const QList<QByteArray>& hostileValues() {
    static const QList<QByteArray> values{"",         "0",           "1",
                                          "2",        "100",         "101",
                                          "131",      "32767",       "32768",
                                          "-1",       "-101",        "-32768",
                                          "-32769",   "65536",       "99999999999999999999",
                                          "1e9",      "-1e9",        "32767.5",
                                          "-32768.5", "0.5",         "1.5",
                                          "2.5",      " 305",        "abc",
                                          "0x10",     "+7",          "--3",
                                          ".",        "e",           "305abc",
                                          "\xff\xfe", "\x80",        QByteArray("\0", 1),
                                          "\xc3\x28", "\xed\xa0\x80"};
    return values;
}

const QByteArray kHandledTypes = "AtcC+-SWD!@T";

struct Rig {
    explicit Rig(MonitorConfig config = {}) : t(std::move(config)) { monitor().board().placeCell(1, 8, 1); }
    TestMonitor t;
    Monitor& monitor() { return t.monitor; }
    BoardModel& board() { return t.monitor.board(); }

    // One message as the UDP link stores it: any length, any byte.
    void feed(const QByteArray& message) {
        QVERIFY(monitor().queue().store(fromWire(message)));
        monitor().intake().tick();
        QCOMPARE(monitor().queue().pendingCount(), 0);
    }

    // A normal report still paints its cell; the state and group change from round to round so an
    // old painting cannot pass for a new one.
    bool paintsCell(int round) {
        const int state = (round % 7) + ((round % 2) ? 8 : 0);
        const int group = round % 5 + 1;
        feed(QStringLiteral("t305,%1,%2,1207").arg(group).arg(state).toLatin1());
        const ChannelCell* c = board().cell(305);
        if (!c || c->group != group || c->stateColor != stateColor(static_cast<std::int16_t>(state)) ||
            c->side != ((state & 8) ? 'R' : 'O') || !c->connected || c->peerNumber() != 1207 ||
            !board().hasCell(1207)) {
            qWarning("round %d: channel 305 was not painted as reported", round);
            return false;
        }
        return true;
    }

    // The caps that keep a flood from growing memory. The watchdogs add their own lines without the
    // size check (one per outage or relay time-out), `ownLines` at most.
    void checkBounds(int ownLines = 0) {
        const auto max = monitor().alarms().maxCount();
        if (max)
            QVERIFY2(monitor().alarms().count() <= std::max<int>(*max, 0) + 1 + ownLines,
                     qPrintable(QString::number(monitor().alarms().count())));
        QVERIFY(monitor().chat().received().size() <= ChatModel::kMaxReceived);
        QVERIFY(monitor().groups().capacityR() <= 32767 && monitor().groups().capacityO() <= 32767);
        QVERIFY(board().cells().size() <= 32768);
    }
};

// Bodies for one type: each hostile value alone and in every field position of an otherwise normal
// body, random mixtures, and the overlong ones.
QList<QByteArray> hostileBodies(QRandomGenerator& random) {
    const QList<QByteArray>& values = hostileValues();
    QList<QByteArray> bodies;
    const QList<QByteArray> normal{"305", "2", "9", "1207"};
    for (const QByteArray& v : values) {
        bodies << v;
        for (int k = 0; k < normal.size(); ++k) {
            QList<QByteArray> fields = normal;
            fields[k] = v;
            bodies << fields.join(',');
        }
    }
    for (int i = 0; i < 300; ++i) {
        QList<QByteArray> fields;
        for (int k = random.bounded(8); k > 0; --k)
            fields << values.at(random.bounded(static_cast<int>(values.size())));
        bodies << fields.join(random.bounded(4) == 0 ? ",," : ",");
    }
    bodies << ","
           << ",,,,,,,," << QByteArray(40000, ',') << QByteArray(70000, '9')
           << "305," + QByteArray(100000, 'x') << "305 ALERTING Blocked Event " + QByteArray(60000, '\xff')
           << QByteArray(1000, '\0');
    return bodies;
}

} // namespace

class TestHostileInput : public QObject {
    Q_OBJECT
private slots:
    void everyTypeWithHostileBodies() {
        Rig rig;
        QRandomGenerator random(20261206);
        const QList<QByteArray> bodies = hostileBodies(random);
        int round = 0;
        QVERIFY(rig.paintsCell(round++));
        // The handled types get every body; all other first bytes, NUL and non-ASCII included, a few.
        for (int type = 0; type < 256; ++type) {
            const char letter = static_cast<char>(type);
            const bool handled = kHandledTypes.contains(letter);
            const qsizetype count = handled ? bodies.size() : 8;
            for (qsizetype i = 0; i < count; ++i)
                rig.feed(QByteArray(1, letter) + bodies.at(i));
            // "+" and "-" read a second letter: every one of them, with hostile rests.
            if (letter == '+' || letter == '-') {
                for (int second = 0; second < 256; ++second)
                    for (const QByteArray& rest : {QByteArray(), QByteArray("32767"), QByteArray("-1,abc")})
                        rig.feed(QByteArray(1, letter) + QByteArray(1, static_cast<char>(second)) + rest);
            }
            if (handled) {
                QVERIFY2(rig.paintsCell(round++), qPrintable(QStringLiteral("after type %1").arg(type)));
                rig.checkBounds();
            }
        }
        // The newest chat lines are at the top, whole.
        rig.feed("@" + QByteArray(30000, 'z'));
        rig.feed("@short");
        QVERIFY(rig.monitor().chat().received().startsWith(QStringLiteral("short\r\n") +
                                                           QString(30000, u'z') + QStringLiteral("\r\n")));
        QVERIFY(rig.paintsCell(round++));
    }

    void hostileStreamThroughTheTcpFraming() {
        // The same bodies as one TCP stream cut at random places: each message that fits is framed and
        // processed once, the overlong ones are discarded and counted, nothing else is lost.
        Rig rig;
        QRandomGenerator random(7);
        QByteArray stream;
        qint64 expected = 0;
        qint64 overlong = 0;
        for (const QByteArray& body : hostileBodies(random)) {
            const QByteArray message =
                kHandledTypes.at(random.bounded(static_cast<int>(kHandledTypes.size()))) + body;
            stream += message + '|';
            if (message.size() > TcpFraming::kMaxMessage)
                ++overlong;
            else
                ++expected;
        }
        TcpFraming framing(rig.monitor().queue());
        const qint64 before = rig.monitor().intake().processedCount();
        for (qsizetype pos = 0; pos < stream.size();) {
            const qsizetype n = std::min<qsizetype>(1 + random.bounded(70000), stream.size() - pos);
            framing.arrive(stream.mid(pos, n));
            while (framing.holdsBackData()) {
                rig.monitor().intake().tick();
                framing.resume();
            }
            QVERIFY(framing.partialMessage().size() <= TcpFraming::kMaxMessage);
            QVERIFY(rig.monitor().queue().pendingCount() <= MessageQueue::kCapacity);
            pos += n;
        }
        rig.monitor().intake().tick();
        QCOMPARE(rig.monitor().intake().processedCount() - before, expected);
        QCOMPARE(framing.discardedCount(), overlong);
        QVERIFY(rig.paintsCell(1));
        rig.checkBounds();
    }

    void logFileWithBrokenLines() {
        QTemporaryDir dir;
        MonitorConfig config;
        config.logFile = dir.filePath(QStringLiteral("Monitor.Log"));
        Rig rig(config);
        QRandomGenerator random(99);
        // Good records among lines that are not records, or are records of strange shape.
        QByteArray log;
        QStringList good;
        const QList<QByteArray> broken{
            "",
            "\r\n",
            "no comma at all",
            "1500",
            "1500,",
            "1500,\"",
            "1500,\"unterminated",
            ",\"no delay\"",
            "-2147483648,\"t101,1,2,0\"",
            "2147483647,\"A far future\"",
            "99999999999999,\"A delay beyond 32 bits\"",
            "abc,\"A delay not a number\"",
            "1600,\"A \"quoted\" inside\"",
            QByteArray("1700,\"A nul\0inside\"", 19),
            "1800,\"A \xff\xfe\xed\xa0\x80 not utf-8\"",
            "1900,\"" + QByteArray(1 << 20, 'x') + "\"",
            "\r",
            "\r\r\r",
            "2000,\"A lone CR\"\rstill the same line",
        };
        int delay = 0;
        for (int i = 0; i < 60; ++i) {
            const QByteArray& b = broken.at(i % broken.size());
            log += b + (i % 3 == 0 ? "\n" : "\r\n");
            if (i % 2 == 0) {
                delay += random.bounded(2000);
                good << QStringLiteral("good %1").arg(i);
                log += formatLogRecord(delay, QLatin1Char('A') + good.last());
            }
        }
        // A tail of random bytes without a final line end.
        for (int i = 0; i < 5000; ++i)
            log += static_cast<char>(random.bounded(256));
        {
            QFile f(config.logFile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(log);
        }
        rig.monitor().ui().trigger(MenuItem::PlayLog);
        QVERIFY(rig.monitor().ui().isChecked(MenuItem::PlayLog));
        // Every gap is under a minute: this plays the whole file.
        for (int i = 0; i < 400 && rig.monitor().ui().isChecked(MenuItem::PlayLog); ++i)
            rig.t.services.clock.advance(60000);
        QVERIFY(!rig.monitor().ui().isChecked(MenuItem::PlayLog));
        QVERIFY(rig.t.services.dialogs.messages.last().contains(QStringLiteral("End Of Play Back")));
        // The good records all came through, in order.
        QStringList alarms;
        for (const QString& line : rig.monitor().alarms().lines()) {
            const qsizetype at = line.indexOf(QStringLiteral("---good "));
            if (at >= 0)
                alarms << line.mid(at + 3);
        }
        QCOMPARE(alarms, good);
        QVERIFY(rig.paintsCell(5));
        rig.checkBounds();
    }

    void configurationFilesOfRandomBytesStillRun() {
        // Random files, and the sample file with random damage: whatever the reader makes of them, the
        // monitor starts with it, runs its timers for a few minutes and paints a report.
        QFile sample(QStringLiteral(CORVANE_SOURCE_DIR "/data/monitor.ini"));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        const QByteArray base = sample.readAll();
        QRandomGenerator random(31337);
        const QStringList keys = ini::readKeys();
        for (int round = 0; round < 120; ++round) {
            QByteArray content;
            if (round % 3 == 0) {
                for (int n = random.bounded(3000); n > 0; --n)
                    content += static_cast<char>(random.bounded(256));
            } else {
                content = base;
                // Every key once more, with a hostile value; later keys override earlier ones.
                for (const QString& key : keys) {
                    const QList<QByteArray>& values = hostileValues();
                    content += key.toLatin1() + ", " +
                               values.at(random.bounded(static_cast<int>(values.size()))) +
                               (random.bounded(2) ? "\r\n" : "\n");
                }
                for (int n = random.bounded(20); n > 0; --n)
                    content[random.bounded(static_cast<int>(content.size()))] =
                        static_cast<char>(random.bounded(256));
            }
            MonitorConfig config;
            ini::read(content, config);
            // The link is not under test here: no engine, no sockets.
            config.demo = false;
            Rig rig(config);
            Startup::applySettings(rig.monitor());
            for (int s = 0; s < 200; ++s)
                rig.t.services.clock.advance(1000);
            rig.feed("ATrunk 305 down");
            QVERIFY2(rig.paintsCell(round), content.left(200).constData());
            rig.checkBounds(20);
        }
    }
};

QTEST_MAIN(TestHostileInput)
#include "test_hostile_input.moc"
