#pragma once
// Scheduled commands: monitor.ini's time patterns ("mm/dd/yy hh:nn:ss" with "?" standing for any
// character) checked on every minute tick, and the command of each pattern that has fallen due sent to
// the engine with a line in the alarm list and two tones.

#include "common/MonitorConfig.h"

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <array>
#include <functional>

namespace corvane {

class AlarmList;
class Clock;
class LinkSocket;
class Sounds;

// The pattern with every "?" replaced by the character at the same position of `stamp` (a
// scheduleStamp). A "?" beyond the stamp's end is dropped, so such a pattern no longer reads as a time.
QString fillSchedulePattern(QStringView pattern, QStringView stamp);

// Whether `pattern` names a moment in the minute that ends at `now`: at `now` itself or less than one
// minute before it. The "?" are filled from `now` and also from one minute earlier, so that a moment
// just before a change of minute, hour or day is still found by the tick that follows it. A pattern
// that does not read as a date and time is never due.
bool isScheduleDue(QStringView pattern, const QDateTime& now);

// Sends the scheduled commands that have fallen due; run by the minute tick.
class Scheduler {
public:
    Scheduler(const MonitorConfig& config, Clock& clock, LinkSocket& link, AlarmList& alarms,
              const Sounds& sounds)
        : m_config(config), m_clock(clock), m_link(link), m_alarms(alarms), m_sounds(sounds) {}
    // Checks every entry with a pattern against the clock's current time.
    void run();

private:
    void send(const QString& stamp, const QString& command);
    const MonitorConfig& m_config;
    Clock& m_clock;
    LinkSocket& m_link;
    AlarmList& m_alarms;
    const Sounds& m_sounds;
};

} // namespace corvane
