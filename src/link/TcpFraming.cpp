#include "link/TcpFraming.h"

#include "common/LegacyText.h"

namespace corvane {

QString TcpFraming::partialMessage() const {
    return fromWire(m_partial);
}

TcpFraming::Result TcpFraming::arrive(const QByteArray& data) {
    if (holdsBackData()) {
        // The socket is not read while data is held back, but keep the order if it ever happens.
        m_data.remove(0, m_pos);
        m_data.append(data);
    } else {
        m_data = data;
    }
    m_pos = 0;
    return frame();
}

TcpFraming::Result TcpFraming::resume() {
    return frame();
}

void TcpFraming::startStream() {
    const qsizetype lastBar = holdsBackData() ? m_data.lastIndexOf('|') : -1;
    if (lastBar >= m_pos) {
        // PartialMessage and the skipping state belong to the first held-back message, which is whole.
        m_data.truncate(lastBar + 1);
        return;
    }
    m_data.truncate(m_pos);
    m_partial.clear();
    m_skipping = false;
}

void TcpFraming::discardPartial() {
    m_partial.clear();
    m_skipping = true;
    ++m_discarded;
    ++m_newFailures;
}

TcpFraming::Result TcpFraming::frame() {
    const qsizetype size = m_data.size();
    while (m_pos < size) {
        const qsizetype bar = m_data.indexOf('|', m_pos);
        if (bar < 0) {
            // No end yet: the rest waits in PartialMessage, unless it has grown too long.
            if (!m_skipping) {
                if (m_partial.size() + (size - m_pos) > kMaxMessage)
                    discardPartial();
                else
                    m_partial.append(m_data.constData() + m_pos, size - m_pos);
            }
            m_pos = size;
            break;
        }
        const qsizetype length = bar - m_pos;
        if (m_skipping) {
            // The tail of an overlong message ends here.
            m_skipping = false;
            m_pos = bar + 1;
            continue;
        }
        if (m_partial.size() + length > kMaxMessage) {
            discardPartial();
            m_skipping = false;
            m_pos = bar + 1;
            continue;
        }
        if (m_partial.isEmpty() && length == 0) {
            m_pos = bar + 1; // two separators in a row, or one at the start: nothing to store
            continue;
        }
        if (m_queue.isFull())
            return Result::HeldBack;
        QString message;
        if (m_partial.isEmpty()) {
            message = QString::fromLatin1(m_data.constData() + m_pos, length);
        } else {
            m_partial.append(m_data.constData() + m_pos, length);
            message = fromWire(m_partial);
            m_partial.clear();
        }
        m_queue.store(std::move(message));
        m_pos = bar + 1;
    }
    m_data.clear();
    m_pos = 0;
    return Result::Done;
}

} // namespace corvane
