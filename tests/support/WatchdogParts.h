#pragma once
// The heartbeat and relay watchdogs with the alarm parts they report to and a board, on a manual clock:
// for the tests of either watchdog, which stop the other one's timer.

#include "board/BoardModel.h"
#include "board/GroupTables.h"
#include "support/PagerParts.h"
#include "watchdogs/HeartbeatWatchdog.h"
#include "watchdogs/RelayWatchdog.h"

#include <utility>

namespace corvane::test {

struct WatchdogParts : PagerParts {
    explicit WatchdogParts(MonitorConfig c = {}) : PagerParts(std::move(c)) {}
    QStringList lines() const { return alarms.lines(); }

    GroupTables groups;
    BoardModel board{ui, config, groups, clock, link, [] { return false; }};
    // ReConnect as the link sees it: a connect, whose end the ping waits for.
    RelayWatchdog relay{ui,
                        config,
                        clock,
                        tones,
                        link,
                        board,
                        alarms,
                        [this](auto then) { link.connectEngine(std::move(then)); },
                        [this] { return heartbeat.interval(); }};
    HeartbeatWatchdog heartbeat{ui, config, clock, dialogs, sounds, alarms, pager, relay};
};

} // namespace corvane::test
