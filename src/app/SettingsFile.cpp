#include "app/SettingsFile.h"

#include "app/Monitor.h"
#include "platform/Launcher.h"

namespace corvane {

SettingsFile::SettingsFile(Monitor& monitor) : m_monitor(monitor) {
    m_monitor.ui.setMenuAction(MenuItem::MakeIniFile, [this] {
        writeIniFile();
        // The editor gets the file once it is complete and closed; it is not waited for.
        m_monitor.platform.launcher.openInEditor(m_monitor.iniPath);
    });
}

ini::LiveSettings SettingsFile::liveSettings() const {
    ini::LiveSettings live;
    live.allowSounds = m_monitor.ui.isChecked(MenuItem::AllowSounds);
    live.pagerEnabled = m_monitor.ui.isChecked(MenuItem::EnablePager);
    live.heartbeatIntervalMs = m_monitor.timer3->interval();
    live.maxListCountText = m_monitor.ui.element(Element::MaxListCount).caption;
    return live;
}

bool SettingsFile::writeIniFile() {
    if (m_monitor.iniPath.isEmpty())
        return false;
    return ini::writeFile(m_monitor.iniPath, m_monitor.config, liveSettings());
}

} // namespace corvane
