// The link against plain loopback sockets standing in for the engine: the bytes of commands, who is
// heard, the connect and its bounds, the TCP label.
#include "link/EngineLink.h"
#include "link/LinkActions.h"
#include "link/LinkHealth.h"
#include "link/TcpEngineLink.h"
#include "link/UdpEngineLink.h"
#include "support/EngineSimProcess.h"
#include "support/ManualClock.h"
#include "support/TestMonitor.h"

#include <QHostInfo>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <vector>

using namespace corvane;
using namespace corvane::test;

namespace {

MonitorConfig linkConfig(bool udp, quint16 enginePort, quint16 monitorPort = 0) {
    MonitorConfig config;
    config.useUdp = udp;
    config.engineAddress = QStringLiteral("127.0.0.1");
    config.enginePort = static_cast<std::int16_t>(enginePort);
    config.monitorPort = static_cast<std::int16_t>(monitorPort);
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

// The configured link and what the operator sees of it, without the rest of the monitor.
struct Rig {
    explicit Rig(MonitorConfig c) : config(std::move(c)) {
        link.reset(createEngineLink(config, clock, queue));
        installLinkActions(ui, link, health, QStringLiteral("TESTBOX"));
        QObject::connect(&link, &LinkSocket::problem, [this](const QString& text) { problems << text; });
    }
    MonitorConfig config;
    ManualClock clock;
    MessageQueue queue;
    MainWindowModel ui;
    LinkSocket link;
    LinkHealth health{config, clock, [] { return std::vector<int>{}; }};
    QStringList problems; // the alarm lines the link asked for
};

} // namespace

class TestLink : public QObject {
    Q_OBJECT
private slots:
    void loadChoosesTheLinkByTheTcpKey() {
        FakeTcpEngine engine;
        for (const bool udp : {true, false}) {
            TestMonitor t(linkConfig(udp, engine.port(), EngineSimProcess::freeMonitorPort()));
            t.monitor.load();
            QCOMPARE(t.monitor.link()->isUdp(), udp);
            QCOMPARE(t.monitor.ui().element(Element::TCP).visible, !udp);
            if (!udp) // start-up connects and says hello
                QTRY_VERIFY(engine.received.startsWith("$TESTBOX|"));
        }
    }

    void udpCommandsAreSingleDatagramsFromTheMonitorsPort() {
        QUdpSocket engine;
        QVERIFY(engine.bind(QHostAddress::LocalHost, 0));
        const quint16 monitorPort = EngineSimProcess::freeMonitorPort();
        Rig t(linkConfig(true, engine.localPort(), monitorPort));
        t.link->sendCommand(QStringLiteral("early")); // not pointed at the engine yet
        t.ui.trigger(MenuItem::Refresh);
        QUdpSocket sender;
        sender.writeDatagram("A waiting", QHostAddress::LocalHost, monitorPort);
        // The datagram waits in the socket, unread: pointing the link at the engine again, as every
        // engine-wide command over UDP does, keeps it.
        t.link->connectEngine();
        QTRY_COMPARE(t.queue.pendingCount(), 1);
        QCOMPARE(t.queue.take(), QStringLiteral("A waiting"));
        t.link->sendCommand(QStringLiteral("DDDDD"));
        t.link->sendCommand(QStringLiteral("@caf\u00e9"));
        t.link->close();
        t.link->sendCommand(QStringLiteral("while closed"));
        t.link->connectEngine();
        t.link->sendCommand(QStringLiteral("again"));
        QList<QByteArray> got;
        QSet<quint16> from;
        QTRY_VERIFY([&] {
            while (engine.hasPendingDatagrams()) {
                const QNetworkDatagram d = engine.receiveDatagram();
                got << d.data();
                from << d.senderPort();
            }
            return got.size() >= 4;
        }());
        QTest::qWait(20);
        QVERIFY(!engine.hasPendingDatagrams());
        QCOMPARE(got, (QList<QByteArray>{"$TESTBOX", "DDDDD", "@caf\xe9", "again"}));
        // The commands leave from the monitor's own port, where the engine answers.
        QCOMPARE(from, QSet<quint16>{monitorPort});
        // The label belongs to TCP links only.
        QVERIFY(!t.ui.element(Element::TCP).fore.has_value());
        t.ui.gesture(Element::TCP, MainWindowModel::Gesture::DoubleClick);
        QVERIFY(!t.ui.element(Element::TCP).fore.has_value());
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
        MonitorConfig config = linkConfig(true, EngineSimProcess::freeMonitorPort(), monitorPort);
        config.engineAddress = engine;
        config.allowFrom = allowFrom;
        Rig t(config);
        bool pointed = false;
        t.link->connectEngine([&] { pointed = true; });
        QTRY_VERIFY(pointed);
        const auto& link = dynamic_cast<const UdpEngineLink&>(*t.link);
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
        QTRY_COMPARE(t.queue.pendingCount() + link.ignoredCount(), 4);
        if (heard) {
            QCOMPARE(takeAll(t.queue), (QStringList{"A1|A2", "", "|", "W"}));
            QVERIFY(t.problems.isEmpty());
            return;
        }
        QCOMPARE(t.queue.pendingCount(), 0);
        // Strangers are told at once, then at most once a minute, every datagram counted.
        const QRegularExpression report(QStringLiteral("Ignored (\\d+) datagrams? from (.*)$"));
        const auto ignoredIn = [&](const QString& line) {
            const auto m = report.match(line);
            return m.hasMatch() && m.captured(2) == sender ? m.captured(1).toInt() : -1;
        };
        QCOMPARE(t.problems.size(), 1);
        for (const QByteArray& d : sent)
            from.writeDatagram(d, to, monitorPort);
        QTRY_COMPARE(link.ignoredCount(), 8);
        t.clock.advance(UdpEngineLink::kReportEveryMs - 1);
        QCOMPARE(t.problems.size(), 1);
        t.clock.advance(1);
        QCOMPARE(t.problems.size(), 2);
        const int first = ignoredIn(t.problems[0]);
        const int second = ignoredIn(t.problems[1]);
        QVERIFY2(first > 0 && second > 0 && first + second == 8, qPrintable(t.problems.join(u'\n')));
    }

    // Past the bound, strangers are no longer named one by one but counted together.
    void udpStrangersPastTheBoundAreCountedTogether() {
        const quint16 monitorPort = EngineSimProcess::freeMonitorPort();
        Rig t(linkConfig(true, EngineSimProcess::freeMonitorPort(), monitorPort));
        t.link->connectEngine();
        const auto& link = dynamic_cast<const UdpEngineLink&>(*t.link);
        // The first is told at once; the next ones gather for a minute.
        const int senders = 1 + UdpEngineLink::kMaxNamedStrangers + 1;
        QUdpSocket from;
        for (int i = 0; i < senders; ++i) {
            from.close();
            if (!from.bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(2 + i)), 0))
                QSKIP("this host has no such loopback address");
            from.writeDatagram("W", QHostAddress::LocalHost, monitorPort);
            QTRY_COMPARE(link.ignoredCount(), i + 1);
        }
        t.clock.advance(UdpEngineLink::kReportEveryMs);
        QCOMPARE(t.problems.size(), 1 + UdpEngineLink::kMaxNamedStrangers + 1);
        QVERIFY(t.problems.last().endsWith(QStringLiteral("Ignored 1 datagram from other senders")));
    }

    void udpPortIsTheMonitorsAlone() {
        const quint16 monitorPort = EngineSimProcess::freeMonitorPort();
        Rig t(linkConfig(true, EngineSimProcess::freeMonitorPort(), monitorPort));
        {
            // Taken by another program: said plainly, and the monitor goes on.
            QUdpSocket other;
            QVERIFY(other.bind(QHostAddress::Any, monitorPort));
            t.link->connectEngine();
            QCOMPARE(t.problems.size(), 1);
            QVERIFY2(t.problems[0].contains(QStringLiteral("UDP port %1").arg(monitorPort)),
                     qPrintable(t.problems[0]));
        }
        // Free again: ReConnect binds it, and nobody else can, however politely they ask.
        t.ui.trigger(MenuItem::Refresh);
        const auto& link = dynamic_cast<const UdpEngineLink&>(*t.link);
        QCOMPARE(link.localPort(), monitorPort);
        QUdpSocket second;
        QVERIFY(!second.bind(QHostAddress::Any, monitorPort,
                             QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
        QVERIFY(!second.bind(QHostAddress::LocalHost, monitorPort,
                             QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
        QCOMPARE(t.problems.size(), 1);
    }

    void udpBurstWaitsInTheKernel() {
        const quint16 monitorPort = EngineSimProcess::freeMonitorPort();
        Rig t(linkConfig(true, EngineSimProcess::freeMonitorPort(), monitorPort));
        t.link->connectEngine();
        const auto& link = dynamic_cast<const UdpEngineLink&>(*t.link);
        QVERIFY2(link.receiveBufferBytes() >= 1024 * 1024, qPrintable(QString::number(link.receiveBufferBytes())));
        QUdpSocket engine;
        // More than the ring holds, sent in small batches that the kernel's buffer easily keeps.
        constexpr int kSent = 2500;
        for (int i = 0; i < kSent; ++i) {
            engine.writeDatagram("A" + QByteArray::number(i), QHostAddress::LocalHost, monitorPort);
            if (i % 50 == 49)
                QTRY_COMPARE(t.queue.pendingCount(), std::min(i + 1, MessageQueue::kCapacity));
        }
        QTest::qWait(20);
        QCOMPARE(t.queue.pendingCount(), MessageQueue::kCapacity);
        // The rest waited in the socket and comes in as the ring makes room, in order, none lost.
        QStringList expected;
        for (int i = 0; i < kSent; ++i)
            expected << QStringLiteral("A%1").arg(i);
        QCOMPARE(takeAll(t.queue), expected);
        QCOMPARE(link.kernelDrops(), 0);
        QCOMPARE(t.link->discardedCount(), 0);
        // Closing the link throws away what still waits, and says so.
        for (int i = 0; i < MessageQueue::kCapacity + 100; ++i)
            engine.writeDatagram("B" + QByteArray::number(i), QHostAddress::LocalHost, monitorPort);
        QTRY_COMPARE(t.queue.pendingCount(), MessageQueue::kCapacity);
        QTest::qWait(50);
        t.link->close();
        t.clock.advance(1000);
        QCOMPARE(t.link->discardedCount(), 100);
    }

    void tcpCommandsEndWithTheSeparatorAndTheLabelShowsTheLink() {
        FakeTcpEngine engine;
        Rig t(linkConfig(false, engine.port()));
        t.ui.trigger(MenuItem::Refresh);
        QTRY_VERIFY(engine.peer);
        QTRY_COMPARE(engine.received, QByteArray("$TESTBOX|"));
        const ElementState& label = t.ui.element(Element::TCP);
        QCOMPARE(label.fore, std::optional<LegacyColor>(0x00FF00));
        QCOMPARE(label.toolTip, QStringLiteral("Port = %1").arg(engine.peer->peerPort()));
        t.link->sendCommand(QStringLiteral("DDDDD"));
        QTRY_COMPARE(engine.received, QByteArray("$TESTBOX|DDDDD|"));
        engine.peer->write("|A1|A2||T12:0");
        QTRY_COMPARE(t.queue.pendingCount(), 2);

        // Double-click: down and red; ReConnect: up again with a fresh hello.
        engine.received.clear();
        t.ui.gesture(Element::TCP, MainWindowModel::Gesture::DoubleClick);
        QCOMPARE(label.fore, std::optional<LegacyColor>(0x0000FF));
        t.link->sendCommand(QStringLiteral("lost"));
        t.ui.trigger(MenuItem::Refresh);
        QTRY_COMPARE(label.fore, std::optional<LegacyColor>(0x00FF00));
        QTRY_COMPARE(engine.received, QByteArray("$TESTBOX|"));
        // The engine cannot finish on a new connection what the old one cut off: the half message is
        // not glued to the first one of the new stream.
        engine.peer->write("T12:05:00|");
        QTRY_COMPARE(t.queue.pendingCount(), 3);
        QCOMPARE(takeAll(t.queue), (QStringList{"A1", "A2", "T12:05:00"}));

        // The engine closes the connection: red, and nothing else happens.
        engine.peer->disconnectFromHost();
        QTRY_COMPARE(label.fore, std::optional<LegacyColor>(0x0000FF));
        QVERIFY(!t.link->isConnecting());
    }

    // Whatever becomes of an attempt, it ends within its looks and a new attempt ends the one under
    // way; one refused leaves the label alone.
    void connectAttemptsEnd_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("refused");
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        QTest::newRow("nothing listens") << "127.0.0.1" << int(probe.serverPort()) << true;
        // Keeps the socket connecting; some networks fail it at once, or answer for it.
        QTest::newRow("nothing answers") << "10.255.255.1" << 1260 << false;
    }

    void connectAttemptsEnd() {
        QFETCH(QString, address);
        QFETCH(int, port);
        QFETCH(bool, refused);
        MonitorConfig config = linkConfig(false, static_cast<quint16>(port));
        config.engineAddress = address;
        Rig t(config);
        t.ui.setFore(Element::TCP, 0x0000FF);
        int firstEnded = 0;
        int secondEnded = 0;
        t.link->connectEngine([&] { ++firstEnded; });
        const bool second = t.link->isConnecting();
        if (second) {
            t.link->connectEngine([&] { ++secondEnded; });
            QCOMPARE(firstEnded, 1);
        }
        for (int look = 0; look < 12 && firstEnded + secondEnded < 1 + int(second); ++look) {
            QTest::qWait(1);
            t.clock.advance(2 * TcpEngineLink::kLookMs);
        }
        QCOMPARE(firstEnded, 1);
        QCOMPARE(secondEnded, int(second));
        QVERIFY(!t.link->isConnecting());
        if (refused)
            QCOMPARE(t.ui.element(Element::TCP).fore, std::optional<LegacyColor>(0x0000FF));
        // Nothing to send on: the command goes nowhere and nothing breaks.
        t.link->sendCommand(QStringLiteral("W"));
    }

    void aNameThatDoesNotResolveIsReportedOnce_data() { overUdpAndTcp(); }
    void aNameThatDoesNotResolveIsReportedOnce() {
        QFETCH(bool, udp);
        MonitorConfig config = linkConfig(udp, 1260, EngineSimProcess::freeMonitorPort());
        config.engineAddress = QStringLiteral("no-such-engine.invalid");
        Rig t(config);
        for (int attempt = 0; attempt < 2; ++attempt) {
            bool ended = false;
            t.link->connectEngine([&] { ended = true; });
            t.link->sendCommand(QStringLiteral("SSSSS"));
            QVERIFY(QTest::qWaitFor(
                [&] {
                    t.clock.advance(TcpEngineLink::kLookMs);
                    return ended;
                },
                20000));
        }
        QCOMPARE(t.problems, QStringList{"Engine address no-such-engine.invalid not found"});
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
