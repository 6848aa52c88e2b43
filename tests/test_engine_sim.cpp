// The simulated engine, driven over real sockets the way monitors talk to it.

#include "support/EngineSimProcess.h"

#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QSet>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>
#include <map>
#include <memory>

using corvane::test::EngineSimProcess;
using corvane::test::overUdpAndTcp;

namespace {

// A monitor's end of the link: collects the engine's messages in arrival order.
class Client {
public:
    virtual ~Client() = default;
    virtual void send(const QString& command) = 0;
    virtual quint16 localPort() const = 0;

    QStringList messages;

    // Waits for a message matching pattern at index `from` or later; its index or -1.
    qsizetype waitFor(const QString& pattern, qsizetype from = 0, int timeoutMs = 10000) {
        const QRegularExpression re(pattern);
        qsizetype found = -1;
        const auto look = [&] {
            for (qsizetype i = from; i < messages.size(); ++i) {
                if (re.match(messages.at(i)).hasMatch()) {
                    found = i;
                    return true;
                }
            }
            return false;
        };
        if (!look())
            static_cast<void>(QTest::qWaitFor(look, timeoutMs));
        return found;
    }
    // Sends a request and returns the index of its answer (the first message matching pattern).
    qsizetype ask(const QString& command, const QString& pattern) {
        const qsizetype from = messages.size();
        send(command);
        return waitFor(pattern, from);
    }
    // The answer itself, empty when none came.
    QString reply(const QString& command, const QString& pattern) {
        const qsizetype at = ask(command, pattern);
        return at < 0 ? QString() : messages.at(at);
    }
};

class TcpClient : public Client {
public:
    explicit TcpClient(quint16 port) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { read(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
        connected = socket.waitForConnected(5000);
    }
    void send(const QString& command) override { sendRaw(command.toLatin1() + '|'); }
    void sendRaw(const QByteArray& bytes) {
        socket.write(bytes);
        socket.flush();
    }
    quint16 localPort() const override { return socket.localPort(); }
    void read() {
        raw += socket.readAll();
        qsizetype start = 0;
        for (qsizetype bar = raw.indexOf('|'); bar >= 0; bar = raw.indexOf('|', start)) {
            messages.append(QString::fromLatin1(raw.mid(start, bar - start)));
            start = bar + 1;
        }
        raw.remove(0, start);
    }

    QTcpSocket socket;
    QByteArray raw;
    bool connected = false;
};

class UdpClient : public Client {
public:
    explicit UdpClient(quint16 enginePort) : m_enginePort(enginePort) {
        socket.bind(QHostAddress::LocalHost, 0);
        QObject::connect(&socket, &QUdpSocket::readyRead, [this] {
            while (socket.hasPendingDatagrams())
                messages.append(QString::fromLatin1(socket.receiveDatagram().data()));
        });
    }
    void send(const QString& command) override { sendRaw(command.toLatin1()); }
    void sendRaw(const QByteArray& bytes) {
        socket.writeDatagram(bytes, QHostAddress::LocalHost, m_enginePort);
    }
    quint16 localPort() const override { return socket.localPort(); }

    QUdpSocket socket;

private:
    quint16 m_enginePort;
};

struct Report {
    int group = 0;
    int state = 0;
    int peer = 0;
};

// The channel reports among messages[from..to), by channel id.
std::map<int, Report> reports(const QStringList& messages, qsizetype from, qsizetype to) {
    static const QRegularExpression t(QStringLiteral("^t(\\d+),(\\d+),(\\d+),(\\d+)$"));
    std::map<int, Report> out;
    for (qsizetype i = from; i < to; ++i) {
        const auto m = t.match(messages.at(i));
        if (m.hasMatch())
            out[m.captured(1).toInt()] = {m.captured(2).toInt(), m.captured(3).toInt(),
                                          m.captured(4).toInt()};
    }
    return out;
}

const QStringList quiet{QStringLiteral("--heartbeat-ms"), QStringLiteral("0"), QStringLiteral("--clock-ms"),
                        QStringLiteral("0")};

} // namespace

class TestEngineSim : public QObject {
    Q_OBJECT
private slots:
    void answersRequests_data();
    void answersRequests();
    void framesTcpCommands();
    void reportsTheWholeBoard_data();
    void reportsTheWholeBoard();
    void channelCommandsReportTheNewStates();
    void controlLines();
    void flipTrafficMovesOnlyIdleChannels();
};

void TestEngineSim::answersRequests_data() {
    overUdpAndTcp();
}

void TestEngineSim::answersRequests() {
    QFETCH(bool, udp);
    EngineSimProcess sim;
    QVERIFY(sim.start(quiet + QStringList{"--groups", "3", "--name", "SW-%2TEST"}));
    // Free ports are picked where the monitor's 16-bit port settings can reach them.
    QVERIFY(sim.udpPort() >= 20000 && sim.udpPort() <= 32767);
    QVERIFY(sim.tcpPort() >= 20000 && sim.tcpPort() <= 32767);
    std::unique_ptr<Client> mon;
    if (udp)
        mon = std::make_unique<UdpClient>(sim.udpPort());
    else
        mon = std::make_unique<TcpClient>(sim.tcpPort());

    mon->send("$UMON");
    const QStringList requests{"SSSSS", "CCCCC", "W", "LLLLL", "QQQQQ", "ppppp", "!"};
    const QStringList answers{"SSW-%2TEST,3,3", "+C", "+W", "+L", "+Q", "ATest page requested by UMON",
                              "!UMON"};
    for (qsizetype i = 0; i < requests.size(); ++i) {
        QCOMPARE(mon->reply(requests[i], '^' + QRegularExpression::escape(answers[i].left(1))), answers[i]);
        // Every command is printed with its sender.
        const auto printed = sim.waitForCommand(requests[i]);
        QVERIFY(printed);
        QCOMPARE(printed->address, QStringLiteral("127.0.0.1"));
        QCOMPARE(printed->port, mon->localPort());
    }
    const qsizetype d = mon->ask("DDDDD", "^D3,0,");
    QVERIFY(d >= 5);
    const QStringList names = mon->messages.mid(d - 5, 6);
    QVERIFY(names.at(0).startsWith("D1,1,"));
    QVERIFY(names.at(3).startsWith("D1,0,"));
    // A name may hold commas: the text runs to the end of the message.
    QCOMPARE(names.at(2), QStringLiteral("D3,1,Trunks to HQ, east"));
}

void TestEngineSim::framesTcpCommands() {
    EngineSimProcess sim;
    QVERIFY(sim.start(quiet));
    TcpClient mon(sim.tcpPort());
    UdpClient udp(sim.udpPort());
    QVERIFY(sim.waitForLine(QRegularExpression("^# tcp connect 127\\.0\\.0\\.1:\\d+$")));

    // A command split over two writes, empty frames and two commands in one write.
    mon.sendRaw("||SSS");
    QVERIFY(sim.control("status")); // the first part has certainly arrived by now
    mon.sendRaw("SS|W||CCCCC|");
    QVERIFY(mon.waitFor("^\\+C$") >= 0);
    QCOMPARE(mon.messages, (QStringList{"SCORVANE-SIM,4,4", "+W", "+C"}));
    QVERIFY(mon.raw.isEmpty()); // every answer ended with "|"
    // A datagram is one command even with "|" inside.
    udp.send("X|Y");
    QStringList texts;
    QVERIFY(sim.waitForCommand("X|Y"));
    for (const auto& c : sim.commands())
        texts << c.text;
    QCOMPARE(texts, (QStringList{"SSSSS", "W", "CCCCC", "X|Y"}));

    // Garbage is printed and ignored, and a frame that never ends is dropped rather than kept growing.
    mon.sendRaw(QByteArray("\xff\x01junk|line\r\nbreak|"));
    QVERIFY(sim.waitForCommand("line\\r\\nbreak"));
    QVERIFY(sim.waitForCommand(QString::fromLatin1("\xff\x01junk")));
    mon.sendRaw(QByteArray(1100000, 'Z'));
    QVERIFY(sim.waitForLine(
        QRegularExpression("^# dropped \\d+ bytes without a separator from 127\\.0\\.0\\.1:")));
    mon.sendRaw("|");
    QVERIFY(mon.ask("SSSSS", "^S") >= 0);
}

void TestEngineSim::reportsTheWholeBoard_data() {
    QTest::addColumn<int>("spans");
    QTest::addColumn<int>("perSpan");
    QTest::newRow("3 spans of 24") << 3 << 24;
    QTest::newRow("1 span of 31") << 1 << 31;
}

void TestEngineSim::reportsTheWholeBoard() {
    QFETCH(int, spans);
    QFETCH(int, perSpan);
    QStringList firstBoard;
    // The same seed plays the same board; another seed another.
    for (const char* seed : {"11", "11", "12"}) {
        EngineSimProcess sim;
        QVERIFY(sim.start(quiet + QStringList{"--spans", QString::number(spans), "--channels-per-span",
                                              QString::number(perSpan), "--groups", "5", "--seed", seed}));
        UdpClient mon(sim.udpPort());
        mon.send("UUUUU");
        const qsizetype end = mon.ask("SSSSS", "^S"); // answered after the whole report
        QVERIFY(end > 0);
        const QStringList messages = mon.messages.mid(0, end);
        if (firstBoard.isEmpty())
            firstBoard = messages;
        else
            QCOMPARE(messages == firstBoard, seed == QLatin1String("11"));
        const auto board = reports(messages, 0, end);
        QCOMPARE(int(board.size()), spans * perSpan);

        int calls = 0;
        int rSide = 0;
        for (const auto& [id, r] : board) {
            QVERIFY2(id / 100 >= 1 && id / 100 <= spans && id % 100 >= 1 && id % 100 <= perSpan,
                     qPrintable(QString::number(id)));
            QVERIFY(r.group >= 1 && r.group <= 5);
            QVERIFY((r.state & ~8) >= 0 && (r.state & ~8) <= 7);
            rSide += (r.state & 8) != 0;
            if (r.peer != 0) {
                // Both ends of a route name each other, and a route joins an R and an O channel.
                QVERIFY(board.count(r.peer));
                QCOMPARE(board.at(r.peer).peer, id);
                QVERIFY(((r.state ^ board.at(r.peer).state) & 8) != 0);
                ++calls;
            }
        }
        QVERIFY(calls > 0);
        QVERIFY(rSide > 0 && rSide < spans * perSpan);
        // Calls already up come with their call information.
        QVERIFY(!messages.filter(QStringLiteral("CONNECTED")).isEmpty());
    }
}

void TestEngineSim::channelCommandsReportTheNewStates() {
    EngineSimProcess sim;
    QVERIFY(sim.start(quiet + QStringList{"--spans", "2"}));
    TcpClient mon(sim.tcpPort());
    UdpClient other(sim.udpPort());
    QVERIFY(other.ask("SSSSS", "^S") >= 0); // the engine now knows the UDP monitor

    // The hung trunk detector toggles, with the free voice resources on the way in.
    QVERIFY(QRegularExpression("^\\+H\\d{3}/\\d{2}$").match(mon.reply("HHHHH", "^\\+[Hh]")).hasMatch());
    QCOMPARE(mon.reply("HHHHH", "^\\+[Hh]"), QStringLiteral("+h"));

    // Acknowledged to the sender, the new state reported to every monitor.
    QCOMPARE(mon.reply("X0103", "^[+-]X"), QStringLiteral("+X"));
    QVERIFY(other.waitFor("^t103,\\d+,(4|12),0$") >= 0);
    QCOMPARE(mon.reply("x0103", "^[+-]x"), QStringLiteral("+x"));
    QVERIFY(other.waitFor("^t103,\\d+,(2|10),0$") >= 0);
    QCOMPARE(mon.reply("T0201", "^[+-]T"), QStringLiteral("+T"));
    QVERIFY(other.waitFor("^t201,\\d+,(0|8),0$") >= 0);
    QCOMPARE(mon.reply("t0201", "^[+-]t"), QStringLiteral("+t"));

    // A channel the switch does not have.
    QCOMPARE(mon.reply("X0999", "^[+-]X"), QStringLiteral("-X"));
}

void TestEngineSim::controlLines() {
    EngineSimProcess sim;
    QVERIFY(sim.start({"--heartbeat-ms", "40", "--clock-ms", "40"}));
    TcpClient mon(sim.tcpPort());
    UdpClient udp(sim.udpPort());
    QVERIFY(udp.ask("SSSSS", "^S") >= 0);
    QVERIFY(mon.waitFor("^W$") >= 0);
    QVERIFY(mon.waitFor("^T(0[1-9]|1[0-2]):[0-5]\\d:[0-5]\\d [AP]M$") >= 0);
    // A port that is taken is reported, not ignored.
    EngineSimProcess clash;
    QVERIFY(!clash.start({"--tcp-port", QString::number(sim.tcpPort())}));
    QCOMPARE(clash.exitCode(), 1);

    // Quiet: no heartbeats, no clock texts, pings unanswered.
    for (const char* line : {"heartbeat off", "clock off", "pings off"})
        QVERIFY(sim.control(line));
    const qsizetype quietFrom = mon.ask("SSSSS", "^S");
    mon.send("W");
    QTest::qWait(300);
    const qsizetype quietTo = mon.ask("SSSSS", "^S");
    QCOMPARE(quietTo, quietFrom + 1);

    // A raw message goes to every monitor as one message.
    QVERIFY(sim.control("send -S withdrawn, really"));
    QVERIFY(mon.waitFor("^-S withdrawn, really$") >= 0);
    QVERIFY(udp.waitFor("^-S withdrawn, really$") >= 0);
    QVERIFY(sim.control("replication off"));
    QVERIFY(mon.waitFor("^-N") >= 0 && udp.waitFor("^-N") >= 0);
    QVERIFY(!sim.control("frobnicate"));
    QCOMPARE(sim.lines().last(), QStringLiteral("# error unknown control: frobnicate"));
    QVERIFY(!sim.control("clock maybe"));
    QVERIFY(!sim.control("blast 0"));

    // Closing every connection; new ones are welcome again.
    QVERIFY(sim.control("close"));
    QVERIFY(QTest::qWaitFor([&] { return mon.socket.state() == QAbstractSocket::UnconnectedState; }, 5000));
    TcpClient again(sim.tcpPort());
    QVERIFY(again.ask("SSSSS", "^S") >= 0);

    // Forgotten UDP monitors get nothing more until they speak again.
    QVERIFY(sim.control("forget"));
    QVERIFY(sim.control("send Aafter forget"));
    QVERIFY(again.waitFor("^Aafter forget$") >= 0);
    QVERIFY(udp.ask("SSSSS", "^S") >= 0);
    QVERIFY(!udp.messages.contains("Aafter forget"));

    // Over UDP a blast keeps its rate and loses nothing.
    const qsizetype from = udp.messages.size();
    QVERIFY(sim.control("blast 300 3000"));
    QVERIFY(sim.waitForLine(QRegularExpression("^# blast finished 300$")));
    QVERIFY(udp.waitFor("^A blast 000300$", from) >= 0);
    const QStringList blast = udp.messages.mid(from).filter(QRegularExpression("^A blast"));
    QCOMPARE(blast.size(), 300);
    QCOMPARE(blast.first(), QStringLiteral("A blast 000001"));

    // "quit" ends it cleanly.
    QVERIFY(sim.control("quit"));
    QVERIFY(sim.waitForExit());
    QCOMPARE(sim.exitCode(), 0);
}

// The painting benchmarks' steady load: idle channels turn connected and back, nothing else moves.
void TestEngineSim::flipTrafficMovesOnlyIdleChannels() {
    EngineSimProcess sim;
    QVERIFY(sim.start(quiet + QStringList{"--spans", "3", "--traffic-kind", "flip"}));
    TcpClient mon(sim.tcpPort());
    mon.send("UUUUU");
    const qsizetype boardEnd = mon.ask("SSSSS", "^S");
    QVERIFY(boardEnd > 0);
    auto board = reports(mon.messages, 0, boardEnd);
    QCOMPARE(int(board.size()), 3 * 24);
    QVERIFY(sim.control("traffic 3000"));
    QVERIFY(QTest::qWaitFor([&] { return mon.messages.size() > boardEnd + 600; }, 20000));
    QVERIFY(sim.control("traffic 0"));
    const qsizetype end = mon.ask("SSSSS", "^S");
    QVERIFY(end > 0);

    // Every message is one report that turns a channel idle at the start to connected or back.
    QSet<int> moved;
    for (qsizetype i = boardEnd + 1; i < end; ++i) {
        const auto one = reports(mon.messages, i, i + 1);
        QVERIFY2(one.size() == 1, qPrintable(mon.messages.at(i)));
        const auto& [id, now] = *one.begin();
        const Report& before = board.at(id);
        QVERIFY2((before.state & 7) == 2 || moved.contains(id), qPrintable(mon.messages.at(i)));
        QCOMPARE(now.peer, 0);
        QCOMPARE(now.state & 8, before.state & 8);
        QCOMPARE(now.state & 7, (before.state & 7) == 2 ? 1 : 2);
        board[id] = now;
        moved.insert(id);
    }
    QVERIFY(moved.size() > 20);
}

QTEST_MAIN(TestEngineSim)
#include "test_engine_sim.moc"
