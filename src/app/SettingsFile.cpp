#include "app/SettingsFile.h"

#include "alarms/AlarmList.h"
#include "common/MainWindowModel.h"
#include "platform/Launcher.h"
#include "watchdogs/HeartbeatWatchdog.h"

namespace corvane {

SettingsFile::SettingsFile(MainWindowModel& ui, const MonitorConfig& config, Launcher& launcher,
                           AlarmList& alarms, const HeartbeatWatchdog& heartbeat)
    : m_ui(ui), m_config(config), m_launcher(launcher), m_alarms(alarms), m_heartbeat(heartbeat) {
    m_ui.setMenuAction(MenuItem::MakeIniFile, [this] {
        const ini::WriteOutcome outcome = writeIniFile();
        if (!outcome.failure.isEmpty())
            m_alarms.raise(QStringLiteral("Could not write ") + m_iniPath + QStringLiteral(": ") +
                           outcome.failure);
        // The editor gets the file once it is complete and closed; it is not waited for. Without one the
        // operator still needs to know where the file is.
        if (!m_launcher.openInEditor(m_iniPath))
            m_alarms.raise(QStringLiteral("No text editor could be started for ") + m_iniPath);
    });
}

ini::LiveSettings SettingsFile::liveSettings() const {
    ini::LiveSettings live;
    live.allowSounds = m_ui.isChecked(MenuItem::AllowSounds);
    live.pagerEnabled = m_ui.isChecked(MenuItem::EnablePager);
    live.heartbeatIntervalMs = m_heartbeat.interval();
    live.maxListCountText = m_ui.element(Element::MaxListCount).caption;
    return live;
}

ini::WriteOutcome SettingsFile::writeIniFile() {
    if (m_iniPath.isEmpty())
        return {false, QStringLiteral("no settings file was read")};
    return ini::writeFile(m_iniPath, m_config, liveSettings());
}

} // namespace corvane
