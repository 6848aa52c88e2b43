#include "link/MessageQueue.h"

namespace corvane {

bool MessageQueue::store(QString message) {
    if (isFull())
        return false;
    m_slots[static_cast<std::size_t>(m_write)] = std::move(message);
    m_write = static_cast<std::int16_t>((m_write + 1) % kCapacity);
    ++m_pending;
    return true;
}

QString MessageQueue::take() {
    if (m_pending <= 0)
        return {};
    QString message = std::move(m_slots[static_cast<std::size_t>(m_read)]);
    m_slots[static_cast<std::size_t>(m_read)] = QString();
    m_read = static_cast<std::int16_t>((m_read + 1) % kCapacity);
    --m_pending;
    if (m_roomWaiter && m_pending <= kCapacity / 2) {
        // Taken out first: the producer may register again from inside the call.
        auto waiter = std::move(m_roomWaiter);
        m_roomWaiter = {};
        waiter();
    }
    return message;
}

} // namespace corvane
