#pragma once
// The entry procedure: splash window, built-in defaults, the machine's name, monitor.ini, the main
// window and its load step, then the settings that act on the window's menus, labels and timers.

#include "common/MonitorConfig.h"
#include "platform/Platform.h"
#include "platform/PollingWait.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace corvane {

class Monitor;
class MonitorMain;
class SplashWindow;
class AboutBox;
class BoardCanvas;

// What the command line asks for: --help, --version, or a run with an optional configuration file,
// windowed or (--headless, perhaps with --record) without a window.
struct CommandLine {
    enum class Action { Run, Help, Version, Misuse };
    Action action = Action::Run;
    QString iniArgument; // blanks removed at both ends; empty for monitor.ini
    bool headless = false;
    bool record = false;  // start recording to LOG_FILE at once; only with headless
    QString misuse;       // what is wrong with the line, for Action::Misuse

    // The arguments after the program's name.
    static CommandLine parse(const QStringList& arguments);
    static QString usage(const QString& programName);
    static QString versionText();
};

// ComputerName: the host name, at most 15 characters.
QString computerNameFrom(const QString& hostName);
// IniPath: a name on the command line names a file in the program's folder (an absolute path is taken
// as it is); without one, monitor.ini in the program's folder.
QString iniPathFor(const QString& programDir, const QString& iniArgument);
// The built-in defaults, then the settings file at iniPath read over them; false when it cannot be read.
bool readSettings(const QString& programDir, const QString& iniPath, MonitorConfig& config);
// What the program says, on standard error and to the operator, before it ends for want of its file.
QString iniNotFoundText(const QString& iniPath);

class Startup {
public:
    Startup(Platform& platform, QString programDir, QString hostName);
    ~Startup();

    // The entry procedure up to the running window, as a sequence of steps that the event loop drives:
    // the splash is shown and painted, then the configuration is read and the main window created and
    // loaded while the splash stays up, and CANCEL on the splash ends the program at any point.
    // `finished` is called once: true when the main window is up, false when the program ends instead
    // (the configuration file is missing, or CANCEL); quit() has then been called with exitCode().
    void start(const QString& iniArgument, std::function<void(bool running)> finished = {});
    int exitCode() const { return m_exitCode; }

    // The splash stays at least this long on the screen once it has been painted.
    static constexpr int kSplashMinimumMs = 1500;
    // How long the load step waits for the splash's first paint at most.
    static constexpr int kSplashPaintBoundMs = 3000;

    // The settings that act on the main window's menus, labels and timers, once it is loaded (all but
    // showing the window itself).
    static void applySettings(Monitor& monitor);

    // How the program ends: closing the main window, or CANCEL on the splash. Tests replace it.
    std::function<void(int status)> quit;
    // Whether windows are shown; tests that only look at the models may turn it off.
    bool showWindows = true;

    const MonitorConfig& config() const { return m_config; }
    const QString& iniPath() const { return m_iniPath; }
    const QString& computerName() const { return m_computerName; }
    Monitor* monitor() const { return m_monitor.get(); }
    MonitorMain* window() const { return m_window.get(); }
    SplashWindow* splash() const { return m_splash.get(); }
    // The about box, created on first use.
    AboutBox* showAbout();
    AboutBox* aboutBox() const { return m_about.get(); }

private:
    enum class Stage { Idle, Splash, Loading, Running, Ended };
    void loadStep(const QString& iniArgument);
    void loaded();
    void cancel();
    void end(int status);
    void plugInViews();
    void plugInBoardZoom(BoardCanvas& canvas);
    void shutdown();

    Platform& m_platform;
    const QString m_programDir;
    const QString m_hostName;
    MonitorConfig m_config;
    QString m_computerName;
    QString m_iniPath;
    int m_exitCode = 0;
    Stage m_stage = Stage::Idle;
    std::function<void(bool)> m_finished;
    qint64 m_splashSeenMs = 0;
    // The next step of the start-up, or the splash's removal once its time is up.
    Delay m_next;
    std::unique_ptr<SplashWindow> m_splash;
    std::unique_ptr<Monitor> m_monitor;
    std::unique_ptr<MonitorMain> m_window;
    std::unique_ptr<AboutBox> m_about;
};

// main(): the whole program.
int runProgram(int argc, char* argv[]);

} // namespace corvane
