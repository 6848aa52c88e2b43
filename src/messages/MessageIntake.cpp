#include "messages/MessageIntake.h"

#include "app/Monitor.h"
#include "link/EngineLink.h"
#include "link/MessageQueue.h"
#include "logplay/Logging.h"
#include "platform/Clock.h"

namespace corvane {

MessageIntake::MessageIntake(Monitor& monitor)
    : m_monitor(monitor), m_timer(monitor.platform.clock.createTimer()) {
    m_timer->setInterval(kTickMs);
    m_timer->setCallback([this] { tick(); });
    m_timer->setEnabled(true);
}

MessageIntake::~MessageIntake() = default;

void MessageIntake::tick() {
    // A handler that waits in a dialog lets the timer fire again; the message in hand is finished first.
    if (m_inTick)
        return;
    MessageQueue& queue = m_monitor.queue;
    if (queue.pendingCount() < 1)
        return;
    m_inTick = true;
    {
        // The window shows the outcome of the tick's messages, not each step of it.
        const MainWindowModel::Batch batch(m_monitor.ui);
        const Clock& clock = m_monitor.platform.clock;
        const qint64 start = clock.tickMs();
        do {
            processOne(queue.take());
        } while (queue.pendingCount() > 0 && clock.tickMs() - start < kBudgetMs);
        showPending();
    }
    m_inTick = false;
}

void MessageIntake::stop() {
    m_timer->setEnabled(false);
}

void MessageIntake::processOne(const QString& message) {
    ++m_processed;
    if (m_monitor.logging)
        m_monitor.logging->record(message);
    m_monitor.dispatcher.dispatch(message);
}

void MessageIntake::showPending() {
    m_monitor.ui.setCaption(Element::PendingLbl, QString::number(m_monitor.queue.pendingCount()));
    const std::int64_t discards = m_monitor.link ? m_monitor.link->discardedCount() : 0;
    if (discards != m_shownDiscards) {
        m_shownDiscards = discards;
        m_monitor.ui.setToolTip(Element::PendingLbl,
                                m_monitor.link->isUdp()
                                    ? QStringLiteral("Datagrams dropped: %1").arg(discards)
                                    : QStringLiteral("Overlong messages discarded: %1").arg(discards));
    }
}

} // namespace corvane
