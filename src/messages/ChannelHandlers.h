#pragma once
// The channel messages: "t" (a channel's state and route), "c" (call information for one channel) and
// "C" (call information for a channel and its route peer).

#include <QStringView>

namespace corvane {

class BoardModel;
class Dispatcher;
class MainWindowModel;

// Registers the three handlers: they paint the board and show the selected channel's call text.
void installChannelHandlers(Dispatcher& dispatcher, BoardModel& board, MainWindowModel& ui);

void handleStateReport(BoardModel& board, MainWindowModel& ui, QStringView body);
void handleCallInfo(BoardModel& board, MainWindowModel& ui, QStringView body);
void handlePairCallInfo(BoardModel& board, MainWindowModel& ui, QStringView body);

} // namespace corvane
