// monitor.ini: reading, writing, and the file handling around writing.

#include "app/IniFile.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

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
      << QStringLiteral("title=") + c.title << QStringLiteral("logoPath=") + c.logoPath
      << QStringLiteral("deltaY=%1").arg(static_cast<double>(c.deltaY))
      << QStringLiteral("watchdogProgress=%1").arg(c.watchdogProgress)
      << QStringLiteral("logFile=") + c.logFile << QStringLiteral("demo=%1").arg(c.demo)
      << QStringLiteral("relay=") + c.relayWindowTitle;
    for (std::size_t i = 0; i < c.schedule.size(); ++i)
        d << QStringLiteral("sched%1=").arg(i) + c.schedule[i].pattern + u'|' + c.schedule[i].command;
    d << QStringLiteral("font=%1/%2/%3").arg(c.fontNarrow).arg(c.fontBold).arg(c.fontSize)
      << QStringLiteral("pagees=") + c.pagerRecipients
      << QStringLiteral("pagerOn=%1").arg(c.pagerEnabledAtStart)
      << QStringLiteral("numMask=") + c.alarmNumberMask << QStringLiteral("strMask=") + c.alarmStringMask
      << QStringLiteral("allow=") + c.alarmStringAllow
      << QStringLiteral("groupColor=%1").arg(c.groupColorScheme)
      << QStringLiteral("wdto=%1").arg(c.watchdogTimeout) << QStringLiteral("maxAlarms=") + c.maxAlarms
      << QStringLiteral("mail=%1|%2|%3|%4|%5")
             .arg(c.mailServer, c.mailSender, c.mailCaFile, c.mailUser, c.mailPassword)
      << QStringLiteral("zoom=%1").arg(c.boardZoomPercent)
      << QStringLiteral("present=%1%2%3%4%5%6")
             .arg(c.present.watchdogProgress ? "W" : "")
             .arg(c.present.relayWindowTitle ? "C" : "")
             .arg(c.present.playSound ? "P" : "")
             .arg(c.present.setFont ? "F" : "")
             .arg(c.present.pagerRecipients ? "M" : "")
             .arg(c.present.maxAlarms ? "A" : "");
    return d;
}

// The fields that differ from the defaults.
QStringList changed(const MonitorConfig& c) {
    const QStringList d = describe(c), defaults = describe({});
    QStringList out;
    for (qsizetype i = 0; i < d.size(); ++i)
        if (d[i] != defaults[i])
            out << d[i];
    return out;
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
    // What a file's content changes from the defaults.
    void reading_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("changes");
        QTest::newRow("a TCP link")
            << QByteArray("TCP, 1\r\nENG_LOC_PORT, 1260\r\nENG_LOC_IP, \"10.1.2.3\"\r\nMON_PORT, 6300\r\n")
            << QStringList{"useUdp=0", "enginePort=1260", "monitorPort=6300", "engineAddress=10.1.2.3"};
        QTest::newRow("saved with a byte-order mark")
            << QByteArray("\xEF\xBB\xBFMON_PORT, 6300\r\n") << QStringList{"monitorPort=6300"};
        QTest::newRow("keys in any case, presence keys whatever their value")
            << QByteArray("  tcp, 0\nDemo, 0\nplay_sound, 0\r\n  Wd_Progress , 0\r\n")
            << QStringList{"useUdp=0", "demo=1", "present=WP"};
        QTest::newRow("quotes keep commas")
            << QByteArray("TITLE, \"North, Site 2; main\"\r\nMON_PORT, 6300\r\n")
            << QStringList{"monitorPort=6300", "title=North, Site 2; main"};
        // Unquoted, the title ends at the comma and "Site" becomes a key: every later pair is off by one.
        QTest::newRow("a missing quote shifts the pairing")
            << QByteArray("TITLE, North, Site\r\nENG_LOC_PORT, 1260\r\nMON_PORT, 6300\r\n")
            << QStringList{"title=North"};
        QTest::newRow("commented and unknown keys skipped with their values")
            << QByteArray(";MAIL_MASK, \"1*2\"\r\nCOLOUR, \"x\"\r\nMAIL_STR_MASK, \"down\"\r\n;MAIL_PAGEES, "
                          "\"a@b\"\r\n")
            << QStringList{"strMask=down"};
        QTest::newRow("a value that does not convert keeps the earlier one")
            << QByteArray("ENG_LOC_PORT, 1260\r\nENG_LOC_PORT, 40000\r\nMON_PORT, 6300\r\nMON_PORT, abc\r\n"
                          "GROUP_COLOR, -1\r\nWATCHDOG_TO, 99999999999999999999999\r\n")
            << QStringList{"enginePort=1260", "monitorPort=6300", "groupColor=-1"};
        QTest::newRow("leading numbers, halves to even, quoted numbers")
            << QByteArray(
                   "ENG_LOC_PORT, 1260abc\r\nMON_PORT, \"6300\"\r\nGROUP_COLOR, 2.5\r\nWATCHDOG_TO, 3.5\r\n"
                   "DELTA_Y, 1.75\r\n")
            << QStringList{"enginePort=1260", "monitorPort=6300", "deltaY=1.75", "groupColor=2", "wdto=4"};
        QTest::newRow("later pairs win")
            << QByteArray("MON_PORT, 1\r\nTITLE, \"a\"\r\nMON_PORT, 2\r\nTITLE, \"b\"\r\n")
            << QStringList{"monitorPort=2", "title=b"};
        // A port is never negative: such a value would wrap to some other port.
        QTest::newRow("the limits of the numbers")
            << QByteArray("DELTA_Y, 1e300\r\nMON_PORT, 32767\r\nMON_PORT, -1\r\nENG_LOC_PORT, 1260\r\n"
                          "ENG_LOC_PORT, -32768\r\nENG_LOC_PORT, 65535\r\n")
            << QStringList{"enginePort=1260", "monitorPort=32767"};
        QTest::newRow("an unquoted number as text")
            << QByteArray("TITLE, 007\r\nENG_LOC_IP, 10.0.0.1\r\nLOG_FILE, \"007\"\r\n")
            << QStringList{"engineAddress=10.0.0.1", "title=7", "logFile=007"};
        QTest::newRow("no maximum of 0 or text")
            << QByteArray("MAX_ALARMS, 0\r\nMAX_ALARMS, abc\r\n") << QStringList{};
        QTest::newRow("a maximum") << QByteArray("MAX_ALARMS,350\r\n")
                                   << QStringList{"maxAlarms=350", "present=A"};
        // The font's size is held to 8..12; a missing letter reads the whole value, which is 0 when it
        // begins with a letter; a part that does not fit keeps its value and the others still apply.
        const std::pair<const char*, const char*> fonts[] = {
            {"\"N1B0S10\"", "1/0/10"},    {"\"N0B1S20\"", "0/1/12"}, {"\"N0B1S5\"", "0/1/8"},
            {"\"S11 N1 B1\"", "1/1/11"},  {"\"B1\"", "0/1/8"},       {"10", "10/10/10"},
            {"\"N99999B0S11\"", "0/0/11"}};
        for (const auto& [value, font] : fonts)
            QTest::newRow(qPrintable(QStringLiteral("font %1").arg(value)))
                << QByteArray("SET_FONT, ") + value
                << QStringList{QStringLiteral("font=") + font, "present=F"};
        QTest::newRow("zoom, a step") << QByteArray("BOARD_ZOOM, 150") << QStringList{"zoom=150"};
        QTest::newRow("zoom, smallest") << QByteArray("BOARD_ZOOM, 50") << QStringList{"zoom=50"};
        QTest::newRow("zoom, largest") << QByteArray("BOARD_ZOOM, 400") << QStringList{"zoom=400"};
        QTest::newRow("zoom between steps, rounded")
            << QByteArray("BOARD_ZOOM, 133.6") << QStringList{"zoom=134"};
        // Any other zoom leaves the designed size, and the reader goes on.
        for (const char* zoom : {"49", "401", "0", "-150", "1.5", "1e308", "large", ""})
            QTest::newRow(qPrintable(QStringLiteral("zoom of %1").arg(zoom)))
                << QByteArray("BOARD_ZOOM, ") + zoom + "\r\nMON_PORT, 6300"
                << QStringList{"monitorPort=6300"};
        QByteArray twelve;
        QStringList eleven;
        for (int i = 0; i < 12; ++i) {
            twelve +=
                QStringLiteral("SCHED_CMD, \"  ?\?/?\?/?? 0%1:00:00 -  cmd%1  \"\r\n").arg(i).toLatin1();
            if (i < 11)
                eleven << QStringLiteral("sched%1=?\?/?\?/?? 0%1:00:00|cmd%1").arg(i);
        }
        QTest::newRow("eleven scheduled commands, trimmed") << twelve << eleven;
        QTest::newRow("the command after the first dash")
            << QByteArray("SCHED_CMD,\"12/24/?? 18:00:00 - A-B - C\"\r\nSCHED_CMD, nodash\r\n"
                          "SCHED_CMD, \"?\?/?\?/?? ??:00:00 - W\"\r\n")
            << QStringList{"sched0=12/24/?? 18:00:00|A-B - C", "sched1=?\?/?\?/?? ?\?:00:00|W"};
        // Bad input never stops the reader.
        QTest::newRow("keys without a value, blank lines")
            << QByteArray("ENG_LOC_PORT,\r\n\r\n   \r\nMON_PORT, 6300\r\nGROUP_COLOR,")
            << QStringList{"monitorPort=6300"};
        QTest::newRow("an unterminated quote swallows the rest")
            << QByteArray("MON_PORT, 6300\r\nTITLE, \"abc\r\nENG_LOC_PORT, 1\r\n")
            << QStringList{"monitorPort=6300", "title=abc\r\nENG_LOC_PORT, 1\r\n"};
        QTest::newRow("text after a closing quote dropped")
            << QByteArray("TITLE, \"abc\"def, MON_PORT, 1\r\n") << QStringList{"monitorPort=1", "title=abc"};
        const QByteArray huge(6 * 1024 * 1024, 'x');
        QTest::newRow("a line of several megabytes")
            << "TITLE, " + huge + "\r\nMON_PORT, 6300\r\n"
            << QStringList{"monitorPort=6300", "title=" + QString::fromLatin1(huge)};
        static const char binary[] = "TITLE, a\0\xff\x80z\r\nMON_PORT, 5\r\n";
        QTest::newRow("binary bytes as 8-bit text")
            << QByteArray(binary, sizeof binary - 1)
            << QStringList{"monitorPort=5",
                           QStringLiteral("title=") + QString::fromLatin1(QByteArray("a\0\xff\x80z", 5))};
    }
    void reading() {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, changes);
        QCOMPARE(changed(readText(text)), changes);
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
        c.title = QStringLiteral("The \"north\" site, 2; \xe9t\xe9");
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
        c.mailServer = QStringLiteral("smtp://mail.example:25");
        c.mailUser = QStringLiteral("ops");
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
        // A quote inside a value would end it early and shift every later pair.
        expected.title = QStringLiteral("The 'north' site, 2; \xe9t\xe9");
        // Schedule entries are packed in the order they are read.
        expected.schedule[1] = c.schedule[3];
        expected.schedule[3] = {};
        expected.pagerEnabledAtStart = true;
        expected.watchdogTimeout = 300;
        expected.maxAlarms = QStringLiteral("350");
        expected.present = {true, true, true, true, true, true};
        QCOMPARE(describe(back), describe(expected));
        // Reading its own output again changes nothing.
        QCOMPARE(ini::content(back, live), written);
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
        QCOMPARE(changed(readText(written)), QStringList{"present=F"});
    }

    void writingKeepsThePreviousFileAsOld() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("monitor.ini"));
        MonitorConfig c;
        // No current file: the new one is written all the same.
        QVERIFY(ini::writeFile(path, c, {}).inPlace);
        QVERIFY(!QFile::exists(path + QStringLiteral(".old")));
        for (int port : {6300, 6301}) {
            const QByteArray previous = fileBytes(path);
            c.monitorPort = port;
            QVERIFY(ini::writeFile(path, c, {}).inPlace);
            QCOMPARE(fileBytes(path + QStringLiteral(".old")), previous);
            QCOMPARE(fileBytes(path), ini::content(c, {}));
        }
        // No temporary files are left behind.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
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
                        {QStringLiteral("--mount"), QStringLiteral("--propagation"),
                         QStringLiteral("private"), QStringLiteral("sh"), QStringLiteral("-ec"),
                         QStringLiteral("mount --bind \"$1\" \"$1\"; mount --bind \"$2\" \"$2\"; "
                                        "mount -o remount,bind,ro \"$1\"; exec \"$3\" --write \"$2\""),
                         QStringLiteral("sh"), d, path, QCoreApplication::applicationFilePath()});
        } else {
            QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--write"), path});
        }
        QVERIFY(child.waitForFinished(30000));
        QFile::setPermissions(dir.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 child.readAllStandardError().constData());
        QCOMPARE(fileBytes(path), ini::content(childConfig(), {}));
        QVERIFY(!QFile::exists(path + QStringLiteral(".old")));
    }

    void theLiveSettingsAreWrittenAsTheyStand() {
        ini::LiveSettings quiet;
        quiet.maxListCountText = QStringLiteral("200abc"); // reads as the default, so it is not written
        quiet.heartbeatIntervalMs = 0;
        QVERIFY(ini::content({}, quiet).endsWith("\r\nWATCHDOG_TO, 0\r\n"));
        MonitorConfig c;
        c.mailServer = QStringLiteral("smtp://mail.example:25");
        c.mailUser = QStringLiteral("ops");
        ini::LiveSettings live;
        live.maxListCountText = QStringLiteral("1,000");
        const QByteArray written = ini::content(c, live);
        // The lines that have always been written stay as they were, last.
        QVERIFY(written.endsWith("SET_FONT, \"N0B1S9\"\r\nMAIL_SERVER, \"smtp://mail.example:25\"\r\n"
                                 "MAIL_USER, \"ops\"\r\nMAX_ALARMS,1,000\r\n"));
        QCOMPARE(readText(written).maxAlarms, QStringLiteral("1"));
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
