#include "watchdogs/HeartbeatWatchdog.h"

#include "alarms/AlarmList.h"
#include "alarms/Pager.h"
#include "alarms/Sounds.h"
#include "common/LegacyText.h"
#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "watchdogs/RelayWatchdog.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace corvane {

HeartbeatWatchdog::HeartbeatWatchdog(MainWindowModel& ui, const MonitorConfig& config, Clock& clock,
                                     Dialogs& dialogs, const Sounds& sounds, AlarmList& alarms, Pager& pager,
                                     const RelayWatchdog& relay)
    : m_ui(ui), m_config(config), m_clock(clock), m_dialogs(dialogs), m_sounds(sounds), m_alarms(alarms),
      m_pager(pager), m_relay(relay), m_timer3(clock.createTimer()) {
    m_timer3->setInterval(1500);
    m_timer3->setEnabled(true);
    m_timer3->setCallback([this] { tick(); });
    m_ui.setMenuAction(MenuItem::WDTO, [this] { askTimeout(); });
    applyConfiguredPeriod();
}

HeartbeatWatchdog::~HeartbeatWatchdog() = default;

std::optional<int> HeartbeatWatchdog::periodFor(std::int16_t watchdogTimeout) {
    const int period = 10 * static_cast<int>(watchdogTimeout);
    if (period < 0 || period > SHRT_MAX)
        return std::nullopt;
    return period;
}

void HeartbeatWatchdog::applyConfiguredPeriod() {
    if (const auto period = periodFor(m_config.watchdogTimeout))
        setInterval(*period);
}

void HeartbeatWatchdog::start() {
    m_timer3->setEnabled(true);
}

void HeartbeatWatchdog::stop() {
    m_timer3->setEnabled(false);
}

void HeartbeatWatchdog::heartbeatArrived() {
    m_counter = 0;
    m_ui.setBack(Element::WD_Progress, kGrey);
    QRect r = m_ui.element(Element::WD_Progress).twips;
    r.setWidth(0);
    m_ui.setGeometry(Element::WD_Progress, r);
}

void HeartbeatWatchdog::clockArrived() {
    if (m_counter > 50)
        heartbeatArrived();
}

int HeartbeatWatchdog::interval() const {
    return m_timer3->interval();
}

void HeartbeatWatchdog::setInterval(int ms) {
    m_timer3->setInterval(ms);
}

void HeartbeatWatchdog::askTimeout() {
    const QString answer =
        m_dialogs.input(QStringLiteral("Enter Timeout in seconds"), QStringLiteral("Watchdog Timeout"),
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
    // Only a silence of years could reach the end of the range; the count then stays timed out.
    if (m_counter < INT_MAX)
        ++m_counter;
    if (m_counter <= kTimeoutTicks)
        counting();
    else
        timedOut();
}

void HeartbeatWatchdog::counting() {
    if (!m_lastText.isEmpty() && m_lastText != QLatin1String(kBack)) {
        m_lastText = QLatin1String(kBack);
        m_alarms.raise(m_lastText);
    }

    QRect bar = m_ui.element(Element::WD_Progress).twips;
    const float step = static_cast<float>(m_ui.element(Element::WD_Back).twips.width()) / 100.0f;
    bar.setWidth(static_cast<int>(std::lround(step * static_cast<float>(m_counter))));
    m_ui.setGeometry(Element::WD_Progress, bar);

    if (m_paged && m_ui.isChecked(MenuItem::EnablePager)) {
        // Whatever the outage left pending goes out now, with the recovery.
        m_pager.setLastPageTime(m_clock.now().addSecs(-kPageBackMinutes * 60));
        m_pager.pageNow(QLatin1String(kResponded));
        m_paged = false;
    }
}

void HeartbeatWatchdog::timedOut() {
    int sirenMs = 200;
    if (m_counter % 2 != 0) {
        m_ui.setBack(Element::WD_Progress, kRed);
        const QString text = QLatin1String(m_relay.relayDown() ? kRelayDown : kEngineDown);
        if (text != m_lastText) {
            m_lastText = text;
            m_alarms.raise(text);
        } else {
            // The list keeps one line per outage and wording; the label shows the time going on.
            m_ui.setCaption(Element::LastAlarm, alarmStamp(m_clock.now()) + m_lastText);
        }
        if (m_ui.isChecked(MenuItem::EnablePager)) {
            // The first page of an outage goes out at once; the repetitions only join the pending page.
            const QDateTime now = m_clock.now();
            m_pager.setLastPageTime(m_paged ? now : now.addSecs(-kPageBackMinutes * 60));
            m_pager.pageNow(text);
            m_paged = true;
        }
        sirenMs = 400;
    } else {
        m_ui.setBack(Element::WD_Progress, kGrey);
    }

    if (m_config.watchdogProgress) {
        const int hz = m_counter > kMaxSirenHz / 9 ? kMaxSirenHz : std::min(9 * m_counter, kMaxSirenHz);
        m_sounds.play(hz, sirenMs);
        if (m_counter == kTimeoutTicks + 1)
            m_ui.requestRaise();
    }
}

} // namespace corvane
