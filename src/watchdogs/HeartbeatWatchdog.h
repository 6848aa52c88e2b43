#pragma once
// The engine heartbeat watchdog. Timer3 ticks every P ms (10 × WATCHDOG_TO, so 100 ticks last the
// time-out); heartbeats set the counter back to zero. From tick 101 on the engine (or the relay in
// front of it) is taken as not responding: the bar blinks, one alarm line per outage and wording is
// logged, a rising siren sounds, and an enabled pager pages. The first tick after a heartbeat logs the
// recovery and flushes the pager.

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

namespace corvane {

class AlarmList;
class Clock;
class Dialogs;
class MainWindowModel;
class Pager;
class RelayWatchdog;
class Sounds;
class Timer;
struct MonitorConfig;

class HeartbeatWatchdog {
public:
    static constexpr int kTimeoutTicks = 100;
    static constexpr int kMaxSirenHz = 2500;
    static constexpr int kPageBackMinutes = 11;
    static constexpr const char* kEngineDown = "CorvaneBox not responding";
    static constexpr const char* kRelayDown = "UDP relay not responding";
    static constexpr const char* kBack = "CorvaneBox is Back";
    static constexpr const char* kResponded = "CorvaneBox responded";

    // Creates Timer3 (running) with the configured period and installs the "&Watchdog Timeout" menu.
    HeartbeatWatchdog(MainWindowModel& ui, const MonitorConfig& config, Clock& clock, Dialogs& dialogs,
                      const Sounds& sounds, AlarmList& alarms, Pager& pager, const RelayWatchdog& relay);
    ~HeartbeatWatchdog();

    // The tick period for a WATCHDOG_TO: the product is a 16-bit value, so a time-out whose tenfold
    // does not fit (or a negative one) gives nothing and the period stays as it was. 0 stops the tick.
    static std::optional<int> periodFor(std::int16_t watchdogTimeout);
    void applyConfiguredPeriod();

    // Timer3 runs (again, its period counted from now), or stops.
    void start();
    void stop();
    // One Timer3 tick.
    void tick();
    // Ticks since the last heartbeat.
    int counter() const { return m_counter; }
    // A heartbeat arrived: the count starts again and the bar is emptied.
    void heartbeatArrived();
    // The engine's clock arrived: late in a count it stands in for a heartbeat.
    void clockArrived();
    // Timer3's period, and the operator's "Watchdog Timeout" dialog that changes it.
    int interval() const;
    void setInterval(int ms);
    void askTimeout();

    const QString& lastWatchdogText() const { return m_lastText; }
    bool watchdogPaged() const { return m_paged; }

private:
    void counting();
    void timedOut();

    MainWindowModel& m_ui;
    const MonitorConfig& m_config;
    Clock& m_clock;
    Dialogs& m_dialogs;
    const Sounds& m_sounds;
    AlarmList& m_alarms;
    Pager& m_pager;
    const RelayWatchdog& m_relay;
    std::unique_ptr<Timer> m_timer3;
    int m_counter = 0;    // ticks since the last heartbeat
    QString m_lastText;   // the text of the last watchdog alarm line, empty before the first outage
    bool m_paged = false; // a "not responding" page was asked for in this outage
};

} // namespace corvane
