#pragma once
// The running monitor: the models that the main window shows and the subsystems that act on them. It
// is plain logic; the widgets observe its models and forward the operator's actions to it.

#include "alarms/Sounds.h"
#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"
#include "link/LinkSocket.h"
#include "link/MessageQueue.h"
#include "messages/Dispatcher.h"
#include "platform/Platform.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace corvane {

class BoardModel;
class GroupTables;
class LinkHealth;
class MessageIntake;
class Logging;
class AlarmList;
class Pager;
class Statistics;
class CallDetailList;
class HeartbeatWatchdog;
class RelayWatchdog;
class SwitchCommands;
class Selection;
class StatusHandlers;
class ChatModel;
class SettingsFile;

// The composition root: it makes every subsystem, hands each the collaborators it uses, and connects
// their signals to each other in its constructor, the one place that shows who tells whom. No subsystem
// sees the monitor; the start-up, the headless watch and the tests reach the subsystems through it.
class Monitor : public QObject {
    Q_OBJECT
public:
    Monitor(MonitorConfig& config, Platform& platform, QString computerName);
    ~Monitor() override;

    // The main window's load step. It ends once log playback has started or the refresh sequence has
    // sent its last request (its waits let the event loop run meanwhile); `loaded` is called then.
    void load(std::function<void()> loaded = {});

    MonitorConfig& config() { return m_config; }
    Platform& platform() { return m_platform; }
    const QString& computerName() const { return m_computerName; }
    MainWindowModel& ui() { return m_ui; }
    const MainWindowModel& ui() const { return m_ui; }
    Dispatcher& dispatcher() { return m_dispatcher; }
    MessageQueue& queue() { return m_queue; }
    const Sounds& sounds() const { return m_sounds; }
    LinkSocket& link() { return m_link; }
    GroupTables& groups() { return *m_groups; }
    BoardModel& board() { return *m_board; }
    LinkHealth& linkHealth() { return *m_linkHealth; }
    MessageIntake& intake() { return *m_intake; }
    AlarmList& alarms() { return *m_alarms; }
    const AlarmList& alarms() const { return *m_alarms; }
    Logging& logging() { return *m_logging; }
    Pager& pager() { return *m_pager; }
    Statistics& stats() { return *m_stats; }
    CallDetailList& callDetails() { return *m_callDetails; }
    RelayWatchdog& relay() { return *m_relay; }
    HeartbeatWatchdog& heartbeat() { return *m_heartbeat; }
    const HeartbeatWatchdog& heartbeat() const { return *m_heartbeat; }
    SwitchCommands& commands() { return *m_commands; }
    Selection& selection() { return *m_selection; }
    ChatModel& chat() { return *m_chat; }
    StatusHandlers& status() { return *m_status; }
    SettingsFile& settingsFile() { return *m_settingsFile; }

private:
    MonitorConfig& m_config;
    Platform& m_platform;
    const QString m_computerName;
    MainWindowModel m_ui;
    Dispatcher m_dispatcher;
    MessageQueue m_queue;
    Sounds m_sounds;
    // In the order of construction; each is destroyed before those it was given.
    std::unique_ptr<GroupTables> m_groups; // GroupNamesR, GroupNamesO and the per-group counters
    std::unique_ptr<BoardModel> m_board;   // the channel board: cells, span labels, gblidx, appearance
    LinkSocket m_link;                     // the link itself is created by load() as the configuration says
    std::unique_ptr<LinkHealth> m_linkHealth; // a lost link and the stale board it leaves
    std::unique_ptr<MessageIntake> m_intake;  // DataRec
    std::unique_ptr<AlarmList> m_alarms;      // AlarmsList, LastAlarm, "Clear"
    std::unique_ptr<Logging> m_logging;       // log recording and playback
    std::unique_ptr<Pager> m_pager;           // PageNow, LastPageTime, the e-mail page menus
    std::unique_ptr<Statistics> m_stats;      // StatsTimer, the Stats window and button, scheduled commands
    std::unique_ptr<CallDetailList> m_callDetails; // the call detail windows
    std::unique_ptr<RelayWatchdog> m_relay; // Timer2 and Timer1: board completion, relay watchdog, indicators
    std::unique_ptr<HeartbeatWatchdog> m_heartbeat; // Timer3: the engine heartbeat watchdog
    std::unique_ptr<SwitchCommands>
        m_commands;                           // per-channel and engine-wide commands, refreshInfo, unmarkAll
    std::unique_ptr<Selection> m_selection;   // marking cells with the mouse, pointer feedback on the board
    std::unique_ptr<ChatModel> m_chat;        // the message broadcast window's state
    std::unique_ptr<StatusHandlers> m_status; // "+", "-", "S", "D", "W", "T", "!", "@"
    std::unique_ptr<SettingsFile> m_settingsFile; // "Make &ini file with current settings", IniPath
};

} // namespace corvane
