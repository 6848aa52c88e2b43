#pragma once
// A clock that stands still until the test moves it. Timers created from it fire in order of their
// due times while advance() moves time forward, so minutes of monitor time pass in microseconds.

#include "platform/Clock.h"

#include <functional>
#include <vector>

namespace corvane::test {

class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 3, 7), QTime(8, 0, 0)));
    ~ManualClock() override;

    QDateTime now() const override { return m_start.addMSecs(m_elapsed); }
    qint64 tickMs() const override { return m_elapsed; }
    std::unique_ptr<Timer> createTimer() override;

    // Moves time forward by ms, firing every timer that falls due on the way, each at its own time.
    void advance(qint64 ms);
    // Moves to the given wall-clock time (never backwards).
    void advanceTo(const QDateTime& when) { advance(std::max<qint64>(0, now().msecsTo(when))); }
    // While `idle` answers true, timers of 1 ms (message processing with an empty ring) are not fired
    // every millisecond but only once the next slower timer falls due, so hours pass in a few steps.
    // Only for callers that know those ticks would do nothing meanwhile.
    void setIdle(std::function<bool()> idle) { m_idle = std::move(idle); }

private:
    class ManualTimer;
    friend class ManualTimer;
    QDateTime m_start;
    qint64 m_elapsed = 0;
    std::vector<ManualTimer*> m_timers;
    std::function<bool()> m_idle;
};

} // namespace corvane::test
