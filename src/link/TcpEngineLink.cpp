#include "link/TcpEngineLink.h"

#include "common/LegacyText.h"
#include "link/MessageQueue.h"
#include "platform/Clock.h"

namespace corvane {

namespace {
// Qt reads no more than this from the kernel while we hold data back, so a full ring pushes back on the
// engine through TCP's own flow control instead of growing a buffer.
constexpr qint64 kReadBuffer = 1024 * 1024;
} // namespace

TcpEngineLink::TcpEngineLink(Clock& clock, MessageQueue& queue, LinkSettings settings)
    : m_queue(queue), m_settings(std::move(settings)), m_framing(queue), m_lookTimer(clock.createTimer()) {
    m_socket.setReadBufferSize(kReadBuffer);
    m_lookTimer->setSingleShot(true);
    m_lookTimer->setCallback([this] { look(); });
    connect(&m_socket, &QTcpSocket::readyRead, this, &TcpEngineLink::readSocket);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            return; // the close event follows
        if (error == QAbstractSocket::HostNotFoundError && !m_reportedUnresolved) {
            m_reportedUnresolved = true;
            emit problem(QStringLiteral("Engine address %1 not found").arg(m_settings.engineAddress.trimmed()));
        }
        m_errored = true;
        if (m_polling)
            look();
    });
    // The attempt ends as soon as the socket settles rather than at the next look.
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        if (m_polling)
            look();
    });
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        if (!m_closingOurselves)
            emit closedByPeer();
    });
}

TcpEngineLink::~TcpEngineLink() {
    m_queue.cancelNotify();
    m_closingOurselves = true;
    m_socket.abort();
}

void TcpEngineLink::sendCommand(const QString& command) {
    // A send on a link that is not connected (closed, or still connecting) does nothing.
    if (m_socket.state() != QAbstractSocket::ConnectedState)
        return;
    QByteArray data = toWire(command);
    data.append('|');
    m_socket.write(data);
}

void TcpEngineLink::connectEngine(std::function<void()> done) {
    // A new attempt ends the one under way; its continuation still runs, after this one has started.
    std::function<void()> superseded;
    if (m_polling) {
        superseded = std::move(m_done);
        m_lookTimer->setEnabled(false);
    }
    m_done = std::move(done);
    m_polling = true;
    m_errored = false;
    m_connectingLooks = m_otherLooks = m_lookupLooks = 0;
    const bool alreadyPolled = [&] {
        if (m_socket.state() != QAbstractSocket::UnconnectedState)
            return false;
        openConnection();
        // connectToHost may have finished the attempt already (an invalid address fails at once).
        return !m_polling;
    }();
    if (!alreadyPolled && m_polling)
        look();
    if (superseded)
        superseded();
}

void TcpEngineLink::openConnection() {
    m_framing.startStream();
    m_socket.connectToHost(m_settings.engineAddress.trimmed(), m_settings.enginePort);
}

void TcpEngineLink::look() {
    if (!m_polling)
        return;
    m_lookTimer->setEnabled(false);
    if (m_errored) {
        endAttempt(false);
        return;
    }
    int wait = kLookMs;
    switch (m_socket.state()) {
    case QAbstractSocket::ConnectedState:
        endAttempt(true);
        return;
    case QAbstractSocket::BoundState:
        // Open but not connected: start connecting again.
        openConnection();
        if (!m_polling)
            return;
        break;
    case QAbstractSocket::ConnectingState:
        if (++m_connectingLooks > kMaxConnectingLooks) {
            endAttempt(false);
            return;
        }
        wait += kLookMs;
        break;
    case QAbstractSocket::HostLookupState:
        if (++m_lookupLooks > kMaxLookupLooks) {
            endAttempt(false);
            return;
        }
        break;
    default:
        // Closed or closing after the connect was started: bounded like the connecting state.
        if (++m_otherLooks > kMaxConnectingLooks) {
            endAttempt(false);
            return;
        }
        break;
    }
    m_lookTimer->setInterval(wait);
    m_lookTimer->setEnabled(true);
}

void TcpEngineLink::endAttempt(bool isConnected) {
    m_polling = false;
    m_lookTimer->setEnabled(false);
    auto done = std::move(m_done);
    m_done = {};
    if (isConnected) {
        emit connected(m_socket.localPort());
        // Data may have arrived before the attempt ended.
        if (m_socket.bytesAvailable() > 0)
            readSocket();
    }
    if (done)
        done();
}

void TcpEngineLink::close() {
    m_closingOurselves = true;
    if (m_socket.state() == QAbstractSocket::ConnectedState)
        m_socket.flush();
    m_socket.abort();
    m_closingOurselves = false;
}

void TcpEngineLink::readSocket() {
    // While data is held back the socket is left alone; resumeFraming() reads it when there is room.
    if (m_framing.holdsBackData())
        return;
    while (m_socket.bytesAvailable() > 0) {
        const QByteArray data = m_socket.read(kReadBuffer);
        if (data.isEmpty())
            break;
        if (m_framing.arrive(data) == TcpFraming::Result::HeldBack) {
            holdBack();
            break;
        }
    }
    reportFailures();
}

void TcpEngineLink::holdBack() {
    m_queue.notifyWhenRoom([this] { resumeFraming(); });
}

void TcpEngineLink::resumeFraming() {
    if (m_framing.resume() == TcpFraming::Result::HeldBack) {
        holdBack();
        reportFailures();
        return;
    }
    readSocket();
}

void TcpEngineLink::reportFailures() {
    // Once per arrival, and after the arrival is handled, never from inside it: the failure runs the
    // refresh sequence, which closes and reopens this very socket.
    if (m_framing.takeFailures() > 0)
        QMetaObject::invokeMethod(
            this, [this] { emit arrivalFailed(); }, Qt::QueuedConnection);
}

} // namespace corvane
