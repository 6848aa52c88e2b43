#pragma once
// The "Make &ini file with current settings" menu item: writes monitor.ini from the current settings
// and opens it in the desktop's text editor.

#include "app/IniFile.h"

namespace corvane {

class Monitor;

class SettingsFile {
public:
    explicit SettingsFile(Monitor& monitor);

    // The settings that the running window holds rather than MonitorConfig.
    ini::LiveSettings liveSettings() const;
    // WriteIniFile to the monitor's IniPath; when the new file could not be put in place the previous one
    // is untouched.
    ini::WriteOutcome writeIniFile();

private:
    void tellOperator(const QString& text);
    Monitor& m_monitor;
};

} // namespace corvane
