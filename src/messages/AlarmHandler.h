#pragma once
// Message "A": an alarm or event from the engine, the whole body being its text.

#include <QStringView>

namespace corvane {

class Monitor;

void handleAlarm(Monitor& monitor, QStringView body);
// Registers handleAlarm for "A".
void installAlarmHandler(Monitor& monitor);

} // namespace corvane
