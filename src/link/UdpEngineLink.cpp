#include "link/UdpEngineLink.h"

#include "common/LegacyText.h"
#include "link/MessageQueue.h"
#include "platform/Clock.h"

#include <QFile>
#include <QHostInfo>

#include <algorithm>
#include <cstdio>
#include <utility>

#ifdef __linux__
#include <sys/stat.h>
#endif

namespace corvane {

namespace {

// An IPv4 sender reaches a dual-stack socket as an IPv4-mapped IPv6 address; it is named and compared
// as the IPv4 address it is.
QHostAddress plain(const QHostAddress& address) {
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

bool sameHost(const QHostAddress& a, const QHostAddress& b) {
    return plain(a).isEqual(plain(b), QHostAddress::StrictConversion);
}

// The drops column of the kernel's table of UDP sockets for the socket with this inode.
std::int64_t kernelTableDrops(unsigned long long inode) {
    for (const char* table : {"/proc/net/udp6", "/proc/net/udp"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        file.readLine(); // the heading
        const QByteArray wanted = QByteArray::number(inode);
        for (QByteArray line = file.readLine(); !line.isEmpty(); line = file.readLine()) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            // sl, local, remote, st, tx:rx, tr:when, retrnsmt, uid, timeout, inode, ref, pointer, drops
            if (fields.size() >= 13 && fields.at(9) == wanted)
                return fields.at(12).toLongLong();
        }
    }
    return -1;
}

} // namespace

UdpEngineLink::UdpEngineLink(Clock& clock, MessageQueue& queue, LinkSettings settings)
    : m_clock(clock), m_queue(queue), m_settings(std::move(settings)),
      m_engineNamed(!m_settings.engineAddress.trimmed().isEmpty()), m_lookupLimit(clock.createTimer()),
      m_strangerReport(clock.createTimer()) {
    connect(&m_socket, &QUdpSocket::readyRead, this, &UdpEngineLink::readDatagrams);
    m_lookupLimit->setSingleShot(true);
    m_lookupLimit->setCallback([this] {
        QHostInfo::abortHostLookup(m_lookupId);
        lookupEnded({}, m_settings.engineAddress.trimmed());
    });
    m_strangerReport->setSingleShot(true);
    m_strangerReport->setCallback([this] { reportStrangers(); });
}

UdpEngineLink::~UdpEngineLink() {
    if (m_lookingUp)
        QHostInfo::abortHostLookup(m_lookupId);
    if (m_waitingForRoom)
        m_queue.cancelNotify();
}

void UdpEngineLink::sendCommand(const QString& command) {
    // While the engine's name is being looked up the command waits, in order, for the answer.
    if (m_lookingUp) {
        if (m_heldCommands.size() < kMaxHeldCommands)
            m_heldCommands.append(command);
        return;
    }
    transmit(command);
}

void UdpEngineLink::transmit(const QString& command) {
    // A closed socket sends nothing (a send would bind it anew to some other port), and neither does
    // one not pointed at the engine.
    if (m_engine.isNull() || m_socket.state() != QAbstractSocket::BoundState)
        return;
    m_socket.writeDatagram(toWire(command), m_engine, m_settings.enginePort);
}

void UdpEngineLink::connectEngine(std::function<void()> done) {
    if (!m_settingsChecked) {
        m_settingsChecked = true;
        for (const QString& entry : m_settings.allowFrom.split(u';', Qt::SkipEmptyParts)) {
            const QString text = entry.trimmed();
            if (QHostAddress parsed; parsed.setAddress(text))
                m_allowed.append(parsed);
            else if (!text.isEmpty())
                emit problem(QStringLiteral("ENG_ALLOW_FROM: %1 is not an address, ignored").arg(text));
        }
    }
    const QString host = m_settings.engineAddress.trimmed();
    // The engine's address is fixed for the run: found once, or being looked up.
    if (m_engine.isNull() && !m_lookingUp && !host.isEmpty()) {
        if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
            m_engine = QHostAddress(QHostAddress::LocalHost);
            m_engineAddresses = {m_engine, QHostAddress(QHostAddress::LocalHostIPv6)};
        } else if (QHostAddress parsed; parsed.setAddress(host)) {
            m_engine = parsed;
            m_engineAddresses = {parsed};
        } else {
            startLookup(host);
        }
    }
    // A socket that is bound already stays as it is: binding again would throw away the datagrams
    // waiting in it, and every engine-wide command points the link at the engine afresh.
    if (m_socket.state() != QAbstractSocket::BoundState)
        bindSocket();
    if (m_lookingUp) {
        m_waitingConnects.append(std::move(done));
        return;
    }
    if (done)
        done();
}

void UdpEngineLink::startLookup(const QString& host) {
    m_lookupLimit->setInterval(kLookupMs);
    m_lookupLimit->setEnabled(true);
    m_lookingUp = true;
    m_lookupId = QHostInfo::lookupHost(host, this, [this, host](const QHostInfo& info) {
        if (m_lookingUp)
            lookupEnded(info.error() == QHostInfo::NoError ? info.addresses() : QList<QHostAddress>{}, host);
    });
}

void UdpEngineLink::lookupEnded(const QList<QHostAddress>& addresses, const QString& host) {
    m_lookingUp = false;
    m_lookupId = -1;
    m_lookupLimit->setEnabled(false);
    m_engineAddresses = addresses;
    // The engine is reached at its IPv4 address where it has one.
    for (const QHostAddress& address : addresses) {
        m_engine = address;
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            break;
    }
    if (m_engine.isNull() && !m_reportedUnresolved) {
        m_reportedUnresolved = true;
        emit problem(QStringLiteral("Engine address %1 not found").arg(host));
    }
    // What waited goes out in the order it came; a failed lookup sends nothing of it.
    const QStringList held = std::exchange(m_heldCommands, {});
    for (const QString& command : held)
        transmit(command);
    const auto waiting = std::exchange(m_waitingConnects, {});
    for (const auto& done : waiting) {
        if (done)
            done();
    }
}

void UdpEngineLink::bindSocket() {
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        m_socket.abort();
    m_grantedBuffer = 0;
    // Not shared: a second program on the port would take the engine's answers.
    if (m_socket.bind(QHostAddress::Any, m_settings.monitorPort, QAbstractSocket::DontShareAddress)) {
        m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kReceiveBuffer);
        m_grantedBuffer = m_socket.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt();
        m_lastBindReport.reset();
        return;
    }
    const qint64 now = m_clock.tickMs();
    if (m_lastBindReport && now - *m_lastBindReport < kReportEveryMs)
        return;
    m_lastBindReport = now;
    const QString text =
        QStringLiteral("Cannot listen on UDP port %1: %2").arg(m_settings.monitorPort).arg(m_socket.errorString());
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    emit problem(text);
}

void UdpEngineLink::close() {
    if (m_socket.state() == QAbstractSocket::BoundState) {
        // The engine's datagrams still waiting for the ring go with the socket: they are lost too. The
        // count is bounded by what the receive buffer can hold, so that a sender that never stops
        // cannot keep the close from ending.
        constexpr int kMaxCountedAtClose = 65536;
        m_buffer.resize(1);
        for (int reads = 0; reads < kMaxCountedAtClose && m_socket.hasPendingDatagrams(); ++reads) {
            QHostAddress sender;
            if (m_socket.readDatagram(m_buffer.data(), m_buffer.size(), &sender) < 0)
                break;
            if (isHeard(sender))
                ++m_lostAtClose;
        }
        m_dropsOfClosedSockets += std::max<std::int64_t>(socketDrops(), 0);
    }
    // A closed socket has nothing more to read when the ring makes room.
    if (std::exchange(m_waitingForRoom, false))
        m_queue.cancelNotify();
    m_socket.abort();
}

std::int64_t UdpEngineLink::socketDrops() const {
#ifdef __linux__
    struct stat info {};
    const qintptr fd = m_socket.socketDescriptor();
    if (fd < 0 || fstat(static_cast<int>(fd), &info) != 0)
        return -1;
    return kernelTableDrops(static_cast<unsigned long long>(info.st_ino));
#else
    return -1;
#endif
}

std::int64_t UdpEngineLink::kernelDrops() const {
    const std::int64_t current = m_socket.state() == QAbstractSocket::BoundState ? socketDrops() : 0;
    if (current < 0)
        return -1;
    return m_dropsOfClosedSockets + current;
}

std::int64_t UdpEngineLink::discardedCount() const {
    // Read from the kernel's tables, so not on every tick.
    const qint64 now = m_clock.tickMs();
    if (!m_sampledAtMs || now - *m_sampledAtMs >= 1000) {
        m_sampledAtMs = now;
        m_sampledDrops = std::max<std::int64_t>(kernelDrops(), 0);
    }
    return m_sampledDrops + m_lostAtClose;
}

bool UdpEngineLink::isHeard(const QHostAddress& sender) const {
    if (!m_engineNamed)
        return false;
    const auto matches = [&](const QHostAddress& a) { return sameHost(a, sender); };
    return std::any_of(m_engineAddresses.cbegin(), m_engineAddresses.cend(), matches) ||
           std::any_of(m_allowed.cbegin(), m_allowed.cend(), matches);
}

void UdpEngineLink::readDatagrams() {
    // While the ring is full the datagrams wait in the socket, where the kernel keeps them, and reading
    // resumes once message processing has made room. No more than a ring's worth is read at a time,
    // so that strangers cannot keep the window from its turn.
    m_waitingForRoom = false;
    for (int reads = 0; reads < MessageQueue::kCapacity && m_socket.hasPendingDatagrams(); ++reads) {
        if (m_queue.isFull()) {
            m_waitingForRoom = true;
            m_queue.notifyWhenRoom([this] { readDatagrams(); });
            return;
        }
        const qint64 size = m_socket.pendingDatagramSize();
        m_buffer.resize(std::max<qint64>(size, 1));
        QHostAddress sender;
        const qint64 got = m_socket.readDatagram(m_buffer.data(), m_buffer.size(), &sender);
        if (got < 0)
            break; // nothing could be fetched; the next arrival tries again
        if (!isHeard(sender)) {
            countStranger(sender);
            continue;
        }
        m_queue.store(QString::fromLatin1(m_buffer.constData(), got));
    }
}

void UdpEngineLink::countStranger(const QHostAddress& sender) {
    ++m_ignoredTotal;
    const QString name = plain(sender).toString();
    if (auto it = m_strangers.find(name); it != m_strangers.end())
        ++*it;
    else if (m_strangers.size() < kMaxNamedStrangers)
        m_strangers.insert(name, 1);
    else
        ++m_otherStrangers;
    if (m_strangerReport->isEnabled())
        return;
    const qint64 wait = m_lastStrangerReport ? *m_lastStrangerReport + kReportEveryMs - m_clock.tickMs() : 0;
    if (wait <= 0) {
        reportStrangers();
        return;
    }
    m_strangerReport->setInterval(static_cast<int>(wait));
    m_strangerReport->setEnabled(true);
}

void UdpEngineLink::reportStrangers() {
    m_lastStrangerReport = m_clock.tickMs();
    const auto datagrams = [](std::int64_t n) {
        return n == 1 ? QStringLiteral("1 datagram") : QStringLiteral("%1 datagrams").arg(n);
    };
    QStringList names = m_strangers.keys();
    names.sort();
    for (const QString& name : names)
        emit problem(QStringLiteral("Ignored %1 from %2").arg(datagrams(m_strangers.value(name)), name));
    if (m_otherStrangers > 0)
        emit problem(QStringLiteral("Ignored %1 from other senders").arg(datagrams(m_otherStrangers)));
    m_strangers.clear();
    m_otherStrangers = 0;
}

} // namespace corvane
