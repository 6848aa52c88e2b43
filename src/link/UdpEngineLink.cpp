#include "link/UdpEngineLink.h"

#include "common/LegacyText.h"
#include "link/MessageQueue.h"

#include <QHostInfo>
#include <QNetworkDatagram>

namespace corvane {

namespace {
constexpr int kReceiveBuffer = 4 * 1024 * 1024;
} // namespace

UdpEngineLink::UdpEngineLink(MessageQueue& queue, LinkSettings settings)
    : m_queue(queue), m_settings(std::move(settings)) {
    connect(&m_socket, &QUdpSocket::readyRead, this, &UdpEngineLink::readDatagrams);
}

UdpEngineLink::~UdpEngineLink() {
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
}

void UdpEngineLink::sendCommand(const QString& command) {
    // A closed socket sends nothing (a send would bind it anew to some other port), and neither does
    // one not pointed at the engine yet.
    if (m_engine.isNull() || m_socket.state() != QAbstractSocket::BoundState)
        return;
    m_socket.writeDatagram(toWire(command), m_engine, m_settings.enginePort);
}

void UdpEngineLink::connectEngine(std::function<void()> done) {
    const QString host = m_settings.engineAddress.trimmed();
    // The engine's address is fixed for the run: found once, or being looked up.
    if (m_engine.isNull() && m_lookupId < 0) {
        if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
            m_engine = QHostAddress(QHostAddress::LocalHost);
        } else if (QHostAddress parsed; parsed.setAddress(host)) {
            m_engine = parsed;
        } else if (!host.isEmpty()) {
            m_lookupId = QHostInfo::lookupHost(host, this, [this](const QHostInfo& info) {
                m_lookupId = -1;
                for (const QHostAddress& address : info.addresses()) {
                    m_engine = address;
                    if (address.protocol() == QAbstractSocket::IPv4Protocol)
                        break;
                }
            });
        }
    }
    // A socket that is bound already stays as it is: binding again would throw away the datagrams
    // waiting in it, and every engine-wide command points the link at the engine afresh.
    if (m_socket.state() == QAbstractSocket::BoundState) {
        if (done)
            done();
        return;
    }
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        m_socket.abort();
    if (m_socket.bind(QHostAddress::Any, m_settings.monitorPort,
                      QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint))
        m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kReceiveBuffer);
    if (done)
        done();
}

void UdpEngineLink::close() {
    m_socket.abort();
}

std::int64_t UdpEngineLink::discardedCount() const {
    return m_queue.droppedCount();
}

void UdpEngineLink::readDatagrams() {
    // No more than the ring can take: the rest waits in the socket while message processing gets its
    // turn. With the ring full, one datagram (the newest to be read) is dropped and counted, which
    // also keeps the socket notifying.
    const int room = MessageQueue::kCapacity - m_queue.pendingCount();
    for (int reads = 0; reads < std::max(room, 1) && m_socket.hasPendingDatagrams(); ++reads) {
        const qint64 size = m_socket.pendingDatagramSize();
        m_buffer.resize(std::max<qint64>(size, 1));
        const qint64 got = m_socket.readDatagram(m_buffer.data(), m_buffer.size());
        if (got < 0)
            continue; // a datagram that cannot be fetched is dropped
        if (m_queue.isFull()) {
            m_queue.countDropped();
            continue;
        }
        m_queue.store(QString::fromLatin1(m_buffer.constData(), got));
    }
}

} // namespace corvane
