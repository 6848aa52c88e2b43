#pragma once
// The engine's short status messages: acknowledgements ("+" and "-"), the switch description ("S"),
// group names ("D"), the heartbeat ("W"), the switch clock ("T"), the connected monitors ("!") and
// broadcast lines ("@"). They light the indicators, fill the group name tables and feed the chat.

#include <QStringView>
#include <memory>

namespace corvane {

class Monitor;
class RefusedCommands;

class StatusHandlers {
public:
    // Registers the handlers with the monitor's dispatcher.
    explicit StatusHandlers(Monitor& monitor);
    ~StatusHandlers();

    void acknowledged(QStringView body);      // "+"
    void refused(QStringView body);           // "-"
    void switchDescription(QStringView body); // "S"
    void groupName(QStringView body);         // "D"
    void heartbeat(QStringView body);         // "W"
    void clock(QStringView body);             // "T"
    void connectedMonitors(QStringView body); // "!"
    void broadcast(QStringView body);         // "@"

private:
    void setAck(QChar letter, bool positive);
    void resetWatchdogBar();
    void indicatorResetOn();
    // "+C": the span whose replication is confirmed shows red, every other span label of that kind white.
    void markReplicatedSpan(QStringView rest);
    // "-S": the controls go, and the operator is told why.
    void withdrawControl();

    Monitor& m_monitor;
    std::unique_ptr<RefusedCommands> m_refusals;
};

} // namespace corvane
