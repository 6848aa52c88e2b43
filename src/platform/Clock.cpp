#include "platform/Clock.h"

#include <QElapsedTimer>
#include <QTimer>

namespace corvane {

namespace {

class QtTimer final : public Timer {
public:
    QtTimer() {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_timer.isSingleShot())
                m_enabled = false;
            fire();
        });
    }
    void setInterval(int ms) override {
        m_interval = ms;
        apply();
    }
    int interval() const override { return m_interval; }
    void setEnabled(bool enabled) override {
        m_enabled = enabled;
        apply();
    }
    bool isEnabled() const override { return m_enabled; }
    void setSingleShot(bool singleShot) override { m_timer.setSingleShot(singleShot); }

private:
    void apply() {
        if (m_enabled && m_interval > 0)
            m_timer.start(m_interval);
        else
            m_timer.stop();
    }
    QTimer m_timer;
    int m_interval = 0;
    bool m_enabled = false;
};

const QElapsedTimer& processTimer() {
    static const QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer;
}

} // namespace

QDateTime SystemClock::now() const {
    // The local offset is asked for at most once a second: each local-time conversion has the C library
    // look at the zone file again, which cost more than the rest of an alarm's handling. The result is
    // the same instant and the same wall-clock time as the system's local time.
    const qint64 utcMs = QDateTime::currentMSecsSinceEpoch();
    const qint64 second = utcMs / 1000;
    if (second != m_offsetSecond) {
        m_offsetSecond = second;
        m_offsetS = QDateTime::fromMSecsSinceEpoch(utcMs).offsetFromUtc();
    }
    return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::OffsetFromUTC, m_offsetS);
}
qint64 SystemClock::tickMs() const {
    return processTimer().elapsed();
}
std::unique_ptr<Timer> SystemClock::createTimer() {
    return std::make_unique<QtTimer>();
}

} // namespace corvane
