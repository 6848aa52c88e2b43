#include "messages/MessageIntake.h"

#include "common/MainWindowModel.h"
#include "link/LinkSocket.h"
#include "link/MessageQueue.h"
#include "messages/Dispatcher.h"
#include "platform/Clock.h"

namespace corvane {

MessageIntake::MessageIntake(MainWindowModel& ui, Clock& clock, LinkSocket& link, MessageQueue& queue,
                             Dispatcher& dispatcher, std::function<void(const QString&)> record)
    : m_ui(ui), m_clock(clock), m_link(link), m_queue(queue), m_dispatcher(dispatcher), m_record(std::move(record)),
      m_timer(clock.createTimer()) {
    m_timer->setInterval(kTickMs);
    m_timer->setCallback([this] { tick(); });
    m_timer->setEnabled(true);
}

MessageIntake::~MessageIntake() = default;

void MessageIntake::tick() {
    // A handler that waits in a dialog lets the timer fire again; the message in hand is finished first.
    if (m_inTick)
        return;
    MessageQueue& queue = m_queue;
    if (queue.pendingCount() < 1)
        return;
    m_inTick = true;
    {
        // The window shows the outcome of the tick's messages, not each step of it.
        const MainWindowModel::Batch batch(m_ui);
        const Clock& clock = m_clock;
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
    if (m_record)
        m_record(message);
    m_dispatcher.dispatch(message);
}

void MessageIntake::showPending() {
    m_ui.setCaption(Element::PendingLbl, QString::number(m_queue.pendingCount()));
    const std::int64_t discards = m_link.discardedCount();
    if (discards != m_shownDiscards) {
        m_shownDiscards = discards;
        m_ui.setToolTip(Element::PendingLbl,
                        m_link.isUdp() ? QStringLiteral("Datagrams dropped: %1").arg(discards)
                                       : QStringLiteral("Overlong messages discarded: %1").arg(discards));
    }
}

} // namespace corvane
