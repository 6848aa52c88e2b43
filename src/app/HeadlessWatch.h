#pragma once
// The watch without a window: the monitor's own subsystems (the link, message processing, the board
// model, both watchdogs, the pager, statistics and scheduled commands, recording) composed with no
// widget, so that the switch is watched and paged with nobody at a desk. Alarm lines go to standard
// output as the alarm list shows them, one a line, written at once; start-up facts and refusals go to
// standard error. Nothing waits for an answer (the platform's dialogs are the headless ones).

#include "common/MonitorConfig.h"
#include "platform/Platform.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace corvane {

struct CommandLine;
class Monitor;

class HeadlessWatch : public QObject {
    Q_OBJECT
public:
    HeadlessWatch(Platform& platform, QString programDir, QString hostName);
    ~HeadlessWatch() override;

    // Reads the settings file as the windowed start-up does, then loads the monitor and, when asked,
    // starts recording. False when the program must end instead; exitCode() says with which status.
    bool run(const QString& iniArgument, bool record);
    int exitCode() const { return m_exitCode; }

    // The clean stop: the link is closed, the record file finished and closed, output flushed, and the
    // program ends with status 0. Once only.
    void stop();

    // How the program ends; tests may replace it.
    std::function<void(int status)> quit;

    Monitor* monitor() const { return m_monitor.get(); }
    const QString& iniPath() const { return m_iniPath; }

    // An alarm line as one line of output: control characters (a CR or LF inside an engine's text
    // among them) become blanks, so that one alarm is always one line.
    static QString outputLine(const QString& alarmLine);

private:
    void tell(const QString& text) const;
    void tellStartupFacts(bool record) const;
    void printAlarmLines(int first, int last) const;

    Platform& m_platform;
    const QString m_programDir;
    const QString m_hostName;
    MonitorConfig m_config;
    QString m_iniPath;
    int m_exitCode = 0;
    bool m_stopped = false;
    std::unique_ptr<Monitor> m_monitor;
};

// Turns SIGTERM and SIGINT into a call on the event loop: the handler only writes a byte to a socket
// pair (async-signal-safe); a notifier on the other end runs `stop`.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(std::function<void()> stop);
    ~StopSignals() override;
    bool isInstalled() const { return m_notifier != nullptr; }

private:
    std::function<void()> m_stop;
    QSocketNotifier* m_notifier = nullptr;
};

// main() for --headless.
int runHeadless(int argc, char* argv[], const CommandLine& line);

} // namespace corvane
