#pragma once
// The board model alone with what it is built from, painted by the channel messages as the engine sends
// them, straight to their handlers or through the ring and message processing: for the tests of what
// the board's views show.

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

namespace corvane::test {

struct ChannelBoard {
    ChannelBoard() {
        installChannelHandlers(dispatcher, board, ui);
        // The template cell, as the load step places it.
        board.placeCell(1, 8, 1);
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
    // Handled at once, outside message processing.
    void send(const char* message) { dispatcher.dispatch(QString::fromLatin1(message)); }
};

} // namespace corvane::test
