#pragma once
// The engine heartbeat watchdog. Timer3 ticks every P ms (10 × WATCHDOG_TO, so 100 ticks last the
// time-out); heartbeats set the counter back to zero. From tick 101 on the engine (or the relay in
// front of it) is taken as not responding: the bar blinks, one alarm line per outage and wording is
// logged, a rising siren sounds, and an enabled pager pages. The first tick after a heartbeat logs the
// recovery and flushes the pager.

#include <QString>
#include <cstdint>
#include <optional>

namespace corvane {

class Monitor;

class HeartbeatWatchdog {
public:
    static constexpr int kTimeoutTicks = 100;
    static constexpr int kMaxSirenHz = 2500;
    static constexpr int kPageBackMinutes = 11;
    static constexpr const char* kEngineDown = "CorvaneBox not responding";
    static constexpr const char* kRelayDown = "UDP relay not responding";
    static constexpr const char* kBack = "CorvaneBox is Back";
    static constexpr const char* kResponded = "CorvaneBox responded";

    // Installs the tick on Timer3 and gives it the configured period.
    explicit HeartbeatWatchdog(Monitor& monitor);

    // The tick period for a WATCHDOG_TO: the product is a 16-bit value, so a time-out whose tenfold
    // does not fit (or a negative one) gives nothing and the period stays as it was. 0 stops the tick.
    static std::optional<int> periodFor(std::int16_t watchdogTimeout);
    void applyConfiguredPeriod();

    // One Timer3 tick.
    void tick();
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
    void appendLine(const QString& text);

    Monitor& m_monitor;
    QString m_lastText;   // the text of the last watchdog alarm line, empty before the first outage
    bool m_paged = false; // a "not responding" page was asked for in this outage
};

} // namespace corvane
