#include "app/SettingsFile.h"

#include "alarms/AlarmList.h"
#include "app/Monitor.h"
#include "platform/Launcher.h"
#include "watchdogs/HeartbeatWatchdog.h"

namespace corvane {

SettingsFile::SettingsFile(Monitor& monitor) : m_monitor(monitor) {
    m_monitor.ui.setMenuAction(MenuItem::MakeIniFile, [this] {
        const ini::WriteOutcome outcome = writeIniFile();
        if (!outcome.failure.isEmpty())
            tellOperator(QStringLiteral("Could not write ") + m_monitor.iniPath + QStringLiteral(": ") +
                         outcome.failure);
        // The editor gets the file once it is complete and closed; it is not waited for. Without one the
        // operator still needs to know where the file is.
        if (!m_monitor.platform.launcher.openInEditor(m_monitor.iniPath))
            tellOperator(QStringLiteral("No text editor could be started for ") + m_monitor.iniPath);
    });
}

ini::LiveSettings SettingsFile::liveSettings() const {
    ini::LiveSettings live;
    live.allowSounds = m_monitor.ui.isChecked(MenuItem::AllowSounds);
    live.pagerEnabled = m_monitor.ui.isChecked(MenuItem::EnablePager);
    live.heartbeatIntervalMs = m_monitor.heartbeat->interval();
    live.maxListCountText = m_monitor.ui.element(Element::MaxListCount).caption;
    return live;
}

ini::WriteOutcome SettingsFile::writeIniFile() {
    if (m_monitor.iniPath.isEmpty())
        return {false, QStringLiteral("no settings file was read")};
    return ini::writeFile(m_monitor.iniPath, m_monitor.config, liveSettings());
}

void SettingsFile::tellOperator(const QString& text) {
    m_monitor.alarms->appendAlarmLine(m_monitor.alarms->alarmLine(text));
}

} // namespace corvane
