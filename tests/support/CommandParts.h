#pragma once
// The operator's commands with the collaborators they name, on scripted platform services and a link
// that records what is sent: for the tests of the commands and of marking cells.

#include "alarms/AlarmList.h"
#include "board/BoardModel.h"
#include "board/GroupTables.h"
#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"
#include "link/LinkActions.h"
#include "link/LinkHealth.h"
#include "link/LinkSocket.h"
#include "operator/SwitchCommands.h"
#include "support/ManualClock.h"
#include "support/RecordingLink.h"
#include "support/ScriptedDialogs.h"
#include "watchdogs/HeartbeatWatchdog.h"
#include "watchdogs/RelayWatchdog.h"

namespace corvane::test {

struct CommandParts {
    explicit CommandParts(bool udp = true) : engine(new RecordingLink(udp)) {
        link.reset(std::unique_ptr<EngineLink>(engine));
        // The template cell fixes the board's origin, as the load step does.
        board.placeCell(1, 8, 1);
        // The board completion would send its own "W" and "SSSSS" ten seconds in.
        relay.stop();
    }
    MonitorConfig config;
    ManualClock clock;
    ScriptedDialogs dialogs;
    RecordingTones tones;
    MainWindowModel ui;
    GroupTables groups;
    LinkSocket link;
    BoardModel board{ui, config, groups, clock, link, [] { return false; }};
    LinkHealth health{config, clock, [this] { return board.cellIds(); }};
    AlarmList alarms{ui, clock};
    RelayWatchdog relay{ui,
                        config,
                        clock,
                        tones,
                        link,
                        board,
                        alarms,
                        [this](std::function<void()> then) {
                            reconnect(link, health, QStringLiteral("TESTBOX"), std::move(then));
                        },
                        [this] { return HeartbeatWatchdog::periodFor(config.watchdogTimeout).value_or(0); }};
    SwitchCommands commands{ui, link, board, clock, dialogs, tones, health, relay, QStringLiteral("TESTBOX")};
    RecordingLink* engine; // the link's own end, owned by `link`
};

} // namespace corvane::test
