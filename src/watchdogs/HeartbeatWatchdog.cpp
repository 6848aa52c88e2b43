#include "watchdogs/HeartbeatWatchdog.h"

#include "alarms/AlarmList.h"
#include "alarms/Pager.h"
#include "app/Monitor.h"
#include "common/LegacyText.h"
#include "platform/Dialogs.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace corvane {

HeartbeatWatchdog::HeartbeatWatchdog(Monitor& monitor) : m_monitor(monitor) {
    m_monitor.timer3->setCallback([this] { tick(); });
    m_monitor.ui.setMenuAction(MenuItem::WDTO, [this] { askTimeout(); });
    applyConfiguredPeriod();
}

std::optional<int> HeartbeatWatchdog::periodFor(std::int16_t watchdogTimeout) {
    const int period = 10 * static_cast<int>(watchdogTimeout);
    if (period < 0 || period > SHRT_MAX)
        return std::nullopt;
    return period;
}

void HeartbeatWatchdog::applyConfiguredPeriod() {
    if (const auto period = periodFor(m_monitor.config.watchdogTimeout))
        m_monitor.timer3->setInterval(*period);
}

void HeartbeatWatchdog::heartbeatArrived() {
    m_monitor.watchdog.watchdogCounter = 0;
    MainWindowModel& ui = m_monitor.ui;
    ui.setBack(Element::WD_Progress, kGrey);
    QRect r = ui.element(Element::WD_Progress).twips;
    r.setWidth(0);
    ui.setGeometry(Element::WD_Progress, r);
}

void HeartbeatWatchdog::clockArrived() {
    if (m_monitor.watchdog.watchdogCounter > 50)
        heartbeatArrived();
}

int HeartbeatWatchdog::interval() const {
    return m_monitor.timer3->interval();
}

void HeartbeatWatchdog::setInterval(int ms) {
    m_monitor.timer3->setInterval(ms);
}

void HeartbeatWatchdog::askTimeout() {
    const QString answer = m_monitor.platform.dialogs.input(QStringLiteral("Enter Timeout in seconds"),
                                                            QStringLiteral("Watchdog Timeout"),
                                                            QString::number(interval() / 10.0));
    bool ok = false;
    const double seconds = answer.trimmed().toDouble(&ok);
    if (!ok)
        return;
    // Tens of milliseconds per second entered, to the nearest millisecond with halves to even.
    const auto ms = toInt32(seconds * 10.0);
    // The timer takes periods of 0 to 65535 ms; anything else leaves the period as it was.
    if (!ms || *ms < 0 || *ms > 65535)
        return;
    setInterval(*ms);
}

void HeartbeatWatchdog::tick() {
    int& counter = m_monitor.watchdog.watchdogCounter;
    // Only a silence of years could reach the end of the range; the count then stays timed out.
    if (counter < INT_MAX)
        ++counter;
    if (counter <= kTimeoutTicks)
        counting();
    else
        timedOut();
}

void HeartbeatWatchdog::counting() {
    const int counter = m_monitor.watchdog.watchdogCounter;
    if (!m_lastText.isEmpty() && m_lastText != QLatin1String(kBack)) {
        m_lastText = QLatin1String(kBack);
        appendLine(m_lastText);
    }

    MainWindowModel& ui = m_monitor.ui;
    QRect bar = ui.element(Element::WD_Progress).twips;
    const float step = static_cast<float>(ui.element(Element::WD_Back).twips.width()) / 100.0f;
    bar.setWidth(static_cast<int>(std::lround(step * static_cast<float>(counter))));
    ui.setGeometry(Element::WD_Progress, bar);

    if (m_paged && ui.isChecked(MenuItem::EnablePager) && m_monitor.pager) {
        // Whatever the outage left pending goes out now, with the recovery.
        m_monitor.pager->setLastPageTime(m_monitor.platform.clock.now().addSecs(-kPageBackMinutes * 60));
        m_monitor.pager->pageNow(QLatin1String(kResponded));
        m_paged = false;
    }
}

void HeartbeatWatchdog::timedOut() {
    const int counter = m_monitor.watchdog.watchdogCounter;
    MainWindowModel& ui = m_monitor.ui;
    int sirenMs = 200;
    if (counter % 2 != 0) {
        ui.setBack(Element::WD_Progress, kRed);
        const QString text = QLatin1String(m_monitor.watchdog.relayDown ? kRelayDown : kEngineDown);
        if (text != m_lastText) {
            m_lastText = text;
            appendLine(text);
        } else {
            // The list keeps one line per outage and wording; the label shows the time going on.
            ui.setCaption(Element::LastAlarm, alarmStamp(m_monitor.platform.clock.now()) + m_lastText);
        }
        if (ui.isChecked(MenuItem::EnablePager) && m_monitor.pager) {
            // The first page of an outage goes out at once; the repetitions only join the pending page.
            const QDateTime now = m_monitor.platform.clock.now();
            m_monitor.pager->setLastPageTime(m_paged ? now : now.addSecs(-kPageBackMinutes * 60));
            m_monitor.pager->pageNow(text);
            m_paged = true;
        }
        sirenMs = 400;
    } else {
        ui.setBack(Element::WD_Progress, kGrey);
    }

    if (m_monitor.config.watchdogProgress) {
        const int hz = counter > kMaxSirenHz / 9 ? kMaxSirenHz : std::min(9 * counter, kMaxSirenHz);
        m_monitor.playSound(hz, sirenMs);
        if (counter == kTimeoutTicks + 1)
            ui.requestRaise();
    }
}

void HeartbeatWatchdog::appendLine(const QString& text) {
    const QString line = alarmStamp(m_monitor.platform.clock.now()) + text;
    if (m_monitor.alarms)
        m_monitor.alarms->appendAlarmLine(line);
    else
        m_monitor.ui.setCaption(Element::LastAlarm, line);
}

} // namespace corvane
