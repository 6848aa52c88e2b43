#include "SimEngine.h"

#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTime>
#include <QUdpSocket>
#include <algorithm>
#include <cmath>

namespace corvane::sim {

namespace {

// "\r", "\n" and "\\" as CR, LF and a backslash; any other character as it stands.
QString unescaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar n = text.at(++i);
            out += n == u'r' ? QChar(u'\r') : n == u'n' ? QChar(u'\n') : n;
        } else {
            out += c;
        }
    }
    return out;
}

// A monitor that never sends "|" must not make us hold its bytes forever.
constexpr qsizetype kMaxPartialCommand = 1 << 20;
// Keep at most this much unsent data per connection while blasting, so a slow reader slows the
// blast instead of growing our memory.
constexpr qint64 kBlastHighWater = 1 << 20;
constexpr int kBlastChunk = 1000;
constexpr int kRateTickMs = 10;
constexpr std::size_t kMaxUdpPeers = 1000;

QString escapeLine(QString text) {
    text.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return text;
}

// The switch's local time as the clock label shows it: "12:32:20 AM".
QString clockText(const QTime& t) {
    int hour = t.hour() % 12;
    if (hour == 0)
        hour = 12;
    return QStringLiteral("%1:%2:%3 %4")
        .arg(hour, 2, 10, QLatin1Char('0'))
        .arg(t.minute(), 2, 10, QLatin1Char('0'))
        .arg(t.second(), 2, 10, QLatin1Char('0'))
        .arg(t.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

QString onOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

} // namespace

struct SimEngine::TcpClient {
    QTcpSocket* socket = nullptr;
    QHostAddress address;
    quint16 port = 0;
    QByteArray input;
    QString name;
    qint64 blastNext = 0; // next blast number to send, 0 when not blasting
    // What went out on this connection, so a soak run can count what the monitor lost.
    int connection = 0;
    qint64 sentMessages = 0; // well-formed messages, the marker not included
    qint64 sentGarbage = 0;
    qint64 sentOversized = 0;
};

struct SimEngine::UdpPeer {
    QHostAddress address;
    quint16 port = 0;
    QString name;
};

SimEngine::SimEngine(const SimOptions& options, std::function<void(const QString&)> print)
    : m_options(options), m_print(std::move(print)),
      m_board(options.spans, options.channelsPerSpan, options.groups, options.seed),
      m_faultRandom(options.seed ^ 0x5eedfa17u), m_faultsOn(options.faultEverySeconds > 0) {
    m_uptime.start();
    m_faultTimer.setSingleShot(true);
    connect(&m_faultTimer, &QTimer::timeout, this, &SimEngine::faultTick);
    connect(&m_heartbeatTimer, &QTimer::timeout, this, &SimEngine::heartbeat);
    connect(&m_clockTimer, &QTimer::timeout, this, &SimEngine::clockTick);
    connect(&m_rateTimer, &QTimer::timeout, this, &SimEngine::trafficTick);
    m_rateTimer.setInterval(kRateTickMs);
}

SimEngine::~SimEngine() {
    while (!m_tcp.empty())
        dropTcp(m_tcp.front().get());
}

namespace {

// Port 0 asks for any free port. The monitor keeps its port settings as 16-bit signed numbers, so the
// system's own choice (32768 and up on Linux) would be out of its reach: pick one below 32768 instead.
constexpr int kLowestFreePort = 20000;
constexpr int kHighestFreePort = 32767;
constexpr int kFreePortAttempts = 500;

template <typename Open> bool openOnPort(int wanted, Open open) {
    if (wanted != 0)
        return open(static_cast<quint16>(wanted));
    for (int i = 0; i < kFreePortAttempts; ++i) {
        if (open(static_cast<quint16>(
                QRandomGenerator::global()->bounded(kLowestFreePort, kHighestFreePort + 1))))
            return true;
    }
    return false;
}

} // namespace

bool SimEngine::listen(QString& error) {
    const QHostAddress bind(m_options.bindAddress);
    m_udpSocket = std::make_unique<QUdpSocket>();
    if (!openOnPort(m_options.udpPort, [&](quint16 port) { return m_udpSocket->bind(bind, port); })) {
        error = QStringLiteral("cannot bind UDP %1:%2: %3")
                    .arg(m_options.bindAddress)
                    .arg(m_options.udpPort)
                    .arg(m_udpSocket->errorString());
        return false;
    }
    connect(m_udpSocket.get(), &QUdpSocket::readyRead, this, &SimEngine::readUdp);
    m_server = std::make_unique<QTcpServer>();
    if (!openOnPort(m_options.tcpPort, [&](quint16 port) { return m_server->listen(bind, port); })) {
        error = QStringLiteral("cannot listen on TCP %1:%2: %3")
                    .arg(m_options.bindAddress)
                    .arg(m_options.tcpPort)
                    .arg(m_server->errorString());
        return false;
    }
    // A later "listen on" reopens the same port.
    m_options.tcpPort = m_server->serverPort();
    connect(m_server.get(), &QTcpServer::newConnection, this, &SimEngine::acceptConnections);
    setTimer(m_heartbeatTimer, m_options.heartbeatMs);
    setTimer(m_clockTimer, m_options.clockMs);
    m_trafficSince.start();
    m_alarmSince.start();
    m_rateTimer.start();
    scheduleFault();
    return true;
}

quint16 SimEngine::udpPort() const {
    return m_udpSocket ? m_udpSocket->localPort() : 0;
}
quint16 SimEngine::tcpPort() const {
    return static_cast<quint16>(m_options.tcpPort);
}

void SimEngine::setTimer(QTimer& timer, int intervalMs) {
    if (intervalMs > 0)
        timer.start(intervalMs);
    else
        timer.stop();
}

QString SimEngine::peerText(const QHostAddress& address, quint16 port) const {
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped)
        return QStringLiteral("%1:%2").arg(QHostAddress(v4).toString()).arg(port);
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        return QStringLiteral("[%1]:%2").arg(address.toString()).arg(port);
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

// ---- receiving ----

void SimEngine::acceptConnections() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(nullptr);
        auto client = std::make_unique<TcpClient>();
        client->socket = socket;
        client->connection = m_nextConnection++;
        client->address = socket->peerAddress();
        client->port = socket->peerPort();
        TcpClient* c = client.get();
        m_tcp.push_back(std::move(client));
        connect(socket, &QTcpSocket::readyRead, this, [this, c] { readTcp(c); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, c] { pumpTcpBlast(c); });
        connect(socket, &QTcpSocket::disconnected, this, [this, c] { dropTcp(c); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, c] { dropTcp(c); });
        m_print(QStringLiteral("# tcp connect ") + peerText(c->address, c->port));
        if (!m_listening) {
            dropTcp(c);
            continue;
        }
        // The marker goes out even during a silence: a soak run needs it to tell connections apart.
        if (m_options.markConnections)
            socket->write(QByteArrayLiteral("#connection ") + QByteArray::number(c->connection) + '|');
    }
}

void SimEngine::dropTcp(TcpClient* client) {
    std::unique_ptr<TcpClient> gone = takeTcp(client);
    if (!gone)
        return;
    gone->socket->disconnect(this);
    gone->socket->abort();
    gone->socket->deleteLater(); // we may be inside one of its signals
    closed(*gone, "monitor");
}

void SimEngine::closeTcp(TcpClient* client) {
    std::unique_ptr<TcpClient> gone = takeTcp(client);
    if (!gone)
        return;
    QTcpSocket* socket = gone->socket;
    socket->disconnect(this);
    // The socket lives on until what is written has gone out; a monitor that stops reading cannot
    // keep it forever.
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(30000, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->disconnectFromHost();
    closed(*gone, "engine");
}

std::unique_ptr<SimEngine::TcpClient> SimEngine::takeTcp(TcpClient* client) {
    const auto it =
        std::find_if(m_tcp.begin(), m_tcp.end(), [&](const auto& c) { return c.get() == client; });
    if (it == m_tcp.end())
        return nullptr;
    std::unique_ptr<TcpClient> gone = std::move(*it);
    m_tcp.erase(it);
    return gone;
}

void SimEngine::closed(const TcpClient& client, const char* closedBy) {
    printSent(&client, closedBy);
    m_print(QStringLiteral("# tcp close ") + peerText(client.address, client.port));
    if (m_blastRunning)
        checkBlastFinished();
}

void SimEngine::closeAllTcp() {
    while (!m_tcp.empty())
        closeTcp(m_tcp.front().get());
}

void SimEngine::printSent(const TcpClient* client, const char* closedBy) {
    m_print(QStringLiteral("# tcp sent %1 connection=%2 messages=%3 garbage=%4 oversized=%5 closed-by=%6")
                .arg(peerText(client->address, client->port))
                .arg(client->connection)
                .arg(client->sentMessages)
                .arg(client->sentGarbage)
                .arg(client->sentOversized)
                .arg(QString::fromLatin1(closedBy)));
}

void SimEngine::readTcp(TcpClient* client) {
    client->input += client->socket->readAll();
    qsizetype start = 0;
    for (qsizetype bar = client->input.indexOf('|'); bar >= 0; bar = client->input.indexOf('|', start)) {
        const QByteArray command = client->input.mid(start, bar - start);
        start = bar + 1;
        if (!command.isEmpty()) {
            handleCommand(Origin{client, nullptr}, QString::fromLatin1(command));
            // The command may have closed this very connection.
            if (std::none_of(m_tcp.begin(), m_tcp.end(), [&](const auto& c) { return c.get() == client; }))
                return;
        }
    }
    client->input.remove(0, start);
    if (client->input.size() > kMaxPartialCommand) {
        m_print(QStringLiteral("# dropped %1 bytes without a separator from %2")
                    .arg(client->input.size())
                    .arg(peerText(client->address, client->port)));
        client->input.clear();
    }
}

void SimEngine::readUdp() {
    while (m_udpSocket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_udpSocket->receiveDatagram();
        if (!datagram.isValid())
            break; // a failed read would otherwise be retried forever
        const QHostAddress address = datagram.senderAddress();
        const auto port = static_cast<quint16>(datagram.senderPort());
        auto it = std::find_if(m_udp.begin(), m_udp.end(),
                               [&](const auto& p) { return p->port == port && p->address.isEqual(address); });
        if (it == m_udp.end()) {
            // A flood of senders must not grow the list without bound: the longest known goes first.
            if (m_udp.size() >= kMaxUdpPeers)
                m_udp.erase(m_udp.begin());
            auto peer = std::make_unique<UdpPeer>();
            peer->address = address;
            peer->port = port;
            m_udp.push_back(std::move(peer));
            it = m_udp.end() - 1;
        }
        handleCommand(Origin{nullptr, it->get()}, QString::fromLatin1(datagram.data()));
    }
}

// ---- answering ----

void SimEngine::handleCommand(Origin from, const QString& command) {
    const QString who =
        from.tcp ? peerText(from.tcp->address, from.tcp->port) : peerText(from.udp->address, from.udp->port);
    m_print(who + QLatin1Char(' ') + escapeLine(command));

    static const QRegularExpression channelCommand(QStringLiteral("^([XYxMmtT])(\\d{4,5})$"));
    static const QRegularExpression commit(QStringLiteral("^I\\d+$"));

    if (command.startsWith(QLatin1Char('$'))) {
        (from.tcp ? from.tcp->name : from.udp->name) = command.mid(1);
    } else if (command == QLatin1String("SSSSS")) {
        // One pass: a "%" in the switch name is text, not a place holder.
        const QString groups = QString::number(m_board.groups());
        sendTo(from, QStringLiteral("S%1,%2,%3").arg(m_options.switchName, groups, groups));
    } else if (command == QLatin1String("DDDDD")) {
        for (const QString& message : m_board.groupNames())
            sendTo(from, message);
    } else if (command == QLatin1String("CCCCC")) {
        acknowledge(from, QLatin1Char('C'));
    } else if (command == QLatin1String("UUUUU")) {
        for (const QString& message : m_board.fullReport())
            sendTo(from, message);
    } else if (command == QLatin1String("W")) {
        if (m_options.answerPings && !pingsMuted())
            sendTo(from, QStringLiteral("+W"));
    } else if (command == QLatin1String("HHHHH")) {
        if (m_options.refused.contains(QLatin1Char('H'))) {
            acknowledge(from, QLatin1Char('H'));
        } else {
            m_hungTrunkOn = !m_hungTrunkOn;
            if (m_hungTrunkOn)
                acknowledge(from, QLatin1Char('H'), m_board.freeVoxText());
            else
                acknowledge(from, QLatin1Char('h'));
        }
    } else if (command == QLatin1String("LLLLL")) {
        acknowledge(from, QLatin1Char('L'));
    } else if (command == QLatin1String("QQQQQ")) {
        acknowledge(from, QLatin1Char('Q'));
    } else if (command == QLatin1String("ppppp")) {
        const QString name = from.tcp ? from.tcp->name : from.udp->name;
        sendTo(from, QStringLiteral("ATest page requested by ") + (name.isEmpty() ? who : name));
    } else if (command == QLatin1String("!")) {
        sendTo(from, QLatin1Char('!') + monitorList());
    } else if (command.startsWith(QLatin1Char('@'))) {
        sendAll(command);
    } else if (const auto m = channelCommand.match(command); m.hasMatch()) {
        const QChar letter = command.at(0);
        QStringList changes;
        if (m_options.refused.contains(letter) ||
            !m_board.channelCommand(letter, m.captured(2).toInt(), changes)) {
            sendTo(from, QStringLiteral("-") + letter);
        } else {
            sendTo(from, QStringLiteral("+") + letter);
            for (const QString& change : changes)
                sendAll(change);
        }
    } else if (commit.match(command).hasMatch()) {
        acknowledge(from, QLatin1Char('I'));
    }
    // Anything else is printed above and otherwise ignored, as the real engine does.
}

void SimEngine::acknowledge(Origin to, QChar letter, const QString& rest) {
    if (m_options.refused.contains(letter))
        sendTo(to, QStringLiteral("-") + letter);
    else
        sendTo(to, QStringLiteral("+") + letter + rest);
}

QString SimEngine::monitorList() const {
    QStringList names;
    for (const auto& c : m_tcp)
        names << (c->name.isEmpty() ? peerText(c->address, c->port) : c->name);
    for (const auto& p : m_udp)
        names << (p->name.isEmpty() ? peerText(p->address, p->port) : p->name);
    return names.join(QStringLiteral(", "));
}

void SimEngine::sendTo(Origin to, const QString& message) {
    if (to.tcp)
        sendTo(to.tcp, message);
    else if (to.udp)
        sendTo(to.udp, message);
}

void SimEngine::sendTo(TcpClient* client, const QString& message) {
    if (silent())
        return;
    client->socket->write(message.toLatin1() + '|');
    ++client->sentMessages;
}

void SimEngine::sendTo(UdpPeer* peer, const QString& message) {
    if (silent())
        return;
    // A full socket buffer loses the datagram, as UDP may.
    m_udpSocket->writeDatagram(message.toLatin1(), peer->address, peer->port);
}

void SimEngine::sendAll(const QString& message) {
    for (const auto& c : m_tcp)
        sendTo(c.get(), message);
    for (const auto& p : m_udp)
        sendTo(p.get(), message);
}

// ---- periodic messages ----

void SimEngine::heartbeat() {
    sendAll(QStringLiteral("W"));
}

void SimEngine::clockTick() {
    sendAll(QLatin1Char('T') + clockText(QTime::currentTime()));
}

void SimEngine::trafficTick() {
    // Rates are kept on average over time, so a slow tick sends several messages at once; after a
    // long stall the backlog is dropped rather than sent as one burst.
    const auto due = [](const QElapsedTimer& since, double rate, qint64& sent) {
        const auto owed =
            static_cast<qint64>(std::floor(static_cast<double>(since.elapsed()) * rate / 1000.0));
        if (owed - sent > std::max<qint64>(10, static_cast<qint64>(rate)))
            sent = owed - 1;
        return std::max<qint64>(0, owed - sent);
    };
    if (!anyMonitor() || silent()) {
        m_trafficSince.restart();
        m_trafficSent = 0;
        m_alarmSince.restart();
        m_alarmsSent = 0;
    } else {
        for (qint64 n = due(m_trafficSince, m_options.trafficRate, m_trafficSent); n > 0;) {
            const QStringList step =
                m_options.flipTraffic ? QStringList{m_board.nextFlip()} : m_board.nextTrafficStep();
            for (const QString& message : step) {
                sendAll(message);
                ++m_trafficSent;
                --n;
            }
        }
        for (qint64 n = due(m_alarmSince, m_options.alarmRate, m_alarmsSent); n > 0; --n) {
            sendAll(QLatin1Char('A') + m_board.nextAlarmText());
            ++m_alarmsSent;
        }
    }
    if (m_udpBlastNext > 0 && m_blastRate > 0)
        pumpUdpBlast();
}

// ---- blasts ----

QString SimEngine::blastMessage(qint64 n) const {
    return QStringLiteral("A blast %1").arg(n, 6, 10, QLatin1Char('0'));
}

void SimEngine::startBlast(qint64 count, double rate) {
    m_blastRunning = true;
    m_blastCount = count;
    m_blastRate = rate;
    m_blastSince.start();
    for (const auto& c : m_tcp) {
        c->blastNext = 1;
        pumpTcpBlast(c.get());
    }
    m_udpBlastNext = m_udp.empty() ? 0 : 1;
    if (m_udpBlastNext > 0)
        pumpUdpBlast();
    checkBlastFinished();
}

void SimEngine::pumpTcpBlast(TcpClient* client) {
    if (client->blastNext <= 0)
        return;
    while (client->blastNext <= m_blastCount && client->socket->bytesToWrite() < kBlastHighWater) {
        QByteArray chunk;
        for (int i = 0; i < kBlastChunk && client->blastNext <= m_blastCount; ++i) {
            chunk += blastMessage(client->blastNext++).toLatin1() + '|';
            ++client->sentMessages;
        }
        client->socket->write(chunk);
    }
    if (client->blastNext > m_blastCount) {
        client->blastNext = 0;
        checkBlastFinished();
    }
}

void SimEngine::pumpUdpBlast() {
    qint64 until = m_blastCount;
    if (m_blastRate > 0)
        until = std::min(until, static_cast<qint64>(std::floor(static_cast<double>(m_blastSince.elapsed()) *
                                                               m_blastRate / 1000.0)) +
                                    1);
    // Unpaced blasts go out in slices so control lines and other sockets are still served.
    until = std::min(until, m_udpBlastNext + kBlastChunk - 1);
    for (; m_udpBlastNext <= until; ++m_udpBlastNext) {
        const QString message = blastMessage(m_udpBlastNext);
        for (const auto& p : m_udp)
            sendTo(p.get(), message);
    }
    if (m_udpBlastNext > m_blastCount) {
        m_udpBlastNext = 0;
        checkBlastFinished();
    } else if (m_blastRate <= 0) {
        QTimer::singleShot(0, this, [this] {
            if (m_udpBlastNext > 0)
                pumpUdpBlast();
        });
    }
}

void SimEngine::checkBlastFinished() {
    if (!m_blastRunning || m_udpBlastNext > 0 ||
        std::any_of(m_tcp.begin(), m_tcp.end(), [](const auto& c) { return c->blastNext > 0; }))
        return;
    m_blastRunning = false;
    m_print(QStringLiteral("# blast finished %1").arg(m_blastCount));
}

// ---- faults ----

QByteArray SimEngine::garbageMessage() {
    // Values that have broken readers before: the board's limits, numbers beyond 16 bits, halves,
    // exponents, signs, text where a number belongs, bytes that are not ASCII. Drawn from a fixed
    // list, so the cells and tables that garbage creates are few and made early in a run.
    static const char* const kValues[] = {
        "",     "0",      "1",      "2",     "100",         "101", "131",  "32767",   "32768",    "-1",
        "-101", "-32768", "-32769", "65536", "99999999999", "1e9", "-1e9", "32767.5", "0.5",      "1.5",
        " 305", "abc",    "0x10",   "+7",    "--3",         ".",   "e",    "305abc",  "\xff\xfe", "\x80\xc0"};
    static const char kTypes[] = "AtcC+-SWD!@T";
    QRandomGenerator& r = m_faultRandom;
    QByteArray m;
    const auto randomBytes = [&](int n) {
        for (int i = 0; i < n; ++i)
            m.append(static_cast<char>(r.bounded(256)));
    };
    const auto value = [&] { m.append(kValues[r.bounded(static_cast<int>(std::size(kValues)))]); };
    switch (r.bounded(4)) {
    case 0: // anything at all, NUL bytes included
        randomBytes(1 + r.bounded(300));
        break;
    case 1: // a known type with numeric fields from the list
    case 2: {
        m.append(kTypes[r.bounded(static_cast<int>(sizeof kTypes) - 1)]);
        if (r.bounded(4) == 0)
            m.append(static_cast<char>('A' + r.bounded(58))); // "+x", "-S", ...
        const int fields = r.bounded(7);
        for (int i = 0; i < fields; ++i) {
            if (i > 0)
                m.append(',');
            value();
        }
        break;
    }
    default: // a known type with a text body
        m.append(kTypes[r.bounded(static_cast<int>(sizeof kTypes) - 1)]);
        value();
        m.append(r.bounded(2) ? " Blocked ALERTING Event " : ",1,");
        randomBytes(r.bounded(2000));
        break;
    }
    // No separator (one message stays one message), no line break (one record stays one line of the
    // monitor's log) and no "#" (the connection markers stay the only ones).
    for (char& c : m) {
        if (c == '|' || c == '\r' || c == '\n' || c == '#')
            c = '?';
    }
    return m;
}

void SimEngine::sendGarbage(qint64 count) {
    for (qint64 i = 0; i < count; ++i) {
        const QByteArray m = garbageMessage();
        for (const auto& c : m_tcp) {
            c->socket->write(m + '|');
            ++c->sentGarbage;
        }
        for (const auto& p : m_udp)
            m_udpSocket->writeDatagram(m, p->address, p->port);
    }
}

void SimEngine::sendOversized(qint64 bytes) {
    QByteArray m(bytes, 'x');
    m[0] = 'A';
    for (const auto& c : m_tcp) {
        c->socket->write(m + '|');
        ++c->sentOversized;
    }
    // The longest datagram there is.
    m.truncate(std::min<qint64>(bytes, 65507));
    for (const auto& p : m_udp)
        m_udpSocket->writeDatagram(m, p->address, p->port);
}

// Both replace a silence or muting under way: 0 ends it at once.
void SimEngine::silence(qint64 ms) {
    m_silentUntilMs = m_uptime.elapsed() + ms;
}

void SimEngine::mutePings(qint64 ms) {
    m_pingsMutedUntilMs = m_uptime.elapsed() + ms;
}

void SimEngine::scheduleFault() {
    if (!m_faultsOn || m_options.faultEverySeconds <= 0 || m_options.faultKinds.isEmpty()) {
        m_faultTimer.stop();
        return;
    }
    // Half to one and a half times the mean interval.
    const double ms = m_options.faultEverySeconds * 1000.0 * (0.5 + m_faultRandom.generateDouble());
    m_faultTimer.start(static_cast<int>(std::clamp(ms, 1.0, 86400000.0)));
}

void SimEngine::faultTick() {
    const QStringList& kinds = m_options.faultKinds;
    const QString kind = kinds.at(m_faultRandom.bounded(static_cast<int>(kinds.size())));
    if (kind == QLatin1String("disconnect")) {
        m_print(QStringLiteral("# fault disconnect"));
        closeAllTcp();
    } else if (kind == QLatin1String("silence")) {
        const int ms = m_faultRandom.bounded(2000, 8001);
        m_print(QStringLiteral("# fault silence %1").arg(ms));
        silence(ms);
    } else if (kind == QLatin1String("pings")) {
        const int ms = m_faultRandom.bounded(3000, 10001);
        m_print(QStringLiteral("# fault pings %1").arg(ms));
        mutePings(ms);
    } else if (kind == QLatin1String("oversize")) {
        const int bytes = m_faultRandom.bounded(33000, 100001);
        m_print(QStringLiteral("# fault oversize %1").arg(bytes));
        sendOversized(bytes);
    } else {
        const int count = m_faultRandom.bounded(1, 101);
        m_print(QStringLiteral("# fault garbage %1").arg(count));
        sendGarbage(count);
    }
    scheduleFault();
}

// ---- control lines ----

void SimEngine::control(const QString& raw) {
    const QString line = raw.trimmed();
    if (line.isEmpty())
        return;
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    const QString word = blank < 0 ? line : line.left(blank);
    const QString rest = blank < 0 ? QString() : line.mid(blank + 1).trimmed();
    const auto fail = [&](const QString& why) { m_print(QStringLiteral("# error %1: %2").arg(why, line)); };
    const auto done = [&] { m_print(QStringLiteral("# done ") + line); };
    const auto readSwitch = [&](bool& out) {
        if (rest == QLatin1String("on"))
            out = true;
        else if (rest == QLatin1String("off"))
            out = false;
        else
            return false;
        return true;
    };
    const auto readRate = [&](double& out) {
        bool ok = false;
        const double v = rest.toDouble(&ok);
        if (!ok || !(v >= 0.0) || v > 1e6)
            return false;
        out = v;
        return true;
    };

    bool on = false;
    if (word == QLatin1String("heartbeat")) {
        if (!readSwitch(on))
            return fail(QStringLiteral("expected on or off"));
        if (on && m_options.heartbeatMs <= 0)
            m_options.heartbeatMs = 1000;
        setTimer(m_heartbeatTimer, on ? m_options.heartbeatMs : 0);
    } else if (word == QLatin1String("clock")) {
        if (!readSwitch(on))
            return fail(QStringLiteral("expected on or off"));
        if (on && m_options.clockMs <= 0)
            m_options.clockMs = 1000;
        setTimer(m_clockTimer, on ? m_options.clockMs : 0);
    } else if (word == QLatin1String("pings")) {
        if (!readSwitch(m_options.answerPings))
            return fail(QStringLiteral("expected on or off"));
    } else if (word == QLatin1String("traffic")) {
        if (!readRate(m_options.trafficRate))
            return fail(QStringLiteral("expected a rate"));
        m_trafficSince.restart();
        m_trafficSent = 0;
    } else if (word == QLatin1String("alarms")) {
        if (!readRate(m_options.alarmRate))
            return fail(QStringLiteral("expected a rate"));
        m_alarmSince.restart();
        m_alarmsSent = 0;
    } else if (word == QLatin1String("refuse")) {
        m_options.refused = rest;
    } else if (word == QLatin1String("close")) {
        closeAllTcp();
    } else if (word == QLatin1String("listen")) {
        if (!readSwitch(on))
            return fail(QStringLiteral("expected on or off"));
        m_listening = on;
        if (!on) {
            m_server->close();
            closeAllTcp();
        } else if (!m_server->isListening() && !m_server->listen(QHostAddress(m_options.bindAddress),
                                                                 static_cast<quint16>(m_options.tcpPort))) {
            return fail(QStringLiteral("cannot listen: ") + m_server->errorString());
        }
    } else if (word == QLatin1String("replication")) {
        // The engine's own replication state, announced to every monitor without being asked.
        if (!readSwitch(on))
            return fail(QStringLiteral("expected on or off"));
        sendAll(on ? QStringLiteral("+A OK") : QStringLiteral("-N down"));
    } else if (word == QLatin1String("forget")) {
        m_udp.clear();
        m_udpBlastNext = 0;
        checkBlastFinished();
    } else if (word == QLatin1String("blast")) {
        const QStringList args = rest.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        bool ok = !args.isEmpty() && args.size() <= 2;
        const qint64 count = ok ? args.at(0).toLongLong(&ok) : 0;
        double rate = 0;
        if (ok && args.size() == 2) {
            rate = args.at(1).toDouble(&ok);
            ok = ok && rate > 0 && rate <= 1e6;
        }
        if (!ok || count < 1 || count > 99999999)
            return fail(QStringLiteral("expected blast N [RATE]"));
        if (m_blastRunning)
            return fail(QStringLiteral("a blast is running"));
        if (!anyMonitor())
            return fail(QStringLiteral("no monitor"));
        done();
        startBlast(count, rate);
        return;
    } else if (word == QLatin1String("send") || word == QLatin1String("send-escaped")) {
        // The text is sent as typed: blanks inside and at its end are part of the message.
        QString message = raw;
        while (message.endsWith(QLatin1Char('\n')) || message.endsWith(QLatin1Char('\r')))
            message.chop(1);
        const qsizetype at = message.indexOf(word);
        message = message.mid(at + word.size());
        if (message.startsWith(QLatin1Char(' ')))
            message.remove(0, 1);
        // A control line cannot hold a line break; an engine's message can.
        if (word == QLatin1String("send-escaped"))
            message = unescaped(message);
        sendAll(message);
    } else if (word == QLatin1String("garbage") || word == QLatin1String("oversize") ||
               word == QLatin1String("silence") || word == QLatin1String("mute-pings")) {
        bool ok = true;
        const qint64 n = rest.isEmpty() && word == QLatin1String("oversize") ? 40000 : rest.toLongLong(&ok);
        const bool timed = word == QLatin1String("silence") || word == QLatin1String("mute-pings");
        if (!ok || n < (timed ? 0 : 1) || n > 100000000)
            return fail(QStringLiteral("expected a number from %1 to 100000000").arg(timed ? 0 : 1));
        if (word == QLatin1String("garbage"))
            sendGarbage(n);
        else if (word == QLatin1String("oversize"))
            sendOversized(n);
        else if (word == QLatin1String("silence"))
            silence(n);
        else
            mutePings(n);
    } else if (word == QLatin1String("faults")) {
        if (!readSwitch(on))
            return fail(QStringLiteral("expected on or off"));
        if (on && m_options.faultEverySeconds <= 0)
            m_options.faultEverySeconds = 20;
        m_faultsOn = on;
        scheduleFault();
    } else if (word == QLatin1String("counts")) {
        for (const auto& c : m_tcp)
            printSent(c.get(), "open");
    } else if (word == QLatin1String("status")) {
        m_print(QStringLiteral("# status tcp=%1 udp=%2 heartbeat=%3 clock=%4 pings=%5 traffic=%6 alarms=%7 "
                               "hung=%8 listen=%9 monitors=%10")
                    .arg(m_tcp.size())
                    .arg(m_udp.size())
                    .arg(onOff(m_heartbeatTimer.isActive()), onOff(m_clockTimer.isActive()),
                         onOff(m_options.answerPings))
                    .arg(m_options.trafficRate)
                    .arg(m_options.alarmRate)
                    .arg(onOff(m_hungTrunkOn), onOff(m_listening), monitorList()));
    } else if (word == QLatin1String("quit")) {
        done();
        emit quitRequested();
        return;
    } else {
        return fail(QStringLiteral("unknown control"));
    }
    done();
}

} // namespace corvane::sim
