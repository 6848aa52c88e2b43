#pragma once
// The channel messages: "t" (a channel's state and route), "c" (call information for one channel) and
// "C" (call information for a channel and its route peer).

#include <QStringView>

namespace corvane {

class Monitor;

// Registers the three handlers with the monitor's dispatcher.
void installChannelHandlers(Monitor& monitor);

void handleStateReport(Monitor& monitor, QStringView body);
void handleCallInfo(Monitor& monitor, QStringView body);
void handlePairCallInfo(Monitor& monitor, QStringView body);

} // namespace corvane
