// monitor.ini: reading, writing, and the file handling around writing.

#include "app/IniFile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <QProcess>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <sys/resource.h>

using namespace corvane;

namespace {

MonitorConfig readText(const QByteArray& text, MonitorConfig config = {}) {
    ini::read(text, config);
    return config;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}

void putFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Every field, so that a comparison names the one that differs.
QStringList describe(const MonitorConfig& c) {
    QStringList d;
    d << QStringLiteral("useUdp=%1").arg(c.useUdp) << QStringLiteral("enginePort=%1").arg(c.enginePort)
      << QStringLiteral("monitorPort=%1").arg(c.monitorPort)
      << QStringLiteral("engineAddress=") + c.engineAddress << QStringLiteral("allowFrom=") + c.allowFrom
      << QStringLiteral("title=") + c.title
      << QStringLiteral("logoPath=") + c.logoPath
      << QStringLiteral("deltaY=%1").arg(static_cast<double>(c.deltaY))
      << QStringLiteral("watchdogProgress=%1").arg(c.watchdogProgress)
      << QStringLiteral("logFile=") + c.logFile << QStringLiteral("demo=%1").arg(c.demo)
      << QStringLiteral("relay=") + c.relayWindowTitle;
    for (const ScheduledCommand& s : c.schedule)
        d << QStringLiteral("sched=") + s.pattern + u'|' + s.command;
    d << QStringLiteral("font=%1/%2/%3").arg(c.fontNarrow).arg(c.fontBold).arg(c.fontSize)
      << QStringLiteral("pagees=") + c.pagerRecipients
      << QStringLiteral("pagerOn=%1").arg(c.pagerEnabledAtStart)
      << QStringLiteral("numMask=") + c.alarmNumberMask << QStringLiteral("strMask=") + c.alarmStringMask
      << QStringLiteral("allow=") + c.alarmStringAllow
      << QStringLiteral("groupColor=%1").arg(c.groupColorScheme)
      << QStringLiteral("wdto=%1").arg(c.watchdogTimeout) << QStringLiteral("maxAlarms=") + c.maxAlarms
      << QStringLiteral("zoom=%1").arg(c.boardZoomPercent);
    return d;
}

// What the writer in a child process writes.
MonitorConfig childConfig() {
    MonitorConfig c;
    c.title = QStringLiteral("After");
    return c;
}

} // namespace

class ConfigTest : public QObject {
    Q_OBJECT
private slots:
    void tcpLinkFileLeavesEverythingElseAtDefault() {
        const MonitorConfig c =
            readText("TCP, 1\r\nENG_LOC_PORT, 1260\r\nENG_LOC_IP, \"10.1.2.3\"\r\nMON_PORT, 6300\r\n");
        MonitorConfig expected;
        expected.useUdp = false;
        expected.enginePort = 1260;
        expected.monitorPort = 6300;
        expected.engineAddress = QStringLiteral("10.1.2.3");
        QCOMPARE(describe(c), describe(expected));
        QVERIFY(!c.present.setFont && !c.present.watchdogProgress && !c.present.maxAlarms);
        // The same file saved with a byte-order mark.
        QCOMPARE(describe(readText("\xEF\xBB\xBFTCP, 1\r\nENG_LOC_PORT, 1260\r\nENG_LOC_IP, \"10.1.2.3\"\r\n"
                                   "MON_PORT, 6300\r\n")),
                 describe(expected));
    }

    void keysAreCaseInsensitiveAndPresenceKeysIgnoreTheirValue() {
        MonitorConfig c = readText("  tcp, 0\nDemo, 0\nplay_sound, 0\r\n  Wd_Progress , 0\r\n");
        QVERIFY(!c.useUdp);
        QVERIFY(c.demo);
        QVERIFY(c.present.playSound);
        QVERIFY(c.present.watchdogProgress);
        QVERIFY(!c.watchdogProgress);
        c = readText("WD_PROGRESS, 7\r\n");
        QVERIFY(c.watchdogProgress);
    }

    void quotesKeepCommasAndAMissingQuoteShiftsThePairing() {
        MonitorConfig c = readText("TITLE, \"North, Site 2; main\"\r\nMON_PORT, 6300\r\n");
        QCOMPARE(c.title, QStringLiteral("North, Site 2; main"));
        QCOMPARE(c.monitorPort, 6300);
        // Unquoted, the title ends at the comma and "Site" becomes a key: every later pair is off by one.
        c = readText("TITLE, North, Site\r\nENG_LOC_PORT, 1260\r\nMON_PORT, 6300\r\n");
        QCOMPARE(c.title, QStringLiteral("North"));
        QCOMPARE(c.enginePort, 0);
        QCOMPARE(c.monitorPort, 0);
    }

    void commentedAndUnknownKeysAreSkippedWithTheirValues() {
        const MonitorConfig c = readText(
            ";MAIL_MASK, \"1*2\"\r\nCOLOUR, \"x\"\r\nMAIL_STR_MASK, \"down\"\r\n;MAIL_PAGEES, \"a@b\"\r\n");
        QVERIFY(c.alarmNumberMask.isEmpty());
        QCOMPARE(c.alarmStringMask, QStringLiteral("down"));
        QVERIFY(c.pagerRecipients.isEmpty());
        QVERIFY(!c.pagerEnabledAtStart);
    }

    void numericValues() {
        // Later pairs win; a value that does not convert leaves the setting as it was.
        MonitorConfig c =
            readText("ENG_LOC_PORT, 1260\r\nENG_LOC_PORT, 40000\r\nMON_PORT, 6300\r\nMON_PORT, abc\r\n"
                     "GROUP_COLOR, -1\r\nWATCHDOG_TO, 99999999999999999999999\r\n");
        QCOMPARE(c.enginePort, 1260);
        QCOMPARE(c.monitorPort, 6300);
        QCOMPARE(c.groupColorScheme, -1);
        QCOMPARE(c.watchdogTimeout, 150);
        // The leading number counts, rounded halves to even; quoted numbers convert too.
        c = readText("ENG_LOC_PORT, 1260abc\r\nMON_PORT, \"6300\"\r\nGROUP_COLOR, 2.5\r\nWATCHDOG_TO, 3.5\r\n"
                     "DELTA_Y, 1.75\r\n");
        QCOMPARE(c.enginePort, 1260);
        QCOMPARE(c.monitorPort, 6300);
        QCOMPARE(c.groupColorScheme, 2);
        QCOMPARE(c.watchdogTimeout, 4);
        QCOMPARE(c.deltaY, 1.75f);
        c = readText("MON_PORT, 1\r\nTITLE, \"a\"\r\nMON_PORT, 2\r\nTITLE, \"b\"\r\n");
        QCOMPARE(c.monitorPort, 2);
        QCOMPARE(c.title, QStringLiteral("b"));
        c = readText("DELTA_Y, 1e300\r\nMON_PORT, 32767\r\nENG_LOC_PORT, -32768\r\n");
        QCOMPARE(c.deltaY, 2.0f);
        QCOMPARE(c.monitorPort, 32767);
        // A port is never negative: such a value would wrap to some other port.
        QCOMPARE(c.enginePort, 0);
        c = readText("MON_PORT, 6300\r\nMON_PORT, -1\r\nENG_LOC_PORT, 1260\r\nENG_LOC_PORT, 65535\r\n");
        QCOMPARE(c.monitorPort, 6300);
        QCOMPARE(c.enginePort, 1260);
    }

    void textSettingsTakeAnUnquotedNumberAsItsDecimalText() {
        const MonitorConfig c = readText("TITLE, 007\r\nENG_LOC_IP, 10.0.0.1\r\nLOG_FILE, \"007\"\r\n");
        QCOMPARE(c.title, QStringLiteral("7"));
        QCOMPARE(c.engineAddress, QStringLiteral("10.0.0.1"));
        QCOMPARE(c.logFile, QStringLiteral("007"));
    }

    void maxAlarmsOnlyWhenNonZero() {
        MonitorConfig c = readText("MAX_ALARMS, 0\r\n");
        QCOMPARE(c.maxAlarms, QStringLiteral("200"));
        QVERIFY(!c.present.maxAlarms);
        c = readText("MAX_ALARMS, abc\r\n");
        QVERIFY(!c.present.maxAlarms);
        c = readText("MAX_ALARMS,350\r\n");
        QCOMPARE(c.maxAlarms, QStringLiteral("350"));
        QVERIFY(c.present.maxAlarms);
    }

    void scheduledCommandsFillElevenEntries() {
        QByteArray text;
        for (int i = 0; i < 12; ++i)
            text += QStringLiteral("SCHED_CMD, \"  ?\?/?\?/?? 0%1:00:00 -  cmd%1  \"\r\n").arg(i).toLatin1();
        const MonitorConfig c = readText(text);
        for (int i = 0; i < 11; ++i) {
            QCOMPARE(c.schedule[static_cast<std::size_t>(i)].pattern,
                     QStringLiteral("?\?/?\?/?? 0%1:00:00").arg(i));
            QCOMPARE(c.schedule[static_cast<std::size_t>(i)].command, QStringLiteral("cmd%1").arg(i));
        }
        // The command may hold "-"; only the first one separates.
        const MonitorConfig d = readText("SCHED_CMD,\"12/24/?? 18:00:00 - A-B - C\"\r\nSCHED_CMD, nodash\r\n"
                                         "SCHED_CMD, \"?\?/?\?/?? ??:00:00 - W\"\r\n");
        QCOMPARE(d.schedule[0].command, QStringLiteral("A-B - C"));
        QCOMPARE(d.schedule[1].command, QStringLiteral("W"));
        QVERIFY(d.schedule[2].command.isEmpty());
    }

    void fontSettings_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("narrow");
        QTest::addColumn<int>("bold");
        QTest::addColumn<int>("size");
        QTest::newRow("all three") << QByteArray("\"N1B0S10\"") << 1 << 0 << 10;
        QTest::newRow("too big") << QByteArray("\"N0B1S20\"") << 0 << 1 << 12;
        QTest::newRow("too small") << QByteArray("\"N0B1S5\"") << 0 << 1 << 8;
        QTest::newRow("any order") << QByteArray("\"S11 N1 B1\"") << 1 << 1 << 11;
        // A missing letter reads the whole value, which is 0 when it begins with a letter.
        QTest::newRow("missing letters") << QByteArray("\"B1\"") << 0 << 1 << 8;
        QTest::newRow("plain number") << QByteArray("10") << 10 << 10 << 10;
        // A part that does not fit keeps its value; the others still apply.
        QTest::newRow("overflow") << QByteArray("\"N99999B0S11\"") << 0 << 0 << 11;
    }
    void fontSettings() {
        QFETCH(QByteArray, value);
        QFETCH(int, narrow);
        QFETCH(int, bold);
        QFETCH(int, size);
        const MonitorConfig c = readText("SET_FONT, " + value + "\r\n");
        QVERIFY(c.present.setFont);
        QCOMPARE(c.fontNarrow, narrow);
        QCOMPARE(c.fontBold, bold);
        QCOMPARE(c.fontSize, size);
    }

    void boardZoom_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("percent");
        QTest::newRow("a step") << QByteArray("150") << 150;
        QTest::newRow("smallest") << QByteArray("50") << 50;
        QTest::newRow("largest") << QByteArray("400") << 400;
        QTest::newRow("between steps, rounded") << QByteArray("133.6") << 134;
        QTest::newRow("quoted") << QByteArray("\"200\"") << 200;
        QTest::newRow("leading number") << QByteArray("175%") << 175;
        // Anything else leaves the designed size.
        QTest::newRow("too small") << QByteArray("49") << 100;
        QTest::newRow("too large") << QByteArray("401") << 100;
        QTest::newRow("zero") << QByteArray("0") << 100;
        QTest::newRow("negative") << QByteArray("-150") << 100;
        QTest::newRow("a factor, not a percentage") << QByteArray("1.5") << 100;
        QTest::newRow("huge") << QByteArray("1e308") << 100;
        QTest::newRow("text") << QByteArray("large") << 100;
        QTest::newRow("empty") << QByteArray("") << 100;
    }
    void boardZoom() {
        QFETCH(QByteArray, value);
        QFETCH(int, percent);
        const MonitorConfig c = readText("BOARD_ZOOM, " + value + "\r\nMON_PORT, 6300\r\n");
        QCOMPARE(c.boardZoomPercent, percent);
        QCOMPARE(c.monitorPort, 6300);
    }

    void badInputNeverStopsTheReader() {
        // A key without a value, an empty line, blanks only: the next pair is still read.
        MonitorConfig c = readText("ENG_LOC_PORT,\r\n\r\n   \r\nMON_PORT, 6300\r\nGROUP_COLOR,");
        QCOMPARE(c.enginePort, 0);
        QCOMPARE(c.monitorPort, 6300);
        QCOMPARE(c.groupColorScheme, 3);
        // An unterminated quote swallows the rest of the file.
        c = readText("MON_PORT, 6300\r\nTITLE, \"abc\r\nENG_LOC_PORT, 1\r\n");
        QCOMPARE(c.monitorPort, 6300);
        QCOMPARE(c.title, QStringLiteral("abc\r\nENG_LOC_PORT, 1\r\n"));
        QCOMPARE(c.enginePort, 0);
        // Text after a closing quote is dropped up to the delimiter.
        c = readText("TITLE, \"abc\"def, MON_PORT, 1\r\n");
        QCOMPARE(c.title, QStringLiteral("abc"));
        QCOMPARE(c.monitorPort, 1);
        // Binary bytes are 8-bit text like any other.
        static const char binary[] = "TITLE, a\0\xff\x80z\r\nMON_PORT, 5\r\n";
        c = readText(QByteArray(binary, sizeof binary - 1));
        QCOMPARE(c.title, QString::fromLatin1(QByteArray("a\0\xff\x80z", 5)));
        QCOMPARE(c.monitorPort, 5);
        // A line of several megabytes.
        const QByteArray huge(6 * 1024 * 1024, 'x');
        c = readText("TITLE, " + huge + "\r\nMON_PORT, 6300\r\n");
        QCOMPARE(c.title.size(), huge.size());
        QCOMPARE(c.monitorPort, 6300);
        // Random garbage: whatever it reads, it must come back.
        auto* random = QRandomGenerator::global();
        for (int round = 0; round < 300; ++round) {
            QByteArray junk(static_cast<int>(random->bounded(4000)), Qt::Uninitialized);
            for (char& ch : junk) {
                const quint32 pick = random->bounded(10u);
                ch = pick == 0   ? ','
                     : pick == 1 ? '"'
                     : pick == 2 ? '\n'
                                 : static_cast<char>(random->bounded(256u));
            }
            MonitorConfig g;
            ini::read(junk, g);
            QVERIFY(g.fontSize >= 8 && g.fontSize <= 12);
        }
    }

    void defaultsWriteTheExpectedFile() {
        MonitorConfig c;
        c.logFile = QStringLiteral("/opt/corvane/Monitor.Log");
        QCOMPARE(ini::content(c, {}), QByteArray("ENG_LOC_PORT, 0\r\n"
                                                 "MON_PORT, 0\r\n"
                                                 "ENG_LOC_IP, \"\"\r\n"
                                                 "TITLE, \"\"\r\n"
                                                 "LOGO_PATH, \"\"\r\n"
                                                 "DELTA_Y, 2\r\n"
                                                 "GROUP_COLOR, 3\r\n"
                                                 "LOG_FILE, \"/opt/corvane/Monitor.Log\"\r\n"
                                                 "SET_FONT, \"N0B1S9\"\r\n"));
    }

    void everySettingSurvivesAWriteAndARead() {
        MonitorConfig c;
        c.useUdp = false;
        c.enginePort = 1260;
        c.monitorPort = 6300;
        c.engineAddress = QStringLiteral("switch.example");
        c.allowFrom = QStringLiteral("10.1.2.3;fe80::1");
        c.title = QStringLiteral("North, site 2; \xe9t\xe9");
        c.logoPath = QStringLiteral("/opt/logo.png");
        c.deltaY = 1.5f;
        c.watchdogProgress = true;
        c.logFile = QStringLiteral("/var/log/m.log");
        c.demo = true;
        c.relayWindowTitle = QStringLiteral("UDPRelay v2");
        c.schedule[0] = {QStringLiteral("?\?/?\?/?? 23:00:00"), QStringLiteral("SSSSS")};
        c.schedule[3] = {QStringLiteral("12/24/?? 18:00:00"), QStringLiteral("A-B")};
        c.fontNarrow = 1;
        c.fontBold = 0;
        c.fontSize = 11;
        c.pagerRecipients = QStringLiteral("a@b.example;c@d.example");
        c.alarmNumberMask = QStringLiteral("1*7*12");
        c.alarmStringMask = QStringLiteral("down;lost");
        c.alarmStringAllow = QStringLiteral("T1");
        c.groupColorScheme = 1;
        c.boardZoomPercent = 175;
        ini::LiveSettings live;
        live.allowSounds = true;
        live.pagerEnabled = true;
        live.heartbeatIntervalMs = 3005;
        live.maxListCountText = QStringLiteral("350");
        const QByteArray written = ini::content(c, live);
        QVERIFY(written.contains("\r\nSCHED_CMD,\"12/24/?? 18:00:00 - A-B\"\r\n"));
        QVERIFY(written.contains("\r\nBOARD_ZOOM, 175\r\nWATCHDOG_TO, 300\r\nMAX_ALARMS,350\r\n"));

        const MonitorConfig back = readText(written);
        MonitorConfig expected = c;
        // Schedule entries are packed in the order they are read.
        expected.schedule[1] = c.schedule[3];
        expected.schedule[3] = {};
        expected.pagerEnabledAtStart = true;
        expected.watchdogTimeout = 300;
        expected.maxAlarms = QStringLiteral("350");
        QCOMPARE(describe(back), describe(expected));
        QVERIFY(back.present.playSound && back.present.setFont && back.present.relayWindowTitle &&
                back.present.pagerRecipients && back.present.maxAlarms && back.present.watchdogProgress);
        // Reading its own output again changes nothing.
        QCOMPARE(ini::content(back, live), written);
    }

    void aQuoteInsideAValueCannotShiftThePairs() {
        MonitorConfig c;
        c.title = QStringLiteral("The \"main\" site");
        c.monitorPort = 6300;
        const MonitorConfig back = readText(ini::content(c, {}));
        QCOMPARE(back.title, QStringLiteral("The 'main' site"));
        QCOMPARE(back.monitorPort, 6300);
    }

    void aDisabledPagerIsWrittenCommentedOut() {
        MonitorConfig c;
        c.pagerRecipients = QStringLiteral("ops@example");
        c.alarmNumberMask = QStringLiteral("3");
        c.alarmStringMask = QStringLiteral("noise");
        c.alarmStringAllow = QStringLiteral("T1");
        const QByteArray written = ini::content(c, {});
        QVERIFY(written.contains(
            "\r\n;MAIL_PAGEES, \"ops@example\"\r\n;MAIL_MASK, \"3\"\r\n;MAIL_STR_ALLOW, \"T1\"\r\n"));
        QVERIFY(!written.contains("MAIL_STR_MASK"));
        const MonitorConfig back = readText(written);
        QVERIFY(!back.pagerEnabledAtStart);
        QVERIFY(back.pagerRecipients.isEmpty() && back.alarmNumberMask.isEmpty() &&
                back.alarmStringMask.isEmpty() && back.alarmStringAllow.isEmpty());
        // Nothing to keep, nothing written.
        QVERIFY(!ini::content(MonitorConfig{}, {}).contains("MAIL"));
    }

    void conditionalLines() {
        ini::LiveSettings live;
        live.maxListCountText = QStringLiteral("200abc");
        QVERIFY(!ini::content({}, live).contains("MAX_ALARMS"));
        live.maxListCountText = QStringLiteral(" 20");
        QVERIFY(ini::content({}, live).endsWith("\r\nMAX_ALARMS, 20\r\n"));
        live.heartbeatIntervalMs = 0;
        QVERIFY(ini::content({}, live).contains("\r\nWATCHDOG_TO, 0\r\n"));
        live.heartbeatIntervalMs = 1509;
        QVERIFY(ini::content({}, live).contains("\r\nWATCHDOG_TO, 150\r\n"));
    }

    void writingKeepsThePreviousFileAsOld() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("monitor.ini"));
        MonitorConfig c;
        // No current file: the new one is written all the same.
        QVERIFY(ini::writeFile(path, c, {}).inPlace);
        const QByteArray first = fileBytes(path);
        QCOMPARE(first, ini::content(c, {}));
        QVERIFY(!QFile::exists(path + QStringLiteral(".old")));
        c.monitorPort = 6300;
        QCOMPARE(ini::writeFile(path, c, {}).failure, QString());
        QCOMPARE(fileBytes(path + QStringLiteral(".old")), first);
        c.monitorPort = 6301;
        QVERIFY(ini::writeFile(path, c, {}).inPlace);
        QVERIFY(fileBytes(path + QStringLiteral(".old")).contains("MON_PORT, 6300\r\n"));
        QVERIFY(fileBytes(path).contains("MON_PORT, 6301\r\n"));
        // No temporary files are left behind.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
        MonitorConfig back;
        QVERIFY(ini::readFile(path, back));
        QCOMPARE(back.monitorPort, 6301);
        QVERIFY(!ini::readFile(dir.filePath(QStringLiteral("absent.ini")), back));
    }

    void aFailedWriteLosesNothingAndSaysWhy() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("monitor.ini"));
        putFile(path, "MON_PORT, 1\r\n");
        putFile(path + QStringLiteral(".old"), "MON_PORT, 0\r\n");
        // Files may not grow beyond 16 bytes: the new content cannot be written.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit tight = saved;
        tight.rlim_cur = 16;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        const ini::WriteOutcome outcome = ini::writeFile(path, MonitorConfig{}, {});
        setrlimit(RLIMIT_FSIZE, &saved);
        QVERIFY(!outcome.inPlace);
        QCOMPARE(outcome.failure, QString::fromLocal8Bit(std::strerror(EFBIG)));
        QCOMPARE(fileBytes(path), QByteArray("MON_PORT, 1\r\n"));
        QCOMPARE(fileBytes(path + QStringLiteral(".old")), QByteArray("MON_PORT, 0\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
        // A folder that does not exist: nothing to lose, and no crash.
        const ini::WriteOutcome nowhere =
            ini::writeFile(dir.filePath(QStringLiteral("none/monitor.ini")), MonitorConfig{}, {});
        QVERIFY(!nowhere.inPlace);
        QCOMPARE(nowhere.failure, QString::fromLocal8Bit(std::strerror(ENOENT)));
    }

    // A writer killed after each of its steps: whatever is left, the next start finds a whole file,
    // the old one or the new one.
    void aWriterKilledAtAnyStepLeavesAWholeFile_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("newContent");
        QTest::newRow("new file written") << int(ini::WriteStep::NewFileWritten) << false;
        QTest::newRow("previous kept as .old") << int(ini::WriteStep::PreviousKept) << false;
        QTest::newRow("new file in place") << int(ini::WriteStep::NewFileInPlace) << true;
    }
    void aWriterKilledAtAnyStepLeavesAWholeFile() {
        QFETCH(int, step);
        QFETCH(bool, newContent);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("monitor.ini"));
        const QByteArray before = "TCP, 1\r\nMON_PORT, 6300\r\nTITLE, \"Before\"\r\n";
        putFile(path, before);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--write-and-die"), QString::number(step), path});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        MonitorConfig left;
        QVERIFY(ini::readFile(path, left));
        QCOMPARE(fileBytes(path), newContent ? ini::content(childConfig(), {}) : before);
        QCOMPARE(left.title, QString::fromLatin1(newContent ? "After" : "Before"));
        if (step != int(ini::WriteStep::NewFileWritten))
            QCOMPARE(fileBytes(path + QStringLiteral(".old")), before);
        // The next write goes through whatever a crash left behind.
        QVERIFY(ini::writeFile(path, MonitorConfig{}, {}).inPlace);
        QCOMPARE(fileBytes(path), ini::content(MonitorConfig{}, {}));
    }

    // A folder that takes no new file (read-only), holding a file that is writable: the file is
    // rewritten where it stands.
    void aReadOnlyFolderGetsTheFileRewrittenInPlace() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("monitor.ini"));
        putFile(path, "MON_PORT, 1\r\n");
        QProcess child;
        if (geteuid() == 0) {
            // Permissions do not stop root: a read-only mount of the folder, with the file mounted
            // writable on top, in a mount namespace of the child's own.
            const QString d = dir.path();
            child.start(QStringLiteral("unshare"),
                        {QStringLiteral("--mount"), QStringLiteral("--propagation"), QStringLiteral("private"),
                         QStringLiteral("sh"), QStringLiteral("-ec"),
                         QStringLiteral("mount --bind \"$1\" \"$1\"; mount --bind \"$2\" \"$2\"; "
                                        "mount -o remount,bind,ro \"$1\"; exec \"$3\" --write \"$2\""),
                         QStringLiteral("sh"), d, path, QCoreApplication::applicationFilePath()});
        } else {
            QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--write"), path});
        }
        QVERIFY(child.waitForFinished(30000));
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 child.readAllStandardError().constData());
        QCOMPARE(fileBytes(path), ini::content(childConfig(), {}));
        QVERIFY(!QFile::exists(path + QStringLiteral(".old")));
    }

    void ownKeysSurviveAMaximumTypedWithAComma() {
        MonitorConfig c;
        c.mailServer = QStringLiteral("smtp://mail.example:25");
        c.mailUser = QStringLiteral("ops");
        ini::LiveSettings live;
        live.maxListCountText = QStringLiteral("1,000");
        const QByteArray written = ini::content(c, live);
        // The lines that have always been written stay as they were, last.
        QVERIFY(written.endsWith("SET_FONT, \"N0B1S9\"\r\nMAIL_SERVER, \"smtp://mail.example:25\"\r\n"
                                 "MAIL_USER, \"ops\"\r\nMAX_ALARMS,1,000\r\n"));
        const MonitorConfig back = readText(written);
        QCOMPARE(back.mailServer, c.mailServer);
        QCOMPARE(back.mailUser, c.mailUser);
        QCOMPARE(back.maxAlarms, QStringLiteral("1"));
    }
};

// The writer as a separate process, so that a test can kill it between two steps or keep it out of a
// folder: "--write-and-die STEP PATH" kills itself once STEP is done, "--write PATH" just writes.
int main(int argc, char** argv) {
    if (argc == 4 && qstrcmp(argv[1], "--write-and-die") == 0) {
        const int dieAfter = std::atoi(argv[2]);
        ini::writeFile(QFile::decodeName(argv[3]), childConfig(), {}, [dieAfter](ini::WriteStep step) {
            if (int(step) == dieAfter)
                std::raise(SIGKILL);
        });
        return 0;
    }
    if (argc == 3 && qstrcmp(argv[1], "--write") == 0) {
        const ini::WriteOutcome outcome = ini::writeFile(QFile::decodeName(argv[2]), childConfig(), {});
        if (!outcome.failure.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(outcome.failure));
        return outcome.inPlace && outcome.failure.isEmpty() ? 0 : 1;
    }
    QCoreApplication app(argc, argv);
    ConfigTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_config.moc"
