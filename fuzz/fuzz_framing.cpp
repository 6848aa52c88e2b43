// The TCP framing, fed the way the link feeds it: bytes arrive in chunks of any size, message processing
// takes messages out between arrivals, and a full ring holds the rest of an arrival back until it has
// room again. A plain reference splitter says what must come out: every complete, non-empty message not
// longer than the limit, exactly once and in order, and nothing else.
//
// Input layout (FuzzedDataProvider): the stream's bytes are read from the front, the steering numbers
// (chunk lengths, how many messages are taken between arrivals) from the back, so a seed that is plain
// engine text stays mostly plain engine text.

#include "link/MessageQueue.h"
#include "link/TcpFraming.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fuzzer/FuzzedDataProvider.h>

using namespace corvane;

namespace {

void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "framing invariant broken: %s\n", what);
        std::abort();
    }
}

// Every byte sent is kept in one buffer and an expected message is a stretch of it, so that the reference
// costs no allocation per message and the time goes to the framing under test.
class Reference {
public:
    void feed(QByteArrayView data) {
        while (!data.isEmpty()) {
            const qsizetype bar = data.indexOf('|');
            const QByteArrayView piece = bar < 0 ? data : data.first(bar);
            m_stream.append(piece);
            if (!m_overlong) {
                if (m_length + piece.size() > TcpFraming::kMaxMessage) {
                    m_overlong = true;
                    ++discarded;
                } else {
                    m_length += piece.size();
                }
            }
            if (bar < 0)
                return;
            if (!m_overlong && m_length > 0)
                m_expected.push_back({m_stream.size() - m_length, m_length});
            m_stream.append('|');
            m_length = 0;
            m_overlong = false;
            data = data.sliced(bar + 1);
        }
    }
    bool anyExpected() const { return !m_expected.empty(); }
    std::size_t expectedCount() const { return m_expected.size(); }
    bool isNextExpected(const QString& message) {
        if (m_expected.empty())
            return false;
        const auto [start, length] = m_expected.front();
        m_expected.pop_front();
        return message == QLatin1StringView(m_stream.constData() + start, length);
    }
    QString partial() const {
        return m_overlong ? QString() : QString::fromLatin1(QByteArrayView(m_stream).last(m_length));
    }

    std::int64_t discarded = 0;

private:
    QByteArray m_stream;
    std::deque<std::pair<qsizetype, qsizetype>> m_expected; // start in m_stream, length
    qsizetype m_length = 0;                                  // of the message being received
    bool m_overlong = false;
};

// The link around the framing: a socket buffer that is read only while nothing is held back.
class Harness {
public:
    Harness() : m_framing(m_queue) {}

    void send(const QByteArray& bytes, bool readEvenIfHeld) {
        m_socket.append(bytes);
        if (!m_held || readEvenIfHeld)
            readSocket();
    }

    void take(int count) {
        while (count-- > 0 && m_queue.pendingCount() > 0) {
            const QString message = m_queue.take();
            require(m_reference.anyExpected(), "a message came out that was never sent");
            require(m_reference.isNextExpected(message), "a message came out changed or out of order");
        }
    }

    // The partial message is compared only when asked: making its text costs as much as the framing.
    void check(bool withPartial) {
        require(m_queue.pendingCount() >= 0 && m_queue.pendingCount() <= MessageQueue::kCapacity,
                "ring count out of range");
        require(m_held == m_framing.holdsBackData(), "held back without a full ring, or the reverse");
        if (!m_held) {
            require(static_cast<std::size_t>(m_queue.pendingCount()) == m_reference.expectedCount(),
                    "a complete message is missing from the ring");
            require(m_framing.discardedCount() == m_reference.discarded, "discarded count differs");
        }
        if (withPartial) {
            const QString partial = m_framing.partialMessage();
            require(partial.size() <= TcpFraming::kMaxMessage, "partial message unbounded");
            require(m_held || partial == m_reference.partial(), "partial message differs");
        }
    }

    void finish() {
        // Message processing goes on until everything sent has been taken.
        while (m_queue.pendingCount() > 0 || !m_socket.isEmpty()) {
            take(MessageQueue::kCapacity + 1);
            if (!m_held && !m_socket.isEmpty())
                readSocket();
        }
        check(true);
        require(!m_reference.anyExpected(), "a complete message never came out");
        (void)m_framing.takeFailures();
    }

    int takeFailures() { return m_framing.takeFailures(); }

private:
    void readSocket() {
        const QByteArray data = m_socket;
        m_socket.clear();
        m_reference.feed(data);
        if (m_framing.arrive(data) == TcpFraming::Result::HeldBack)
            holdBack();
        else
            m_held = false;
    }
    void holdBack() {
        m_held = true;
        m_queue.notifyWhenRoom([this] {
            if (m_framing.resume() == TcpFraming::Result::HeldBack) {
                holdBack();
                return;
            }
            m_held = false;
            if (!m_socket.isEmpty())
                readSocket();
        });
    }

    MessageQueue m_queue;
    TcpFraming m_framing;
    Reference m_reference;
    QByteArray m_socket;
    bool m_held = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    Harness harness;
    int repeats = 0;
    while (input.remaining_bytes() > 0) {
        const auto op = input.ConsumeIntegral<std::uint8_t>();
        const auto length = input.ConsumeIntegralInRange<std::size_t>(0, 300);
        const std::vector<char> chunk = input.ConsumeBytes<char>(length);
        QByteArray bytes(chunk.data(), static_cast<qsizetype>(chunk.size()));
        // Seldom (one operation byte in 256, once an input at most: tens of thousands of messages cost
        // more than a thousand ordinary inputs) a chunk repeated enough to pass the message limit or fill
        // the ring.
        if (op == 0xFF && !bytes.isEmpty() && repeats++ < 1)
            bytes = bytes.repeated(1 + (TcpFraming::kMaxMessage + 2) / bytes.size());
        harness.send(bytes, (op & 0x30) == 0x30);
        harness.check((op & 0x06) == 0x06);
        // Message processing: none, a few, or a ring's worth.
        const int takes = (op & 0x08) ? MessageQueue::kCapacity : (op & 0x07);
        harness.take(takes);
        harness.check(false);
        if (op & 0x01)
            (void)harness.takeFailures();
    }
    harness.finish();
    return 0;
}
