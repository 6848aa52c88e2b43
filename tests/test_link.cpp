// The link against plain loopback sockets standing in for the engine: the exact bytes of commands,
// datagram and stream framing on arrival, the connect and its bounds, the TCP label.
#include "alarms/AlarmList.h"
#include "link/EngineLink.h"
#include "link/LinkActions.h"
#include "link/TcpEngineLink.h"
#include "link/UdpEngineLink.h"
#include "messages/MessageIntake.h"
#include "support/EngineSimProcess.h"
#include "support/TestMonitor.h"

#include <QHostInfo>
#include <QRegularExpression>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

using namespace corvane;
using namespace corvane::test;

namespace {

MonitorConfig udpConfig(quint16 enginePort, quint16 monitorPort) {
    MonitorConfig config;
    config.useUdp = true;
    config.engineAddress = QStringLiteral("127.0.0.1");
    config.enginePort = static_cast<std::int16_t>(enginePort);
    config.monitorPort = static_cast<std::int16_t>(monitorPort);
    return config;
}

MonitorConfig tcpConfig(quint16 enginePort) {
    MonitorConfig config = udpConfig(enginePort, 0);
    config.useUdp = false;
    return config;
}

QStringList takeAll(MessageQueue& queue) {
    QStringList out;
    while (queue.pendingCount() > 0)
        out << queue.take();
    return out;
}

// A one-connection TCP engine that keeps every byte it receives.
struct FakeTcpEngine {
    QTcpServer server;
    QTcpSocket* peer = nullptr;
    QByteArray received;
    FakeTcpEngine() {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            peer = server.nextPendingConnection();
            QObject::connect(peer, &QTcpSocket::readyRead, [this] { received += peer->readAll(); });
        });
    }
    quint16 port() const { return server.serverPort(); }
};

} // namespace

class TestLink : public QObject {
    Q_OBJECT
private slots:
    void loadChoosesTheLinkByTheTcpKey() {
        {
            TestMonitor t(
                udpConfig(EngineSimProcess::freeMonitorPort(), EngineSimProcess::freeMonitorPort()));
            t.monitor.load();
            QVERIFY(t.monitor.link && t.monitor.link->isUdp());
            QVERIFY(!t.monitor.ui.element(Element::TCP).visible);
        }
        FakeTcpEngine engine;
        TestMonitor t(tcpConfig(engine.port()));
        t.monitor.load();
        QVERIFY(t.monitor.link && !t.monitor.link->isUdp());
        QVERIFY(t.monitor.ui.element(Element::TCP).visible);
        // Start-up connects and says hello.
        QTRY_VERIFY(engine.received.startsWith("$TESTBOX|"));
    }

    void udpCommandsAreSingleDatagrams() {
        QUdpSocket engine;
        QVERIFY(engine.bind(QHostAddress::LocalHost, 0));
        const quint16 monitorPort = EngineSimProcess::freeMonitorPort();
        TestMonitor t(udpConfig(engine.localPort(), monitorPort));
        t.monitor.link.reset(createEngineLink(t.monitor));
        reconnect(t.monitor);
        t.monitor.link->sendCommand(QStringLiteral("DDDDD"));
        t.monitor.link->sendCommand(QStringLiteral("@caf\u00e9"));
        QList<QNetworkDatagram> got;
        QTRY_VERIFY([&] {
            while (engine.hasPendingDatagrams())
                got << engine.receiveDatagram();
            return got.size() >= 3;
        }());
        QCOMPARE(got[0].data(), QByteArray("$TESTBOX"));
        QCOMPARE(got[1].data(), QByteArray("DDDDD"));
        QCOMPARE(got[2].data(), QByteArray("@caf\xe9"));
        // The commands leave from the monitor's own port, where the engine answers.
        QCOMPARE(got[0].senderPort(), monitorPort);
        // The label belongs to TCP links only.
        QVERIFY(!t.monitor.ui.element(Element::TCP).fore.has_value());
        t.monitor.ui.gesture(Element::TCP, MainWindowModel::Gesture::DoubleClick);
        QVERIFY(!t.monitor.ui.element(Element::TCP).fore.has_value());
    }

    void udpOnlyTheEngineIsHeard_data() {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("allowFrom");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<bool>("heard");
        QTest::newRow("the engine") << "127.0.0.1" << "" << "127.0.0.1" << true;
        QTest::newRow("a stranger") << "127.0.0.1" << "" << "127.0.0.2" << false;
        QTest::newRow("an allowed relay") << "127.0.0.1" << " 10.9.9.9; 127.0.0.2 " << "127.0.0.2" << true;
        QTest::newRow("no engine named") << "" << "127.0.0.2" << "127.0.0.2" << false;
        QTest::newRow("localhost") << "localhost" << "" << "127.0.0.1" << true;
        QTest::newRow("an IPv6 engine") << "::1" << "" << "::1" << true;
        QTest::newRow("IPv4 to an IPv6 engine") << "::1" << "" << "127.0.0.1" << false;
        QTest::newRow("the machine's own name") << QHostInfo::localHostName() << "" << "127.0.0.1" << true;
    }

    void udpOnlyTheEngineIsHeard() {
        QFETCH(QString, engine);
        QFETCH(QString, allowFrom);
        QFETCH(QString, sender);
        QFETCH(bool, heard);
        const quint16 monitorPort = EngineSimProcess::freeMonitorPort();
        MonitorConfig config = udpConfig(EngineSimProcess::freeMonitorPort(), monitorPort);
        config.engineAddress = engine;
        config.allowFrom = allowFrom;
        TestMonitor t(config);
        t.monitor.link.reset(createEngineLink(t.monitor));
        bool pointed = false;
        t.monitor.link->connectEngine([&] { pointed = true; });
        QTRY_VERIFY(pointed);
        const auto& link = dynamic_cast<const UdpEngineLink&>(*t.monitor.link);
        QUdpSocket from;
        if (!from.bind(QHostAddress(sender), 0))
            QSKIP("this host has no such loopback address");
        const QHostAddress to(QHostAddress(sender).protocol() == QAbstractSocket::IPv6Protocol
                                  ? QHostAddress::LocalHostIPv6
                                  : QHostAddress::LocalHost);
        // A datagram is one message whatever it holds.
        const QList<QByteArray> sent{"A1|A2", "", "|", "W"};
        for (const QByteArray& d : sent)
            from.writeDatagram(d, to, monitorPort);
        QTRY_COMPARE(t.monitor.queue.pendingCount() + link.ignoredCount(), 4);
        const QStringList lines = t.monitor.alarms->lines();
        if (heard) {
            QCOMPARE(takeAll(t.monitor.queue), (QStringList{"A1|A2", "", "|", "W"}));
            QVERIFY(lines.isEmpty());
            return;
        }
        QCOMPARE(t.monitor.queue.pendingCount(), 0);
        // The operator hears of strangers at once, then no more than once a minute, every datagram
        // counted.
        const QRegularExpression report(QStringLiteral("Ignored (\\d+) datagrams? from (.*)$"));
        const auto ignoredIn = [&](const QString& line) {
            const auto m = report.match(line);
            return m.hasMatch() && m.captured(2) == sender ? m.captured(1).toInt() : -1;
        };
        QCOMPARE(lines.size(), 1);
        for (const QByteArray& d : sent)
            from.writeDatagram(d, to, monitorPort);
        QTRY_COMPARE(link.ignoredCount(), 8);
        t.services.clock.advance(UdpEngineLink::kReportEveryMs - 1);
        QCOMPARE(t.monitor.alarms->count(), 1);
        t.services.clock.advance(1);
        QCOMPARE(t.monitor.alarms->count(), 2);
        const int first = ignoredIn(t.monitor.alarms->lines()[0]);
        const int second = ignoredIn(t.monitor.alarms->lines()[1]);
        QVERIFY2(first > 0 && second > 0 && first + second == 8, qPrintable(t.monitor.alarms->lines().join(u'\n')));
    }

    void udpPortIsTheMonitorsAlone() {
        const quint16 monitorPort = EngineSimProcess::freeMonitorPort();
        TestMonitor t(udpConfig(EngineSimProcess::freeMonitorPort(), monitorPort));
        t.monitor.link.reset(createEngineLink(t.monitor));
        {
            // Taken by another program: said plainly, and the monitor goes on.
            QUdpSocket other;
            QVERIFY(other.bind(QHostAddress::Any, monitorPort));
            t.monitor.link->connectEngine();
            QCOMPARE(t.monitor.alarms->count(), 1);
            QVERIFY2(t.monitor.alarms->lines()[0].contains(QStringLiteral("UDP port %1").arg(monitorPort)),
                     qPrintable(t.monitor.alarms->lines()[0]));
        }
        // Free again: ReConnect binds it, and nobody else can, however politely they ask.
        t.monitor.ui.trigger(MenuItem::Refresh);
        const auto& link = dynamic_cast<const UdpEngineLink&>(*t.monitor.link);
        QCOMPARE(link.localPort(), monitorPort);
        QUdpSocket second;
        QVERIFY(!second.bind(QHostAddress::Any, monitorPort,
                             QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
        QVERIFY(!second.bind(QHostAddress::LocalHost, monitorPort,
                             QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
        QCOMPARE(t.monitor.alarms->count(), 1);
    }

    void udpPointingAgainKeepsWaitingDatagramsAndClosedLinkStaysSilent() {
        QUdpSocket engine;
        QVERIFY(engine.bind(QHostAddress::LocalHost, 0));
        const quint16 monitorPort = EngineSimProcess::freeMonitorPort();
        TestMonitor t(udpConfig(engine.localPort(), monitorPort));
        t.monitor.link.reset(createEngineLink(t.monitor));
        t.monitor.link->sendCommand(QStringLiteral("early")); // not pointed at the engine yet
        t.monitor.link->connectEngine();
        QUdpSocket sender;
        sender.writeDatagram("A waiting", QHostAddress::LocalHost, monitorPort);
        // Loopback delivers at once: the datagram waits in the socket, not read yet.
        // Every engine-wide command over UDP points the link at the engine again first.
        t.monitor.link->connectEngine();
        QTRY_COMPARE(t.monitor.queue.pendingCount(), 1);
        QCOMPARE(t.monitor.queue.take(), QStringLiteral("A waiting"));
        t.monitor.link->close();
        t.monitor.link->sendCommand(QStringLiteral("while closed"));
        t.monitor.link->connectEngine();
        t.monitor.link->sendCommand(QStringLiteral("again"));
        QTRY_VERIFY(engine.hasPendingDatagrams());
        const QNetworkDatagram got = engine.receiveDatagram();
        QCOMPARE(got.data(), QByteArray("again"));
        QCOMPARE(got.senderPort(), monitorPort);
        QTest::qWait(20);
        QVERIFY(!engine.hasPendingDatagrams());
    }

    void udpBurstWaitsInTheKernel() {
        const quint16 monitorPort = EngineSimProcess::freeMonitorPort();
        TestMonitor t(udpConfig(EngineSimProcess::freeMonitorPort(), monitorPort));
        t.monitor.link.reset(createEngineLink(t.monitor));
        t.monitor.link->connectEngine();
        const auto& link = dynamic_cast<const UdpEngineLink&>(*t.monitor.link);
        QVERIFY2(link.receiveBufferBytes() >= 1024 * 1024, qPrintable(QString::number(link.receiveBufferBytes())));
        QUdpSocket engine;
        // More than the ring holds, sent in small batches that the kernel's buffer easily keeps.
        constexpr int kSent = 2500;
        for (int i = 0; i < kSent; ++i) {
            engine.writeDatagram("A" + QByteArray::number(i), QHostAddress::LocalHost, monitorPort);
            if (i % 50 == 49)
                QTRY_COMPARE(t.monitor.queue.pendingCount(), std::min(i + 1, MessageQueue::kCapacity));
        }
        QTest::qWait(20);
        QCOMPARE(t.monitor.queue.pendingCount(), MessageQueue::kCapacity);
        // The rest waited in the socket and comes in as the ring makes room, in order, none lost.
        QStringList expected;
        for (int i = 0; i < kSent; ++i)
            expected << QStringLiteral("A%1").arg(i);
        QCOMPARE(takeAll(t.monitor.queue), expected);
        QCOMPARE(link.kernelDrops(), 0);
        QCOMPARE(t.monitor.link->discardedCount(), 0);
        // Closing the link throws away what still waits, and says so.
        for (int i = 0; i < MessageQueue::kCapacity + 100; ++i)
            engine.writeDatagram("B" + QByteArray::number(i), QHostAddress::LocalHost, monitorPort);
        QTRY_COMPARE(t.monitor.queue.pendingCount(), MessageQueue::kCapacity);
        QTest::qWait(50);
        t.monitor.link->close();
        t.services.clock.advance(1000);
        QCOMPARE(t.monitor.link->discardedCount(), 100);
    }

    void tcpCommandsEndWithTheSeparatorAndTheLabelShowsTheLink() {
        FakeTcpEngine engine;
        TestMonitor t(tcpConfig(engine.port()));
        t.monitor.link.reset(createEngineLink(t.monitor));
        reconnect(t.monitor);
        QTRY_VERIFY(engine.peer);
        QTRY_COMPARE(engine.received, QByteArray("$TESTBOX|"));
        const ElementState& label = t.monitor.ui.element(Element::TCP);
        QCOMPARE(label.fore, std::optional<LegacyColor>(0x00FF00));
        QCOMPARE(label.toolTip, QStringLiteral("Port = %1").arg(engine.peer->peerPort()));
        t.monitor.link->sendCommand(QStringLiteral("DDDDD"));
        QTRY_COMPARE(engine.received, QByteArray("$TESTBOX|DDDDD|"));

        // Double-click: down and red; ReConnect: up again with a fresh hello.
        engine.received.clear();
        t.monitor.ui.gesture(Element::TCP, MainWindowModel::Gesture::DoubleClick);
        QCOMPARE(label.fore, std::optional<LegacyColor>(0x0000FF));
        t.monitor.link->sendCommand(QStringLiteral("lost"));
        t.monitor.ui.trigger(MenuItem::Refresh);
        QTRY_COMPARE(label.fore, std::optional<LegacyColor>(0x00FF00));
        QTRY_COMPARE(engine.received, QByteArray("$TESTBOX|"));

        // The engine closes the connection: red, and nothing else happens.
        engine.peer->disconnectFromHost();
        QTRY_COMPARE(label.fore, std::optional<LegacyColor>(0x0000FF));
        QVERIFY(!t.monitor.link->isConnecting());
    }

    void reconnectionDropsTheOldConnectionsUnfinishedMessage() {
        FakeTcpEngine engine;
        TestMonitor t(tcpConfig(engine.port()));
        t.monitor.link.reset(createEngineLink(t.monitor));
        t.monitor.link->connectEngine();
        QTRY_VERIFY(engine.peer);
        engine.peer->write("|A1|A2||T12:0");
        QTRY_COMPARE(t.monitor.queue.pendingCount(), 2);
        // The engine cannot finish on a new connection what the old one cut off, so the half message
        // must not be glued to the first message of the new stream.
        reconnect(t.monitor);
        QTRY_VERIFY(engine.peer && engine.peer->state() == QAbstractSocket::ConnectedState &&
                    engine.received.endsWith("$TESTBOX|"));
        engine.peer->write("T12:05:00|");
        QTRY_COMPARE(t.monitor.queue.pendingCount(), 3);
        QCOMPARE(takeAll(t.monitor.queue), (QStringList{"A1", "A2", "T12:05:00"}));
    }

    void overlongTcpMessageIsAFailedArrival() {
        FakeTcpEngine engine;
        TestMonitor t(tcpConfig(engine.port()));
        t.monitor.link.reset(createEngineLink(t.monitor));
        QSignalSpy failures(&t.monitor.link, &LinkSocket::arrivalFailed);
        t.monitor.link->connectEngine();
        QTRY_VERIFY(engine.peer);
        engine.peer->write(QByteArray(40000, 'x') + "|A ok|");
        QTRY_COMPARE(t.monitor.queue.pendingCount(), 1);
        QCOMPARE(t.monitor.queue.take(), QStringLiteral("A ok"));
        QTRY_COMPARE(failures.size(), 1);
        QCOMPARE(t.monitor.link->discardedCount(), 1);
    }

    void connectToNothingLeavesTheLabelAlone() {
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            closedPort = probe.serverPort();
        }
        TestMonitor t(tcpConfig(closedPort));
        t.monitor.link.reset(createEngineLink(t.monitor));
        t.monitor.ui.setFore(Element::TCP, 0x0000FF);
        bool ended = false;
        t.monitor.link->connectEngine([&] { ended = true; });
        QTRY_VERIFY(ended);
        QVERIFY(!t.monitor.link->isConnecting());
        QCOMPARE(t.monitor.ui.element(Element::TCP).fore, std::optional<LegacyColor>(0x0000FF));
        // Nothing to send on: the command goes nowhere and nothing breaks.
        t.monitor.link->sendCommand(QStringLiteral("W"));
    }

    void connectWaitIsBounded() {
        // An address that does not answer keeps the socket connecting (some networks fail it at once,
        // or answer for it); whatever happens, the attempt ends within its looks.
        MonitorConfig config = tcpConfig(1260);
        config.engineAddress = QStringLiteral("10.255.255.1");
        TestMonitor t(config);
        t.monitor.link.reset(createEngineLink(t.monitor));
        bool ended = false;
        t.monitor.link->connectEngine([&] { ended = true; });
        for (int look = 0; look < 12 && !ended; ++look) {
            QTest::qWait(1);
            t.services.clock.advance(2 * TcpEngineLink::kLookMs);
        }
        QVERIFY(ended);
        QVERIFY(!t.monitor.link->isConnecting());
    }

    void newAttemptEndsTheOneUnderWay() {
        MonitorConfig config = tcpConfig(1260);
        config.engineAddress = QStringLiteral("10.255.255.1");
        TestMonitor t(config);
        t.monitor.link.reset(createEngineLink(t.monitor));
        int firstEnded = 0;
        int secondEnded = 0;
        t.monitor.link->connectEngine([&] { ++firstEnded; });
        if (!t.monitor.link->isConnecting())
            QSKIP("no connecting state here: the address fails at once");
        t.monitor.link->connectEngine([&] { ++secondEnded; });
        QCOMPARE(firstEnded, 1);
        QCOMPARE(secondEnded, 0);
        for (int look = 0; look < 12 && secondEnded == 0; ++look)
            t.services.clock.advance(2 * TcpEngineLink::kLookMs);
        QCOMPARE(secondEnded, 1);
        QCOMPARE(firstEnded, 1);
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
