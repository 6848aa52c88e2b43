#pragma once
// Message "A": an alarm or event from the engine, the whole body being its text.

#include <QStringView>

namespace corvane {

class AlarmList;
class Dispatcher;
class MainWindowModel;
struct MonitorConfig;
class Pager;
class Sounds;

class AlarmHandler {
public:
    AlarmHandler(MainWindowModel& ui, const MonitorConfig& config, AlarmList& alarms, const Sounds& sounds,
                 Pager& pager)
        : m_ui(ui), m_config(config), m_alarms(alarms), m_sounds(sounds), m_pager(pager) {}

    void handle(QStringView body) const;
    // Registers handle for "A".
    void install(Dispatcher& dispatcher) const;

private:
    MainWindowModel& m_ui;
    const MonitorConfig& m_config;
    AlarmList& m_alarms;
    const Sounds& m_sounds;
    Pager& m_pager;
};

} // namespace corvane
