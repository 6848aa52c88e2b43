#pragma once
// The engine's short status messages: acknowledgements ("+" and "-"), the switch description ("S"),
// group names ("D"), the heartbeat ("W"), the switch clock ("T"), the connected monitors ("!") and
// broadcast lines ("@"). They light the indicators, fill the group name tables and the board's labels,
// and tell the watchdogs, the chat and the alarm list by signal.

#include <QObject>
#include <QString>
#include <QStringView>
#include <functional>
#include <memory>

namespace corvane {

class BoardModel;
class Clock;
class Dispatcher;
class GroupTables;
class MainWindowModel;
class RefusedCommands;
struct MonitorConfig;

class StatusHandlers : public QObject {
    Q_OBJECT
public:
    // What the relay watchdog knows: whether the board is complete, and Timer2's period.
    struct RelayQueries {
        std::function<bool()> boardReady;
        std::function<int()> period;
    };
    // Registers the handlers with the dispatcher.
    StatusHandlers(Dispatcher& dispatcher, MainWindowModel& ui, const MonitorConfig& config, Clock& clock,
                   GroupTables& groups, BoardModel& board, RelayQueries relay);
    ~StatusHandlers() override;

    void acknowledged(QStringView body);      // "+"
    void refused(QStringView body);           // "-"
    void switchDescription(QStringView body); // "S"
    void groupName(QStringView body);         // "D"
    void heartbeat(QStringView body);         // "W"
    void clock(QStringView body);             // "T"
    void connectedMonitors(QStringView body); // "!"
    void broadcast(QStringView body);         // "@"

signals:
    // An indicator was lit: Timer1 greys it again.
    void indicatorLit();
    // The relay answered a ping ("+W").
    void pingAnswered();
    // The heartbeat, and the engine's clock, for the heartbeat watchdog.
    void heartbeatArrived();
    void clockArrived();
    // The chat's lines: the list of connected monitors, and one broadcast line.
    void connectedReceived(const QString& list);
    void broadcastReceived(const QString& line);
    void alarmRaised(const QString& text);

private:
    void setAck(QChar letter, bool positive);
    // "+C": the span whose replication is confirmed shows red, every other span label of that kind white.
    void markReplicatedSpan(QStringView rest);
    // "-S": the controls go, and the operator is told why.
    void withdrawControl();

    MainWindowModel& m_ui;
    const MonitorConfig& m_config;
    Clock& m_clock;
    GroupTables& m_groups;
    BoardModel& m_board;
    RelayQueries m_relay;
    std::unique_ptr<RefusedCommands> m_refusals;
};

} // namespace corvane
