#pragma once
// Time and timers come from here, never from the system directly, so that tests can run a 150-second
// watchdog in milliseconds with a clock they drive themselves.

#include <QDateTime>
#include <functional>
#include <memory>

namespace corvane {

// A repeating timer with the switch-on and interval semantics the monitor's timers have always had:
// it fires every interval() ms while enabled; an interval of 0 keeps it from firing. Changing the
// interval or enabling it again starts the countdown afresh.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    // A single-shot timer disables itself before it fires.
    virtual void setSingleShot(bool singleShot) = 0;
    void setCallback(std::function<void()> callback) { m_callback = std::move(callback); }

protected:
    void fire() {
        if (m_callback)
            m_callback();
    }

private:
    std::function<void()> m_callback;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Local date and time.
    virtual QDateTime now() const = 0;
    // Milliseconds from an arbitrary start, never going back.
    virtual qint64 tickMs() const = 0;
    virtual std::unique_ptr<Timer> createTimer() = 0;
};

// The clock of the real program: the system's time and Qt's timers.
class SystemClock final : public Clock {
public:
    QDateTime now() const override;
    qint64 tickMs() const override;
    std::unique_ptr<Timer> createTimer() override;

private:
    // The local time's offset from UTC, as the system gave it for the second m_offsetSecond.
    mutable qint64 m_offsetSecond = -1;
    mutable int m_offsetS = 0;
};

} // namespace corvane
