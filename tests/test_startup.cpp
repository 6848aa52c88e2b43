// Start-up: the command line, finding monitor.ini, the settings applied to the loaded window, "Make ini
// file", the splash, the about box, --help and --version, and the password prompt of the dialogs.

#include "alarms/AlarmList.h"
#include "app/IniFile.h"
#include "app/Monitor.h"
#include "app/SettingsFile.h"
#include "app/Startup.h"
#include "board/BoardView.h"
#include "operator/MainWindow.h"
#include "operator/SwitchCommands.h"
#include "platform/Dialogs.h"
#include "support/EngineSimProcess.h"
#include "support/TestMonitor.h"
#include "watchdogs/HeartbeatWatchdog.h"
#include "watchdogs/RelayWatchdog.h"
#include "windows/AboutBox.h"
#include "windows/SplashWindow.h"

#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QNetworkDatagram>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

using namespace corvane;
using corvane::test::TestPlatform;

namespace {

// A configuration that points the link at a port nobody answers, so that start-up sends into the void.
const QByteArray kQuietLink = "ENG_LOC_IP, \"127.0.0.1\"\r\nENG_LOC_PORT, 9\r\nMON_PORT, 0\r\n";

// A start-up in a program folder of its own, holding the files a test puts there.
struct Run {
    Run() : startup(services.platform, dir.path(), QStringLiteral("operator-desk-7")) {
        startup.showWindows = false;
        startup.quit = [this](int status) { quitStatus = status; };
    }
    void put(const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    bool start(const QString& iniArgument = {}) {
        return test::runStartup(startup, services.clock, iniArgument);
    }
    QTemporaryDir dir;
    TestPlatform services;
    Startup startup;
    int quitStatus = -1;
};

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void commandLine() {
        QCOMPARE(CommandLine::parse({"-h"}).action, CommandLine::Action::Help);
        const CommandLine blanks = CommandLine::parse({"  ", ""});
        QCOMPARE(blanks.action, CommandLine::Action::Run);
        QVERIFY(blanks.iniArgument.isEmpty());
        QCOMPARE(CommandLine::parse({"site", "2.ini "}).iniArgument, QStringLiteral("site 2.ini"));
        // The watch without a window: its options come first, the file after them as ever.
        const CommandLine watch = CommandLine::parse({"--record", "--headless", "site", "2.ini"});
        QVERIFY(watch.headless && watch.record);
        QCOMPARE(watch.iniArgument, QStringLiteral("site 2.ini"));
        const CommandLine named = CommandLine::parse({"site.ini", "--headless"});
        QVERIFY(!named.headless);
        QCOMPARE(named.iniArgument, QStringLiteral("site.ini --headless"));
        QCOMPARE(computerNameFrom(QStringLiteral("fifteen-chars-x")), QStringLiteral("fifteen-chars-x"));
        QCOMPARE(computerNameFrom(QStringLiteral("a-much-longer-host-name.example")),
                 QStringLiteral("a-much-longer-h"));
    }

    void aMissingFileEndsTheProgram() {
        Run run;
        QVERIFY(!run.start());
        QVERIFY(run.startup.exitCode() != 0);
        QCOMPARE(run.services.dialogs.messages.size(), 1);
        QVERIFY(run.services.dialogs.messages.front().endsWith(
            QStringLiteral("|INI file not found at ") + run.dir.filePath(QStringLiteral("monitor.ini"))));
        QVERIFY(!run.startup.monitor());
        QVERIFY(!run.startup.window());
    }

    // A blank command line reads monitor.ini; the window shows its title and logo, the board has the
    // focus, the about box comes and goes, and closing the window ends the program.
    void aBlankCommandLineReadsMonitorIni() {
        Run run;
        QImage logo(120, 24, QImage::Format_RGB32);
        logo.fill(Qt::blue);
        QVERIFY(logo.save(run.dir.filePath(QStringLiteral("logo.png"))));
        run.put("monitor.ini", kQuietLink + "TITLE, \"Main\"\r\nLOGO_PATH, \"" +
                                   run.dir.filePath(QStringLiteral("logo.png")).toLatin1() + "\"\r\n");
        QVERIFY(run.start(QStringLiteral("   ")));
        QCOMPARE(run.startup.window()->windowTitle(), QStringLiteral("Main"));
        QCOMPARE(run.startup.monitor()->computerName(), QStringLiteral("operator-desk-7"));
        QCOMPARE(run.startup.config().logFile, run.dir.filePath(QStringLiteral("Monitor.Log")));
        QVERIFY(!run.startup.splash());
        auto* image = qobject_cast<QLabel*>(run.startup.window()->elementWidget(Element::Image1));
        QVERIFY(image);
        QCOMPARE(
            image->pixmap().toImage().pixelColor(image->pixmap().width() / 2, image->pixmap().height() / 2),
            QColor(Qt::blue));
        auto* view = qobject_cast<BoardView*>(run.startup.window()->elementWidget(Element::Picture1));
        QVERIFY(view);
        QCOMPARE(run.startup.window()->focusWidget(), view->canvas());
        // Help > About: trigger() returns, the box is modeless.
        run.startup.monitor()->ui().trigger(MenuItem::About);
        AboutBox* first = run.startup.aboutBox();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        QVERIFY(!first->isModal());
        QVERIFY(!first->picIcon->pixmap().isNull());
        // System Info starts the tool, or says why not.
        run.services.launcher.systemInfoAvailable = false;
        first->cmdSysInfo->click();
        QCOMPARE(run.services.dialogs.messages,
                 QStringList{"|System Information Is Unavailable At This Time"});
        run.services.launcher.systemInfoAvailable = true;
        first->cmdSysInfo->click();
        QCOMPARE(run.services.launcher.systemInfoStarts, 2);
        QCOMPARE(run.services.dialogs.messages.size(), 1);
        first->cmdOK->click();
        QVERIFY(!first->isVisible());
        run.startup.monitor()->ui().trigger(MenuItem::About);
        QCOMPARE(run.startup.aboutBox(), first);
        QVERIFY(first->isVisible());
        run.startup.window()->close();
        QCOMPARE(run.quitStatus, 0);
    }

    // A name is looked for in the program's folder, a path taken as it is; an empty title keeps the
    // design caption.
    void aNamedFileIsRead() {
        Run run;
        run.put("site2.ini", kQuietLink + "TITLE, \"\"\r\n");
        QVERIFY(run.start(QStringLiteral(" site2.ini ")));
        QCOMPARE(run.startup.window()->windowTitle(), QStringLiteral("Monitor "));
        QCOMPARE(run.startup.monitor()->settingsFile().iniPath(),
                 run.dir.filePath(QStringLiteral("site2.ini")));
        Run elsewhere;
        QVERIFY(elsewhere.start(run.dir.filePath(QStringLiteral("site2.ini"))));
        QCOMPARE(elsewhere.startup.monitor()->settingsFile().iniPath(),
                 run.dir.filePath(QStringLiteral("site2.ini")));
    }

    void startUpHelloesTheEngineUnlessInDemonstrationMode() {
        // The engine's port must fit the setting's 16 bits.
        QUdpSocket engine;
        const quint16 port = test::EngineSimProcess::freeMonitorPort();
        QVERIFY(engine.bind(QHostAddress::LocalHost, port));
        const QByteArray link =
            "ENG_LOC_IP, \"127.0.0.1\"\r\nENG_LOC_PORT, " + QByteArray::number(port) + "\r\n";
        Run demo;
        demo.put("monitor.ini", link + "DEMO, 1\r\n");
        demo.put("Monitor.Log", "5,\"T10:00:00\"\r\n");
        QVERIFY(demo.start());
        QVERIFY(demo.startup.monitor()->ui().isChecked(MenuItem::PlayLog));
        QTest::qWait(300);
        QVERIFY(!engine.hasPendingDatagrams());
        Run live;
        live.put("monitor.ini", link);
        QVERIFY(live.start());
        QVERIFY(!live.startup.monitor()->ui().isChecked(MenuItem::PlayLog));
        QTRY_VERIFY(engine.hasPendingDatagrams());
        QCOMPARE(engine.receiveDatagram().data(), QByteArray("$operator-desk-7"));
    }

    void settingsActOnMenusLabelsAndTimers_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("on");
        QTest::addColumn<int>("groupColors"); // the scheme checked in the menu, -1 for none
        QTest::addColumn<int>("interval");
        QTest::newRow("the keys given")
            << QByteArray(
                   "WD_PROGRESS, 0\r\nCHK_UDP, \"UDPRelay\"\r\nPLAY_SOUND, 1\r\nSET_FONT, \"N1B0S11\"\r\n"
                   "MAIL_PAGEES, \"ops@example\"\r\nMAX_ALARMS, 350\r\nGROUP_COLOR, 1\r\nWATCHDOG_TO, 30\r\n")
            << true << 1 << 300;
        QTest::newRow("no keys") << QByteArray() << false << 3 << 1500;
        // A scheme outside the menu checks nothing, and the steps after it still run.
        QTest::newRow("a scheme outside the menu")
            << QByteArray("GROUP_COLOR, 7\r\nWATCHDOG_TO, 20\r\n") << false << -1 << 200;
    }
    void settingsActOnMenusLabelsAndTimers() {
        QFETCH(QByteArray, ini);
        QFETCH(bool, on);
        QFETCH(int, groupColors);
        QFETCH(int, interval);
        Run run;
        run.put("monitor.ini", kQuietLink + ini);
        QVERIFY(run.start());
        const MainWindowModel& ui = run.startup.monitor()->ui();
        for (Element e : {Element::WD_Progress, Element::WD_Back, Element::Label8, Element::UDP_WD})
            QVERIFY2(ui.element(e).visible == on, MainWindowModel::name(e));
        // Timer2 always runs after the load step.
        QVERIFY(run.startup.monitor()->relay().running());
        QCOMPARE(ui.isChecked(MenuItem::AllowSounds), on);
        QCOMPARE(ui.isChecked(MenuItem::FontNarrow), on);
        QCOMPARE(ui.isChecked(MenuItem::BoldFont), !on);
        QCOMPARE(ui.isChecked(MenuItem::SizeF11), on);
        QCOMPARE(ui.isChecked(MenuItem::SizeF10), !on);
        QCOMPARE(ui.isChecked(MenuItem::EnablePager), on);
        QCOMPARE(ui.menu(MenuItem::PromptAddresses).enabled, on);
        for (MenuItem item : {MenuItem::PageNumberMask, MenuItem::PageStrAllow, MenuItem::PageStringMask})
            QVERIFY(ui.menu(item).enabled || !on);
        QCOMPARE(ui.element(Element::MaxListCount).caption, QString::fromLatin1(on ? "350" : "200"));
        const MenuItem schemes[] = {MenuItem::GroupColors0, MenuItem::GroupColors1, MenuItem::GroupColors2,
                                    MenuItem::GroupColors3};
        for (int k = 0; k < 4; ++k)
            QCOMPARE(ui.isChecked(schemes[k]), k == groupColors);
        QCOMPARE(run.startup.monitor()->heartbeat().interval(), interval);
    }

    void makeIniFileWritesTheLiveSettingsThenOpensTheEditor() {
        Run run;
        const QString path = run.dir.filePath(QStringLiteral("monitor.ini"));
        run.put("monitor.ini", kQuietLink + "TITLE, \"North\"\r\nPLAY_SOUND, 1\r\n");
        QVERIFY(run.start());
        Monitor& m = *run.startup.monitor();
        m.heartbeat().setInterval(2500);
        m.ui().setCaption(Element::MaxListCount, QStringLiteral("75"));
        const int linesBefore = m.alarms().count();
        m.ui().trigger(MenuItem::MakeIniFile);
        QCOMPARE(run.services.launcher.editedFiles, QStringList{path});
        QCOMPARE(m.alarms().count(), linesBefore);
        MonitorConfig back;
        QVERIFY(ini::readFile(path, back));
        QCOMPARE(back.title, QStringLiteral("North"));
        QVERIFY(back.present.playSound);
        QCOMPARE(back.watchdogTimeout, 250);
        QCOMPARE(back.maxAlarms, QStringLiteral("75"));

        // A file that cannot be written and an editor that cannot be started are both told, by name.
        m.settingsFile().setIniPath(run.dir.filePath(QStringLiteral("gone/monitor.ini")));
        run.services.launcher.editorAvailable = false;
        m.ui().trigger(MenuItem::MakeIniFile);
        QCOMPARE(m.alarms().count(), linesBefore + 2);
        QVERIFY(m.alarms()
                    .line(linesBefore)
                    .endsWith(QStringLiteral("Could not write ") + m.settingsFile().iniPath() +
                              QStringLiteral(": No such file or directory")));
        QVERIFY(m.alarms()
                    .line(linesBefore + 1)
                    .endsWith(QStringLiteral("No text editor could be started for ") +
                              m.settingsFile().iniPath()));
    }

    // The splash stays until the load step ends, with the main window, and at least the minimum time;
    // with an engine that never answers, the load step waits out both acknowledgement waits.
    void splashLastsUntilTheLoadStepEnds_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("loadedFromMs");
        QTest::addColumn<int>("loadedByMs");
        QTest::newRow("demonstration") << QByteArray(kQuietLink + "DEMO, 1\r\n") << 0 << 20;
        const int waits = 2 * SwitchCommands::kAckMaxLooks * SwitchCommands::kAckLookMs;
        QTest::newRow("engine silent") << kQuietLink << waits << waits + 100;
    }
    void splashLastsUntilTheLoadStepEnds() {
        QFETCH(QByteArray, ini);
        QFETCH(int, loadedFromMs);
        QFETCH(int, loadedByMs);
        Run run;
        run.put("monitor.ini", ini + "TITLE, \"North\"\r\n");
        run.put("Monitor.Log", "5,\"T10:00:00\"\r\n");
        qint64 loadedAt = -1;
        run.startup.start(QString(), [&](bool running) {
            QVERIFY(running);
            loadedAt = run.services.clock.tickMs();
        });
        QVERIFY(run.startup.splash());
        QTest::keyClick(run.startup.splash(), Qt::Key_Escape); // only CANCEL cancels
        qint64 splashGoneAt = -1;
        while (splashGoneAt < 0 && run.services.clock.tickMs() < 30000) {
            run.services.clock.advance(5);
            if (!run.startup.splash())
                splashGoneAt = run.services.clock.tickMs();
            // The title and the other settings wait for the end of the load step.
            if (loadedAt < 0 && run.startup.monitor())
                QVERIFY(run.startup.monitor()->ui().windowCaption() != QStringLiteral("North"));
        }
        QVERIFY2(loadedAt >= loadedFromMs && loadedAt <= loadedByMs, qPrintable(QString::number(loadedAt)));
        const qint64 due = std::max<qint64>(loadedAt, Startup::kSplashMinimumMs);
        QVERIFY2(splashGoneAt >= due && splashGoneAt <= due + 20, qPrintable(QString::number(splashGoneAt)));
        QCOMPARE(run.startup.window()->windowTitle(), QStringLiteral("North"));
    }

    void helpAndVersionNeedNoDisplay() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        for (const QString& option : {QStringLiteral("--help"), QStringLiteral("--version")}) {
            QProcess program;
            program.setProcessEnvironment(env);
            program.start(QStringLiteral(CORVANE_MONITOR), {option});
            QVERIFY(program.waitForFinished(20000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
            const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
            QVERIFY2(option == u"--help" ? out.startsWith(QStringLiteral("Usage: corvane-monitor [FILE]"))
                                         : out == CommandLine::versionText(),
                     qPrintable(out));
        }
    }

    // The password prompt of the main window's dialogs returns at once and answers later, so the
    // monitor's timers and message processing run while it is open.
    void passwordPromptAnswersLater() {
        QMainWindow window;
        window.show();
        QtDialogs dialogs;
        dialogs.setParent(&window);
        QStringList answers;
        for (const bool accept : {true, false}) {
            dialogs.askSecret(QStringLiteral("Enter the e-mail password of ops"),
                              QStringLiteral("E-mail Logon"),
                              [&answers](const QString& text) { answers << text; });
            auto* prompt = window.findChild<QInputDialog*>();
            QVERIFY(prompt);
            QTRY_VERIFY(prompt->isVisible());
            QCOMPARE(prompt->textEchoMode(), QLineEdit::Password);
            bool timerRan = false;
            QTimer::singleShot(10, [&timerRan] { timerRan = true; });
            QTRY_VERIFY(timerRan);
            QVERIFY(answers.size() == (accept ? 0 : 1));
            QTest::keyClicks(prompt->findChild<QLineEdit*>(), QStringLiteral("s"));
            prompt->findChild<QLineEdit*>()->insert(QStringLiteral("\u00e9same"));
            if (accept)
                prompt->accept();
            else
                prompt->reject();
            QTRY_VERIFY(!window.findChild<QInputDialog*>());
        }
        QCOMPARE(answers, (QStringList{QStringLiteral("s\u00e9same"), QString()}));
    }
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
