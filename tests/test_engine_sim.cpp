// What the simulated engine gives a monitor and the operator who runs it: its options, and its answers
// over either transport.

#include "support/EngineSimProcess.h"

#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

using corvane::test::EngineSimProcess;

namespace {

// A monitor's end of the link: collects the engine's messages in arrival order.
struct Client {
    Client(bool overUdp, const EngineSimProcess& sim)
        : udp(overUdp), enginePort(overUdp ? sim.udpPort() : sim.tcpPort()) {
        if (udp) {
            datagrams.bind(QHostAddress::LocalHost, 0);
            QObject::connect(&datagrams, &QUdpSocket::readyRead, [this] {
                while (datagrams.hasPendingDatagrams())
                    messages.append(QString::fromLatin1(datagrams.receiveDatagram().data()));
            });
            return;
        }
        QObject::connect(&stream, &QTcpSocket::readyRead, [this] {
            const QList<QByteArray> parts = (raw + stream.readAll()).split('|');
            raw = parts.last(); // waits for its separator
            for (qsizetype i = 0; i + 1 < parts.size(); ++i)
                messages.append(QString::fromLatin1(parts.at(i)));
        });
        stream.connectToHost(QHostAddress::LocalHost, enginePort);
        stream.waitForConnected(5000);
    }
    void send(const QString& command) {
        if (udp)
            datagrams.writeDatagram(command.toLatin1(), QHostAddress::LocalHost, enginePort);
        else
            stream.write(command.toLatin1() + '|');
    }
    quint16 localPort() const { return udp ? datagrams.localPort() : stream.localPort(); }

    bool udp;
    quint16 enginePort;
    QUdpSocket datagrams;
    QTcpSocket stream;
    QByteArray raw;
    QStringList messages;
};

} // namespace

class TestEngineSim : public QObject {
    Q_OBJECT
private slots:
    void answersTheMonitor_data();
    void answersTheMonitor();
};

void TestEngineSim::answersTheMonitor_data() {
    QTest::addColumn<bool>("udp");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QString>("answer"); // a pattern for the whole of one message
    for (const bool udp : {true, false}) {
        const auto row = [udp](const char* name) -> QTestData& {
            return QTest::addRow("%s: %s", udp ? "udp" : "tcp", name) << udp;
        };
        row("status names the switch and its groups") << QStringList{"--groups", "3", "--name", "SW-%2TEST"}
                                                      << QStringList{"SSSSS"} << "SSW-%2TEST,3,3";
        row("ping") << QStringList() << QStringList{"W"} << "\\+W";
        row("CCCCC acknowledged") << QStringList() << QStringList{"CCCCC"} << "\\+C";
        row("LLLLL acknowledged") << QStringList() << QStringList{"LLLLL"} << "\\+L";
        row("QQQQQ acknowledged") << QStringList() << QStringList{"QQQQQ"} << "\\+Q";
        row("test page names the monitor")
            << QStringList() << QStringList{"$UMON", "ppppp"} << "ATest page requested by UMON";
        row("connected monitors") << QStringList() << QStringList{"$UMON", "!"} << "!UMON";
        row("a group name runs to the end of the message")
            << QStringList() << QStringList{"DDDDD"} << "D3,1,Trunks to HQ, east";
        row("the board has the spans asked for")
            << QStringList{"--spans", "3"} << QStringList{"UUUUU"} << "t324,\\d+,\\d+,\\d+";
        row("and their channels") << QStringList{"--spans", "1", "--channels-per-span", "31"}
                                  << QStringList{"UUUUU"} << "t131,\\d+,\\d+,\\d+";
        row("hung trunk detector, with the free voice resources")
            << QStringList() << QStringList{"HHHHH"} << "\\+H\\d{3}/\\d{2}";
        row("a channel blocked") << QStringList() << QStringList{"X0103"} << "\\+X";
        row("a channel the switch does not have") << QStringList() << QStringList{"X0999"} << "-X";
        // Once a UDP monitor has spoken, the engine knows where to send.
        row("heartbeats") << QStringList{"--heartbeat-ms", "40"} << QStringList{"$UMON"} << "W";
        row("clock texts") << QStringList{"--clock-ms", "40"} << QStringList{"$UMON"}
                           << "T(0[1-9]|1[0-2]):[0-5]\\d:[0-5]\\d [AP]M";
    }
}

void TestEngineSim::answersTheMonitor() {
    QFETCH(bool, udp);
    QFETCH(QStringList, options);
    QFETCH(QStringList, requests);
    QFETCH(QString, answer);
    EngineSimProcess sim;
    QVERIFY(sim.start(QStringList{"--heartbeat-ms", "0", "--clock-ms", "0"} + options));
    // Free ports are picked where the monitor's 16-bit port settings can reach them.
    QVERIFY(sim.udpPort() >= 20000 && sim.udpPort() <= 32767);
    QVERIFY(sim.tcpPort() >= 20000 && sim.tcpPort() <= 32767);
    Client mon(udp, sim);
    for (const QString& request : requests) {
        mon.send(request);
        // Every command is printed with its sender.
        const auto printed = sim.waitForCommand(request);
        QVERIFY(printed);
        QCOMPARE(printed->address, QStringLiteral("127.0.0.1"));
        QCOMPARE(printed->port, mon.localPort());
    }
    const QRegularExpression whole(QLatin1Char('^') + answer + QLatin1Char('$'));
    QTRY_VERIFY2_WITH_TIMEOUT(!mon.messages.filter(whole).isEmpty(), qPrintable(mon.messages.join(u'|')),
                              10000);
}

QTEST_MAIN(TestEngineSim)
#include "test_engine_sim.moc"
