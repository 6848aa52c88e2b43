#include "support/ManualClock.h"

#include <algorithm>
#include <limits>

namespace corvane::test {

class ManualClock::ManualTimer final : public Timer {
public:
    explicit ManualTimer(ManualClock& clock) : m_clock(&clock) { clock.m_timers.push_back(this); }
    ~ManualTimer() override {
        if (m_clock)
            std::erase(m_clock->m_timers, this);
    }
    void setInterval(int ms) override {
        m_interval = ms;
        rearm();
    }
    int interval() const override { return m_interval; }
    void setEnabled(bool enabled) override {
        m_enabled = enabled;
        rearm();
    }
    bool isEnabled() const override { return m_enabled; }
    void setSingleShot(bool singleShot) override { m_singleShot = singleShot; }

    bool armed() const { return m_enabled && m_interval > 0; }
    qint64 due() const { return m_due; }
    void fireNow() {
        if (m_singleShot)
            m_enabled = false;
        else
            m_due += m_interval;
        fire();
    }
    void detach() { m_clock = nullptr; }
    void postpone(qint64 due) { m_due = std::max(m_due, due); }

private:
    void rearm() {
        if (m_clock)
            m_due = m_clock->m_elapsed + m_interval;
    }
    ManualClock* m_clock;
    int m_interval = 0;
    bool m_enabled = false;
    bool m_singleShot = false;
    qint64 m_due = 0;
};

ManualClock::ManualClock(QDateTime start) : m_start(std::move(start)) {}

ManualClock::~ManualClock() {
    for (ManualTimer* t : m_timers)
        t->detach();
}

std::unique_ptr<Timer> ManualClock::createTimer() {
    return std::make_unique<ManualTimer>(*this);
}

void ManualClock::advance(qint64 ms) {
    const qint64 end = m_elapsed + ms;
    for (;;) {
        // The earliest due timer; ties go to the one created first. Re-read each time: a timer's
        // callback may create, change or destroy timers.
        ManualTimer* next = nullptr;
        qint64 nextDue = std::numeric_limits<qint64>::max();
        for (ManualTimer* t : m_timers) {
            if (t->armed() && t->due() < nextDue) {
                next = t;
                nextDue = t->due();
            }
        }
        if (!next || nextDue > end)
            break;
        if (next->interval() <= 1 && m_idle && m_idle()) {
            qint64 slower = end + 1;
            for (ManualTimer* t : m_timers)
                if (t->armed() && t->interval() > 1)
                    slower = std::min(slower, t->due());
            next->postpone(slower);
            if (slower > nextDue)
                continue;
        }
        m_elapsed = std::max(m_elapsed, nextDue);
        next->fireNow();
    }
    m_elapsed = end;
}

} // namespace corvane::test
