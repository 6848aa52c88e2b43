#pragma once
// The running monitor: the state that the main window owns and the subsystems that act on it. It is
// plain logic; the widgets observe its models and forward the operator's actions to it.

#include "common/MonitorConfig.h"
#include "platform/Platform.h"
#include "alarms/Sounds.h"
#include "link/LinkSocket.h"
#include "link/MessageQueue.h"
#include "messages/Dispatcher.h"
#include "common/MainWindowModel.h"
#include "platform/Clock.h"

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

class Monitor : public QObject {
    Q_OBJECT
public:
    Monitor(MonitorConfig& config, Platform& platform, QString computerName);
    ~Monitor() override;

    // The main window's load step. It ends once log playback has started or the refresh sequence has
    // sent its last request (its waits let the event loop run meanwhile); `loaded` is called then.
    void load(std::function<void()> loaded = {});
    // PlaySound: one tone, sounded only while "&Allow Sounds" is checked.
    void playSound(int frequencyHz, int durationMs);

public:
    MonitorConfig& config;
    Platform& platform;
    const QString computerName;
    QString iniPath; // IniPath: where monitor.ini was read from and is written to
    MainWindowModel ui;
    Dispatcher dispatcher;
    MessageQueue queue;
    Sounds sounds;
    // Subsystems are added below by their owners, each constructed in Monitor's constructor and wired
    // there (message handlers, menu actions) so that the order of construction is in one place.
    std::unique_ptr<GroupTables> groups;   // GroupNamesR, GroupNamesO and the per-group counters
    std::unique_ptr<BoardModel> board;     // the channel board: cells, span labels, gblidx, appearance
    LinkSocket link;                       // the link itself is created by load() as the configuration says
    std::unique_ptr<LinkHealth> linkHealth; // a lost link and the stale board it leaves
    std::unique_ptr<MessageIntake> intake; // DataRec
    std::unique_ptr<AlarmList> alarms;     // AlarmsList, LastAlarm, "Clear", "&Allow Sounds"
    std::unique_ptr<Logging> logging;      // log recording and playback; told failures in the alarm list
    std::unique_ptr<Pager> pager;          // PageNow, LastPageTime, the e-mail page menus
    std::unique_ptr<Statistics> stats;     // StatsTimer, the Stats window and button, scheduled commands
    std::unique_ptr<CallDetailList> callDetails;  // the call detail windows
    std::unique_ptr<RelayWatchdog>
        relay; // Timer2 and Timer1: board completion, relay watchdog, indicator reset
    std::unique_ptr<HeartbeatWatchdog> heartbeat; // Timer3: the engine heartbeat watchdog
    std::unique_ptr<SwitchCommands> commands; // per-channel and engine-wide commands, refreshInfo, unmarkAll
    std::unique_ptr<Selection> selection;     // marking cells with the mouse, pointer feedback on the board
    std::unique_ptr<ChatModel> chat;          // the message broadcast window's state
    std::unique_ptr<StatusHandlers> status;   // "+", "-", "S", "D", "W", "T", "!", "@"
    std::unique_ptr<SettingsFile> settingsFile; // "Make &ini file with current settings"
};

} // namespace corvane
