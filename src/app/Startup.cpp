#include "app/Startup.h"

#include "alarms/AlarmList.h"
#include "alarms/AlarmListView.h"
#include "app/HeadlessWatch.h"
#include "app/IniFile.h"
#include "app/Monitor.h"
#include "app/SettingsFile.h"
#include "board/BoardModel.h"
#include "board/BoardStaleOverlay.h"
#include "board/BoardView.h"
#include "common/Version.h"
#include "link/EngineLink.h"
#include "operator/MainWindow.h"
#include "platform/AudioToneOutput.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Launcher.h"
#include "platform/ProgramIcon.h"
#include "platform/Tones.h"
#include "watchdogs/HeartbeatWatchdog.h"
#include "watchdogs/RelayWatchdog.h"
#include "windows/AboutBox.h"
#include "windows/CallDetail.h"
#include "windows/CallDetailWindow.h"
#include "windows/ChatModel.h"
#include "windows/ChatWindow.h"
#include "windows/SplashWindow.h"
#include "windows/StatsWindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QSysInfo>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <utility>

namespace corvane {

CommandLine CommandLine::parse(const QStringList& given) {
    CommandLine line;
    QStringList arguments = given;
    // The options of the watch without a window come first; whatever follows them is the file.
    for (; !arguments.isEmpty(); arguments.removeFirst()) {
        if (arguments.front() == QLatin1String("--headless"))
            line.headless = true;
        else if (arguments.front() == QLatin1String("--record"))
            line.record = true;
        else
            break;
    }
    if (line.record && !line.headless) {
        line.action = Action::Misuse;
        line.misuse = QStringLiteral("--record goes with --headless; the window records from its menu");
        return line;
    }
    if (arguments.size() == 1) {
        const QString& only = arguments.front();
        if (only == QLatin1String("--help") || only == QLatin1String("-h")) {
            line.action = Action::Help;
            return line;
        }
        if (only == QLatin1String("--version")) {
            line.action = Action::Version;
            return line;
        }
    }
    // The rest of the line is one file name, blanks and all.
    line.iniArgument = arguments.join(u' ').trimmed();
    return line;
}

QString CommandLine::usage(const QString& programName) {
    return QStringLiteral("Usage: %1 [FILE]\n"
                          "       %1 --headless [--record] [FILE]\n"
                          "The operator's console of the CorvaneBox telephony switch.\n\n"
                          "Reads its settings from monitor.ini in the program's folder, or from FILE\n"
                          "(a name in the program's folder, or an absolute path).\n\n"
                          "  --headless  watch the switch without a window: alarm lines on standard\n"
                          "              output, watchdogs, pager and scheduled commands as usual\n"
                          "  --record    with --headless: record to LOG_FILE from the start (emptying it)\n"
                          "  --help      show this text and exit\n"
                          "  --version   show the version and exit\n")
        .arg(programName);
}

QString CommandLine::versionText() {
    return QStringLiteral("%1 %2.%3.%4\n")
        .arg(QString::fromLatin1(version::title))
        .arg(version::major)
        .arg(version::minor)
        .arg(version::revision);
}

QString computerNameFrom(const QString& hostName) {
    return hostName.trimmed().left(15);
}

QString iniPathFor(const QString& programDir, const QString& iniArgument) {
    const QString name = iniArgument.trimmed();
    if (name.isEmpty())
        return programDir + QStringLiteral("/monitor.ini");
    if (QDir::isAbsolutePath(name))
        return name;
    return programDir + u'/' + name;
}

bool readSettings(const QString& programDir, const QString& iniPath, MonitorConfig& config) {
    config = MonitorConfig{};
    config.logFile = programDir + QStringLiteral("/Monitor.Log");
    return ini::readFile(iniPath, config);
}

QString iniNotFoundText(const QString& iniPath) {
    return QStringLiteral("INI file not found at ") + iniPath;
}

Startup::Startup(Platform& platform, QString programDir, QString hostName)
    : quit([](int status) { QCoreApplication::exit(status); }), m_platform(platform),
      m_programDir(std::move(programDir)), m_hostName(std::move(hostName)), m_next(platform.clock) {}

Startup::~Startup() {
    // The windows observe the monitor's models, so they go first.
    m_about.reset();
    m_window.reset();
    m_splash.reset();
    m_monitor.reset();
}

void Startup::start(const QString& iniArgument, std::function<void(bool running)> finished) {
    m_finished = std::move(finished);
    m_stage = Stage::Splash;
    m_splash = std::make_unique<SplashWindow>(m_platform.clock);
    QObject::connect(m_splash.get(), &SplashWindow::cancelled, [this] { cancel(); });
    // The load step's work begins once the splash is on the screen: one turn of the event loop after
    // its first paint, which has then reached the window system. A splash that is not painted in time
    // (no window shown, or a window manager that holds it back) does not hold the program up.
    const auto load = [this, iniArgument] { loadStep(iniArgument); };
    if (showWindows) {
        QObject::connect(
            m_splash.get(), &SplashWindow::painted, m_splash.get(),
            [this, load] {
                if (m_stage == Stage::Splash)
                    m_next.start(1, load);
            },
            Qt::SingleShotConnection);
        // The bound first: the window may be painted while it is being shown.
        m_next.start(kSplashPaintBoundMs, load);
        m_splash->show();
    } else {
        m_next.start(1, load);
    }
}

void Startup::loadStep(const QString& iniArgument) {
    if (m_stage != Stage::Splash)
        return;
    m_stage = Stage::Loading;
    m_splashSeenMs = m_platform.clock.tickMs();

    m_computerName = computerNameFrom(m_hostName);
    m_iniPath = iniPathFor(m_programDir, iniArgument);
    if (!readSettings(m_programDir, m_iniPath, m_config)) {
        const QString text = iniNotFoundText(m_iniPath);
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::fflush(stderr);
        m_splash->hide();
        m_platform.dialogs.message(text, AboutBox::titleText());
        end(1);
        return;
    }

    m_monitor = std::make_unique<Monitor>(m_config, m_platform, m_computerName);
    m_monitor->settingsFile().setIniPath(m_iniPath);
    m_window = std::make_unique<MonitorMain>(m_monitor->ui());
    m_window->setWindowIcon(programWindowIcon());
    QObject::connect(m_window.get(), &MonitorMain::closed, [this] { shutdown(); });
    m_monitor->ui().setMenuAction(MenuItem::About, [this] { showAbout(); });
    plugInViews();
    // The picture named by LOGO_PATH, when there is one that loads, is the logo beside the indicators.
    if (!m_config.logoPath.isEmpty()) {
        const QPixmap logo(m_config.logoPath);
        if (!logo.isNull())
            m_window->setPicture(Element::Image1, logo);
    }
    m_monitor->load([this] { loaded(); });
}

void Startup::loaded() {
    if (m_stage != Stage::Loading)
        return;
    m_stage = Stage::Running;
    // The splash goes with the end of the load step, but not before it has been seen for the minimum
    // time; a load step quicker than that leaves it in front of the main window for the rest.
    const qint64 left = m_splashSeenMs + kSplashMinimumMs - m_platform.clock.tickMs();
    if (left > 0)
        m_next.start(static_cast<int>(left), [this] { m_splash.reset(); });
    else
        m_splash.reset();

    if (!m_config.title.isEmpty())
        m_monitor->ui().setWindowCaption(m_config.title);
    if (showWindows) {
        m_window->show();
        if (m_splash)
            m_splash->raise();
    }
    applySettings(*m_monitor);
    if (auto finished = std::exchange(m_finished, nullptr))
        finished(true);
}

void Startup::cancel() {
    // CANCEL ends the program at once, whatever the start-up was doing; nothing of it goes on.
    m_next.cancel();
    if (m_monitor && m_monitor->link())
        m_monitor->link()->close();
    end(0);
}

void Startup::end(int status) {
    m_stage = Stage::Ended;
    m_exitCode = status;
    quit(status);
    if (auto finished = std::exchange(m_finished, nullptr))
        finished(false);
}

void Startup::applySettings(Monitor& monitor) {
    const MonitorConfig& config = monitor.config();
    MainWindowModel& ui = monitor.ui();
    if (config.present.watchdogProgress) {
        monitor.relay().start();
        for (Element e : {Element::WD_Progress, Element::WD_Back, Element::Label8})
            ui.setVisible(e, true);
    }
    if (config.present.relayWindowTitle)
        ui.setVisible(Element::UDP_WD, true);
    if (config.present.playSound)
        ui.setMenuChecked(MenuItem::AllowSounds, true);
    if (config.present.setFont) {
        BoardModel& board = monitor.board();
        board.setFontNarrow(config.fontNarrow != 0);
        board.setBoldFont(config.fontBold != 0);
        if (config.fontSize >= 8 && config.fontSize <= 12)
            board.chooseFontSize(config.fontSize);
    }
    if (config.present.pagerRecipients) {
        ui.setMenuChecked(MenuItem::EnablePager, true);
        for (MenuItem m : {MenuItem::PromptAddresses, MenuItem::PageNumberMask, MenuItem::PageStrAllow,
                           MenuItem::PageStringMask})
            ui.setMenuEnabled(m, true);
    }
    if (config.present.maxAlarms)
        ui.setCaption(Element::MaxListCount, config.maxAlarms);
    static constexpr MenuItem schemes[] = {MenuItem::GroupColors0, MenuItem::GroupColors1,
                                           MenuItem::GroupColors2, MenuItem::GroupColors3};
    // A scheme outside the menu checks nothing.
    if (config.groupColorScheme >= 0 && config.groupColorScheme <= 3)
        ui.setMenuChecked(schemes[config.groupColorScheme], true);
    monitor.heartbeat().applyConfiguredPeriod();
}

AboutBox* Startup::showAbout() {
    if (!m_about) {
        m_about = std::make_unique<AboutBox>(m_platform.launcher, m_platform.dialogs);
        m_about->setWindowIcon(programWindowIcon());
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
    return m_about.get();
}

void Startup::plugInViews() {
    // The views of the board and of the alarm list take the places of Picture1 and AlarmsList here.
    auto* board = new BoardView(m_monitor->board());
    m_window->setElementWidget(Element::Picture1, board);
    plugInBoardZoom(*board->canvas());
    // The operator works the board: from the start the arrows move its cursor, not the tabs.
    board->canvas()->setFocus();
    new BoardStaleOverlay(m_monitor->linkHealth(), *board);
    m_window->setElementWidget(Element::AlarmsList, new AlarmListView(m_monitor->alarms()));
    watchMaxCountBox(m_monitor->alarms(), m_window->elementWidget(Element::MaxListCount));
    // The chat window comes and goes with the chat's state; the main window owns its host.
    new ChatWindowHost(m_monitor->chat(), m_window.get());
    // The statistics window is placed beside the main window; call detail windows are top-level.
    auto* stats =
        new StatsWindowHost(m_monitor->stats(), m_monitor->board(), m_monitor->ui(), m_window.get());
    stats->followBoard(*board);
    new CallDetailWindowHost(m_monitor->callDetails(), m_window.get());
}

void Startup::plugInBoardZoom(BoardCanvas& canvas) {
    // The zoom chosen last comes back at start; each change is kept for "Make ini file".
    MonitorConfig& config = m_monitor->config();
    canvas.setZoom(config.boardZoomPercent / 100.0);
    QObject::connect(&canvas, &BoardCanvas::zoomChanged, &canvas, [&config](double zoom) {
        config.boardZoomPercent = static_cast<int>(std::lround(zoom * 100.0));
    });
    m_window->addBoardZoom(canvas);
}

void Startup::shutdown() {
    // Nothing is saved: the link is closed and the program ends.
    if (m_monitor && m_monitor->link())
        m_monitor->link()->close();
    quit(0);
}

int runProgram(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Help and version need no display.
    const CommandLine early = CommandLine::parse(arguments);
    if (early.action == CommandLine::Action::Misuse) {
        QTextStream(stderr) << early.misuse << '\n'
                            << CommandLine::usage(QFileInfo(QString::fromLocal8Bit(argv[0])).fileName());
        return 2;
    }
    if (early.action != CommandLine::Action::Run) {
        QTextStream out(stdout);
        if (early.action == CommandLine::Action::Help)
            out << CommandLine::usage(QFileInfo(QString::fromLocal8Bit(argv[0])).fileName());
        else
            out << CommandLine::versionText();
        return 0;
    }
    // The watch without a window needs no display either.
    if (early.headless)
        return runHeadless(argc, argv, early);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(version::title));
    QApplication::setApplicationVersion(CommandLine::versionText().trimmed());
    // The desktop entry's name lets the desktop match the window to the entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("corvane-monitor"));
    QApplication::setWindowIcon(programWindowIcon());
    // Other windows (statistics, call details, chat) never keep the program alive on their own.
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt has taken its own options (-platform and the like) out of the arguments by now.
    const CommandLine line = CommandLine::parse(QCoreApplication::arguments().mid(1));

    SystemClock clock;
    QtDialogs dialogs;
    DesktopLauncher launcher;
    AudioToneOutput tones(clock);
    Platform platform{clock, dialogs, launcher, tones};
    Startup startup(platform, QCoreApplication::applicationDirPath(), QSysInfo::machineHostName());
    // The entry procedure runs on the event loop, so that the splash is painted and its CANCEL heard
    // while the monitor loads; it ends the loop itself when the program must end.
    startup.start(line.iniArgument, [&](bool running) {
        if (running)
            dialogs.setParent(startup.window());
    });
    return QApplication::exec();
}

} // namespace corvane
