#include "stats/Schedule.h"

#include "alarms/AlarmList.h"
#include "alarms/Sounds.h"
#include "common/LegacyText.h"
#include "link/LinkSocket.h"
#include "platform/Clock.h"

namespace corvane {

namespace {
constexpr qint64 kMinuteMs = 60 * 1000;

bool dueFrom(QStringView pattern, const QDateTime& source, const QDateTime& now) {
    const QDateTime t = readScheduleStamp(fillSchedulePattern(pattern, scheduleStamp(source)));
    if (!t.isValid())
        return false;
    const qint64 before = t.msecsTo(now);
    return before >= 0 && before < kMinuteMs;
}
} // namespace

QString fillSchedulePattern(QStringView pattern, QStringView stamp) {
    QString filled;
    filled.reserve(pattern.size());
    for (qsizetype p = 0; p < pattern.size(); ++p) {
        if (pattern[p] != u'?')
            filled.append(pattern[p]);
        else if (p < stamp.size())
            filled.append(stamp[p]);
    }
    return filled;
}

bool isScheduleDue(QStringView pattern, const QDateTime& now) {
    return dueFrom(pattern, now, now) || dueFrom(pattern, now.addMSecs(-kMinuteMs), now);
}

void Scheduler::run() {
    for (const ScheduledCommand& entry : m_config.schedule) {
        if (entry.pattern.isEmpty())
            continue;
        const QDateTime now = m_clock.now();
        if (isScheduleDue(entry.pattern, now))
            send(scheduleStamp(now), entry.command);
    }
}

void Scheduler::send(const QString& stamp, const QString& command) {
    m_link.sendCommand(command);
    m_alarms.appendAlarmLine(stamp + QStringLiteral(" --- ") + command);
    m_sounds.play(1000, 250);
    m_sounds.play(800, 400);
}

} // namespace corvane
