#pragma once
// The "Make &ini file with current settings" menu item: writes monitor.ini from the current settings
// and opens it in the desktop's text editor.

#include "app/IniFile.h"

#include <QString>

namespace corvane {

class AlarmList;
class HeartbeatWatchdog;
class Launcher;
class MainWindowModel;
struct MonitorConfig;

class SettingsFile {
public:
    SettingsFile(MainWindowModel& ui, const MonitorConfig& config, Launcher& launcher, AlarmList& alarms,
                 const HeartbeatWatchdog& heartbeat);

    // IniPath: where monitor.ini was read from and is written to; empty when none was read.
    const QString& iniPath() const { return m_iniPath; }
    void setIniPath(const QString& path) { m_iniPath = path; }

    // The settings that the running window holds rather than MonitorConfig.
    ini::LiveSettings liveSettings() const;
    // WriteIniFile to IniPath; when the new file could not be put in place the previous one is untouched.
    ini::WriteOutcome writeIniFile();

private:
    MainWindowModel& m_ui;
    const MonitorConfig& m_config;
    Launcher& m_launcher;
    AlarmList& m_alarms;
    const HeartbeatWatchdog& m_heartbeat;
    QString m_iniPath;
};

} // namespace corvane
