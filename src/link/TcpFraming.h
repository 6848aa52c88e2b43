#pragma once
// Cuts the TCP byte stream into messages: each message ends with "|", empty ones are not stored, and
// the text after the last "|" waits in PartialMessage for the rest of its message, across arrivals but
// not across connections. When the ring is full the rest of an arrival is held back here, and the link
// stops reading the socket until the ring has room again, so nothing is lost.

#include "link/MessageQueue.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace corvane {

class TcpFraming {
public:
    // A message, or a PartialMessage, longer than this is a failed arrival: its text is discarded up to
    // the next "|".
    static constexpr qsizetype kMaxMessage = 32767;

    explicit TcpFraming(MessageQueue& queue) : m_queue(queue) {}

    enum class Result {
        Done,     // everything framed
        HeldBack, // the ring is full; the rest waits for resume()
    };

    // One arrival of data from the socket.
    Result arrive(const QByteArray& data);
    // Frames what was held back; call when the ring has room again.
    Result resume();
    // A new connection begins. No byte of it can finish a message that the old connection left
    // unfinished, so that tail is dropped rather than glued to the new stream's first message; whole
    // messages already received and held back are still delivered.
    void startStream();

    bool holdsBackData() const { return m_pos < m_data.size(); }
    QString partialMessage() const;
    // Failed arrivals: messages discarded for being too long. Each one is reported once through the
    // return value of takeFailures(), which the link turns into its failure signal.
    std::int64_t discardedCount() const { return m_discarded; }
    int takeFailures() {
        const int n = m_newFailures;
        m_newFailures = 0;
        return n;
    }

private:
    Result frame();
    void discardPartial();

    MessageQueue& m_queue;
    QByteArray m_partial;    // PartialMessage
    QByteArray m_data;       // the arrival being framed
    qsizetype m_pos = 0;     // first byte of m_data not framed yet
    bool m_skipping = false; // discarding an overlong message up to its "|"
    std::int64_t m_discarded = 0;
    int m_newFailures = 0;
};

} // namespace corvane
