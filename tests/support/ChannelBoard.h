#pragma once
// The board model with what it is built from, painted by the channel and call messages ("t", "c", "C")
// straight through their handlers or through the ring and message processing.

#include "alarms/AlarmList.h"
#include "alarms/Sounds.h"
#include "board/BoardModel.h"
#include "board/GroupTables.h"
#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"
#include "link/LinkSocket.h"
#include "link/MessageQueue.h"
#include "messages/ChannelHandlers.h"
#include "messages/Dispatcher.h"
#include "messages/MessageIntake.h"
#include "support/ManualClock.h"
#include "support/ScriptedDialogs.h"

namespace corvane::test {

struct ChannelBoard {
    ChannelBoard() {
        installChannelHandlers(dispatcher, board, ui);
        // The template cell fixes the board's origin, as the load step places it.
        board.placeCell(1, 8, 1);
    }
    // Handled at once, outside message processing.
    void send(const QString& message) { dispatcher.dispatch(message); }
    // Channels 1 to n of a span, idle on the O side of group 1.
    void idleSpan(int spanNumber, int n) {
        for (int i = 1; i <= n; ++i)
            send(QStringLiteral("t%1,1,0,0").arg(spanNumber * 100 + i));
    }
    MonitorConfig config;
    ManualClock clock;
    MainWindowModel ui;
    GroupTables groups;
    LinkSocket link;
    MessageQueue queue;
    Dispatcher dispatcher;
    BoardModel board{ui, config, groups, clock, link, [this] { return intake.inTick(); }};
    MessageIntake intake{ui, clock, link, queue, dispatcher};
};

// With the alarm list and the sounds, which the scheduled commands and the chat also use.
struct ChannelBoardWithAlarms : ChannelBoard {
    RecordingTones tones;
    Sounds sounds{ui, tones};
    AlarmList alarms{ui, clock};
};

} // namespace corvane::test
