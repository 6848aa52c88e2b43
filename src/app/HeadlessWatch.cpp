#include "app/HeadlessWatch.h"

#include "alarms/AlarmList.h"
#include "app/Monitor.h"
#include "app/SettingsFile.h"
#include "app/Startup.h"
#include "common/Version.h"
#include "link/EngineLink.h"
#include "logplay/Logging.h"
#include "messages/MessageIntake.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Launcher.h"
#include "platform/Tones.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace corvane {

namespace {

void printLine(const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

// The write end of the stop signals' socket pair, for the handler; -1 while none is installed.
volatile std::sig_atomic_t g_stopSignalFd = -1;

extern "C" void onStopSignal(int signalNumber) {
    const int savedErrno = errno;
    const int fd = g_stopSignalFd;
    if (fd >= 0) {
        const char byte = static_cast<char>(signalNumber);
        // A full pair already holds a stop request; nothing more is needed.
        static_cast<void>(::write(fd, &byte, 1));
    }
    errno = savedErrno;
}

int g_stopSignalPair[2] = {-1, -1};

} // namespace

HeadlessWatch::HeadlessWatch(Platform& platform, QString programDir, QString hostName)
    : quit([](int status) { QCoreApplication::exit(status); }), m_platform(platform),
      m_programDir(std::move(programDir)), m_hostName(std::move(hostName)) {}

HeadlessWatch::~HeadlessWatch() = default;

bool HeadlessWatch::run(const QString& iniArgument, bool record) {
    m_iniPath = iniPathFor(m_programDir, iniArgument);
    if (!readSettings(m_programDir, m_iniPath, m_config)) {
        tell(iniNotFoundText(m_iniPath));
        m_exitCode = 1;
        return false;
    }
    tellStartupFacts(record);

    m_monitor = std::make_unique<Monitor>(m_config, m_platform, computerNameFrom(m_hostName));
    m_monitor->settingsFile().setIniPath(m_iniPath);
    // Every line the alarm list receives, from alarm messages, the watchdogs, the scheduler and the
    // pager's own failures alike, is printed as it arrives.
    connect(&m_monitor->alarms(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { printAlarmLines(first, last); });
    m_monitor->load();
    if (!m_config.title.isEmpty())
        m_monitor->ui().setWindowCaption(m_config.title);
    Startup::applySettings(*m_monitor);
    // The command line has answered the question the menu item would ask before emptying the file.
    if (record)
        m_monitor->logging().beginRecording();
    return true;
}

void HeadlessWatch::tell(const QString& text) const {
    // The headless platform's messages go to standard error.
    m_platform.dialogs.message(text);
}

void HeadlessWatch::tellStartupFacts(bool record) const {
    const MonitorConfig& c = m_config;
    tell(QStringLiteral("%1 %2.%3.%4 watching without a window; settings from %5")
             .arg(QString::fromLatin1(version::title))
             .arg(version::major)
             .arg(version::minor)
             .arg(version::revision)
             .arg(m_iniPath));
    if (c.demo)
        tell(
            QStringLiteral("Demonstration mode: playing %1 instead of contacting the engine").arg(c.logFile));
    else if (c.useUdp)
        tell(QStringLiteral("Engine %1 port %2 over UDP, from local port %3")
                 .arg(c.engineAddress)
                 .arg(c.enginePort)
                 .arg(c.monitorPort));
    else
        tell(QStringLiteral("Engine %1 port %2 over TCP").arg(c.engineAddress).arg(c.enginePort));
    if (c.present.pagerRecipients) {
        tell(QStringLiteral("Pager on: %1 through %2")
                 .arg(c.pagerRecipients,
                      c.mailServer.isEmpty() ? QStringLiteral("(no MAIL_SERVER)") : c.mailServer));
        // The window would ask for it at the first page; here nobody can type it.
        if (!c.mailUser.isEmpty() && c.mailPassword.isEmpty())
            tell(
                QStringLiteral("MAIL_USER %1 has no MAIL_PASSWORD: the password must be in %2, as no one can "
                               "type it here; pages cannot log on without it")
                    .arg(c.mailUser, m_iniPath));
    } else {
        tell(QStringLiteral("Pager off (no MAIL_PAGEES)"));
    }
    if (!c.relayWindowTitle.isEmpty()) {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            tell(QStringLiteral("Relay window \"%1\" watched; with no X display a silent relay cannot be "
                                "terminated from here")
                     .arg(c.relayWindowTitle));
        else
            tell(QStringLiteral("Relay window \"%1\" watched on display %2")
                     .arg(c.relayWindowTitle, qEnvironmentVariable("DISPLAY")));
    }
    if (record && c.demo)
        tell(QStringLiteral("Not recording: demonstration mode plays %1").arg(c.logFile));
    else if (record)
        tell(QStringLiteral("Recording to %1 (emptied first)").arg(c.logFile));
}

QString HeadlessWatch::outputLine(const QString& alarmLine) {
    QString line = alarmLine;
    for (QChar& ch : line)
        if (ch.category() == QChar::Other_Control)
            ch = u' ';
    return line;
}

void HeadlessWatch::printAlarmLines(int first, int last) const {
    const AlarmList& list = m_monitor->alarms();
    for (int row = first; row <= last && row < list.count(); ++row)
        printLine(outputLine(list.line(row)));
}

void HeadlessWatch::stop() {
    if (m_stopped)
        return;
    m_stopped = true;
    if (m_monitor) {
        if (m_monitor->link())
            m_monitor->link()->close();
        // The record ends with the last message processed: nothing is handled after it.
        m_monitor->intake().stop();
        // Each record is written through as it is made; closing finishes the file.
        if (m_monitor->logging().isRecording())
            m_monitor->logging().toggleRecording();
    }
    std::fflush(stdout);
    tell(QStringLiteral("Stopped"));
    quit(0);
}

StopSignals::StopSignals(std::function<void()> stop) : m_stop(std::move(stop)) {
    if (g_stopSignalFd >= 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_stopSignalPair) != 0)
        return;
    g_stopSignalFd = g_stopSignalPair[1];
    m_notifier = new QSocketNotifier(g_stopSignalPair[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(g_stopSignalPair[0], bytes, sizeof bytes) > 0) {
        }
        if (m_stop)
            m_stop();
    });
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

StopSignals::~StopSignals() {
    if (!m_notifier)
        return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    g_stopSignalFd = -1;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(g_stopSignalPair[0]);
    ::close(g_stopSignalPair[1]);
    g_stopSignalPair[0] = g_stopSignalPair[1] = -1;
}

int runHeadless(int argc, char* argv[], const CommandLine& line) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(version::title));
    QCoreApplication::setApplicationVersion(CommandLine::versionText().trimmed());

    SystemClock clock;
    HeadlessDialogs dialogs;
    DesktopLauncher launcher;
    // Nobody sits beside a headless watch to hear a chime or a siren.
    SilentTones tones;
    Platform platform{clock, dialogs, launcher, tones};
    HeadlessWatch watch(platform, QCoreApplication::applicationDirPath(), QSysInfo::machineHostName());
    // A reader of standard output that goes away (a closed pipe) must not end the watch: the lines
    // are then lost, the watchdogs and the pager go on.
    std::signal(SIGPIPE, SIG_IGN);
    // Installed first, so that a stop asked for during start-up is kept until the loop runs.
    const StopSignals stopSignals([&watch] { watch.stop(); });
    if (!stopSignals.isInstalled())
        dialogs.message(QStringLiteral(
            "SIGTERM and SIGINT could not be caught: they end the watch without a clean stop"));
    if (!watch.run(line.iniArgument, line.record))
        return watch.exitCode();
    return QCoreApplication::exec();
}

} // namespace corvane
