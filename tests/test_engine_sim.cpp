// The simulated engine, driven over real sockets the way monitors talk to it.

#include "support/EngineSimProcess.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QSet>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>
#include <map>
#include <memory>

using corvane::test::EngineSimProcess;

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
    void answersRequestsOverUdp();
    void framesTcpCommandsAndAnswers();
    void reportsTheWholeBoard_data();
    void reportsTheWholeBoard();
    void sameSeedSameBoard();
    void channelCommandsHungTrunkAndRefusals();
    void chatRelayAndMonitorList();
    void heartbeatsPingsAndClockFollowControlLines();
    void controlLinesCloseListenSendAndGarbage();
    void trafficAndAlarmsAreWellFormed();
    void flipTrafficMovesOnlyIdleChannels();
    void tcpBlastArrivesCompleteAndInOrder();
    void udpBlastAtASteadyRate();
    void commandLineAndEndings();
};

void TestEngineSim::answersRequestsOverUdp() {
    EngineSimProcess sim;
    QVERIFY(sim.start(quiet + QStringList{"--groups", "3", "--name", "SW-%2TEST"}));
    // Free ports are picked where the monitor's 16-bit port settings can reach them.
    QVERIFY(sim.udpPort() >= 20000 && sim.udpPort() <= 32767);
    QVERIFY(sim.tcpPort() >= 20000 && sim.tcpPort() <= 32767);
    UdpClient mon(sim.udpPort());

    mon.send("$UMON");
    QCOMPARE(mon.reply("SSSSS", "^S"), QStringLiteral("SSW-%2TEST,3,3"));

    const qsizetype d = mon.ask("DDDDD", "^D3,0,");
    QVERIFY(d >= 0);
    const QStringList names = mon.messages.mid(d - 5, 6);
    QCOMPARE(names.size(), 6);
    QVERIFY(names.at(0).startsWith("D1,1,"));
    QVERIFY(names.at(2).startsWith("D3,1,"));
    QVERIFY(names.at(3).startsWith("D1,0,"));
    // A name may hold commas: the text runs to the end of the message.
    QCOMPARE(names.at(2), QStringLiteral("D3,1,Trunks to HQ, east"));

    QVERIFY(mon.ask("CCCCC", "^\\+C$") >= 0);
    QVERIFY(mon.ask("W", "^\\+W$") >= 0);
    QVERIFY(mon.ask("LLLLL", "^\\+L$") >= 0);
    QVERIFY(mon.ask("QQQQQ", "^\\+Q$") >= 0);
    QVERIFY(mon.ask("ppppp", "^ATest page requested by UMON$") >= 0);
    QCOMPARE(mon.reply("!", "^!"), QStringLiteral("!UMON"));

    // Every command is printed with its sender; a datagram is one command even with "|" inside.
    mon.send("X|Y");
    const auto printed = sim.waitForCommand("X|Y");
    QVERIFY(printed);
    QCOMPARE(printed->address, QStringLiteral("127.0.0.1"));
    QCOMPARE(printed->port, mon.localPort());
    for (const char* text : {"$UMON", "SSSSS", "DDDDD", "CCCCC", "W", "LLLLL", "QQQQQ", "ppppp", "!"})
        QVERIFY2(sim.waitForCommand(QString::fromLatin1(text), 100), text);
}

void TestEngineSim::framesTcpCommandsAndAnswers() {
    EngineSimProcess sim;
    QVERIFY(sim.start(quiet));
    TcpClient mon(sim.tcpPort());
    QVERIFY(mon.connected);
    QVERIFY(sim.waitForLine(QRegularExpression("^# tcp connect 127\\.0\\.0\\.1:\\d+$")));

    // A command split over two writes, empty frames and two commands in one write.
    mon.sendRaw("||SSS");
    QVERIFY(sim.control("status")); // the first part has certainly arrived by now
    mon.sendRaw("SS|W||CCCCC|");
    QVERIFY(mon.waitFor("^\\+C$") >= 0);
    QCOMPARE(mon.messages.mid(mon.messages.size() - 3), (QStringList{"SCORVANE-SIM,4,4", "+W", "+C"}));
    QVERIFY(mon.raw.isEmpty()); // every answer ended with "|"

    const auto cmds = sim.commands();
    QStringList texts;
    for (const auto& c : cmds) {
        QCOMPARE(c.port, mon.localPort());
        texts << c.text;
    }
    QCOMPARE(texts, (QStringList{"SSSSS", "W", "CCCCC"}));
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
    EngineSimProcess sim;
    QVERIFY(sim.start(quiet + QStringList{"--spans", QString::number(spans), "--channels-per-span",
                                          QString::number(perSpan), "--groups", "5"}));
    TcpClient mon(sim.tcpPort());
    const qsizetype from = mon.messages.size();
    mon.send("UUUUU");
    mon.send("SSSSS"); // answered after the whole report
    const qsizetype end = mon.waitFor("^S", from);
    QVERIFY(end > 0);
    const auto board = reports(mon.messages, from, end);
    QCOMPARE(int(board.size()), spans * perSpan);

    const QSet<int> colours{0, 1, 2, 3, 4, 5, 6, 7};
    int calls = 0;
    int rSide = 0;
    for (const auto& [id, r] : board) {
        QVERIFY2(id / 100 >= 1 && id / 100 <= spans && id % 100 >= 1 && id % 100 <= perSpan,
                 qPrintable(QString::number(id)));
        QVERIFY(r.group >= 1 && r.group <= 5);
        QVERIFY(colours.contains(r.state & ~8));
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
    bool callInfo = false;
    for (qsizetype i = from; i < end; ++i)
        callInfo = callInfo || mon.messages.at(i).contains(QLatin1String("CONNECTED"));
    QVERIFY(callInfo);
}

void TestEngineSim::sameSeedSameBoard() {
    QStringList boards[3];
    const char* seeds[] = {"11", "11", "12"};
    for (int i = 0; i < 3; ++i) {
        EngineSimProcess sim;
        QVERIFY(sim.start(quiet + QStringList{"--seed", seeds[i]}));
        UdpClient mon(sim.udpPort());
        mon.send("UUUUU");
        mon.send("SSSSS");
        const qsizetype end = mon.waitFor("^S");
        QVERIFY(end > 0);
        boards[i] = mon.messages.mid(0, end);
    }
    QCOMPARE(boards[0], boards[1]);
    QVERIFY(boards[0] != boards[2]);
}

void TestEngineSim::channelCommandsHungTrunkAndRefusals() {
    EngineSimProcess sim;
    QVERIFY(sim.start(quiet + QStringList{"--spans", "2", "--refuse", "M"}));
    TcpClient mon(sim.tcpPort());
    UdpClient other(sim.udpPort());
    QVERIFY(other.ask("SSSSS", "^S") >= 0); // the engine now knows the UDP monitor

    // The hung trunk detector toggles, with the free voice resources on the way in.
    QVERIFY(QRegularExpression("^\\+H\\d{3}/\\d{2}$").match(mon.reply("HHHHH", "^\\+[Hh]")).hasMatch());
    QCOMPARE(mon.reply("HHHHH", "^\\+[Hh]"), QStringLiteral("+h"));

    // Exclude and include: acknowledged to the sender, the new state reported to every monitor.
    qsizetype from = other.messages.size();
    QCOMPARE(mon.reply("X0103", "^[+-]X"), QStringLiteral("+X"));
    qsizetype at = other.waitFor("^t103,", from);
    QVERIFY(at >= 0);
    other.waitFor("^t103,\\d+,(4|12),0$", from);
    QCOMPARE(reports(other.messages, from, other.messages.size()).at(103).state & 7, 4);
    QCOMPARE(reports(other.messages, from, other.messages.size()).at(103).peer, 0);
    from = other.messages.size();
    QCOMPARE(mon.reply("x0103", "^[+-]x"), QStringLiteral("+x"));
    QVERIFY(other.waitFor("^t103,\\d+,(2|10),0$", from) >= 0);

    // Stop and start.
    QCOMPARE(mon.reply("T0201", "^[+-]T"), QStringLiteral("+T"));
    QVERIFY(mon.waitFor("^t201,\\d+,(0|8),0$") >= 0);
    QCOMPARE(mon.reply("t0201", "^[+-]t"), QStringLiteral("+t"));

    // "Y" waits for the call in progress to end; ending it from the other side excludes the channel.
    from = mon.messages.size();
    mon.send("UUUUU");
    const qsizetype boardEnd = mon.ask("SSSSS", "^S");
    QVERIFY(boardEnd > from);
    const auto board = reports(mon.messages, from, boardEnd);
    const auto call =
        std::find_if(board.begin(), board.end(), [](const auto& r) { return r.second.peer != 0; });
    QVERIFY(call != board.end());
    const int busy = call->first;
    const int peer = call->second.peer;
    const QString id = QStringLiteral("%1").arg(busy, 4, 10, QLatin1Char('0'));
    QCOMPARE(mon.reply("Y" + id, "^[+-]Y"), QStringLiteral("+Y"));
    from = mon.messages.size();
    QCOMPARE(mon.reply(QStringLiteral("X%1").arg(peer, 4, 10, QLatin1Char('0')), "^[+-]X"),
             QStringLiteral("+X"));
    const qsizetype after = mon.ask("SSSSS", "^S");
    const auto changed = reports(mon.messages, from, after);
    QVERIFY(changed.count(busy) && changed.count(peer));
    QCOMPARE(changed.at(busy).state & 7, 4);
    QCOMPARE(changed.at(busy).peer, 0);
    QCOMPARE(changed.at(peer).state & 7, 4);

    // Refusals: a refused letter, a channel the switch does not have.
    QCOMPARE(mon.reply("M0101", "^[+-]M"), QStringLiteral("-M"));
    QCOMPARE(mon.reply("X0999", "^[+-]X"), QStringLiteral("-X"));
    QCOMPARE(mon.reply("I7", "^[+-]I"), QStringLiteral("+I"));
    QVERIFY(sim.control("refuse IC"));
    QCOMPARE(mon.reply("I1", "^[+-]I"), QStringLiteral("-I"));
    QCOMPARE(mon.reply("CCCCC", "^[+-]C"), QStringLiteral("-C"));
    QCOMPARE(mon.reply("M0101", "^[+-]M"), QStringLiteral("+M"));
    QVERIFY(sim.control("refuse"));
    QCOMPARE(mon.reply("I2", "^[+-]I"), QStringLiteral("+I"));
}

void TestEngineSim::chatRelayAndMonitorList() {
    EngineSimProcess sim;
    QVERIFY(sim.start(quiet));
    TcpClient alpha(sim.tcpPort());
    TcpClient bravo(sim.tcpPort());
    UdpClient charlie(sim.udpPort());
    TcpClient anonymous(sim.tcpPort());
    alpha.send("$ALPHA");
    bravo.send("$BRAVO");
    charlie.send("$CHARLIE");
    QVERIFY(sim.waitForCommand("$ALPHA") && sim.waitForCommand("$BRAVO") && sim.waitForCommand("$CHARLIE"));

    QCOMPARE(alpha.reply("!", "^!"),
             QStringLiteral("!ALPHA, BRAVO, 127.0.0.1:%1, CHARLIE").arg(anonymous.localPort()));
    // The answer goes to the asker only: nothing reaches alpha before the answer to its next request.
    const qsizetype before = alpha.messages.size();
    QVERIFY(anonymous.ask("!", "^!") >= 0);
    const qsizetype next = alpha.ask("SSSSS", "^S");
    QVERIFY(next >= 0);
    QCOMPARE(next, before);

    // Latin-1 text passes through unchanged.
    const QString chat = QString::fromLatin1("@hello, all \xe9");
    bravo.send(chat);
    for (Client* c : std::initializer_list<Client*>{&alpha, &bravo, &charlie, &anonymous})
        QVERIFY(c->waitFor(QLatin1Char('^') + QRegularExpression::escape(chat) + QLatin1Char('$')) >= 0);
    QVERIFY(sim.waitForCommand(chat));

    // A monitor that leaves drops off the list.
    bravo.socket.disconnectFromHost();
    QVERIFY(sim.waitForLine(QRegularExpression("^# tcp close 127\\.0\\.0\\.1:")));
    QCOMPARE(alpha.reply("!", "^!"),
             QStringLiteral("!ALPHA, 127.0.0.1:%1, CHARLIE").arg(anonymous.localPort()));
}

void TestEngineSim::heartbeatsPingsAndClockFollowControlLines() {
    EngineSimProcess sim;
    QVERIFY(sim.start({"--heartbeat-ms", "40", "--clock-ms", "40"}));
    TcpClient mon(sim.tcpPort());
    QVERIFY(mon.waitFor("^W$") >= 0);
    QVERIFY(mon.waitFor("^T(0[1-9]|1[0-2]):[0-5]\\d:[0-5]\\d [AP]M$") >= 0);

    // Requests are answered in order, so nothing sent before an answer arrives after it.
    QVERIFY(sim.control("heartbeat off"));
    const qsizetype first = mon.ask("SSSSS", "^S");
    QVERIFY(first >= 0);
    QTest::qWait(300);
    const qsizetype second = mon.ask("SSSSS", "^S");
    QVERIFY(second > first);
    QVERIFY(!mon.messages.mid(first, second - first).contains("W"));
    QVERIFY(mon.waitFor("^T", first) >= 0); // the clock goes on

    QVERIFY(sim.control("heartbeat on"));
    QVERIFY(mon.waitFor("^W$", second) >= 0);

    QVERIFY(sim.control("pings off"));
    QVERIFY(sim.control("heartbeat off"));
    const qsizetype from = mon.messages.size();
    mon.send("W");
    const qsizetype answer = mon.ask("SSSSS", "^S");
    QVERIFY(answer >= 0);
    QVERIFY(!mon.messages.mid(from, answer - from).contains("+W"));
    QVERIFY(sim.control("pings on"));
    QVERIFY(mon.ask("W", "^\\+W$") >= 0);

    QVERIFY(sim.control("clock off"));
    const qsizetype quietFrom = mon.ask("SSSSS", "^S");
    QTest::qWait(300);
    const qsizetype quietTo = mon.ask("SSSSS", "^S");
    for (qsizetype i = quietFrom; i < quietTo; ++i)
        QVERIFY2(!mon.messages.at(i).startsWith('T'), qPrintable(mon.messages.at(i)));
    QVERIFY(!sim.control("clock maybe"));
    QVERIFY(sim.lines().last().startsWith("# error "));
}

void TestEngineSim::controlLinesCloseListenSendAndGarbage() {
    EngineSimProcess sim;
    QVERIFY(sim.start(quiet));
    TcpClient mon(sim.tcpPort());
    UdpClient udp(sim.udpPort());
    QVERIFY(udp.ask("SSSSS", "^S") >= 0);

    // A raw message goes to every monitor as one message.
    QVERIFY(sim.control("send -S withdrawn, really"));
    QVERIFY(mon.waitFor("^-S withdrawn, really$") >= 0);
    QVERIFY(udp.waitFor("^-S withdrawn, really$") >= 0);

    QVERIFY(sim.control("replication off"));
    QVERIFY(mon.waitFor("^-N") >= 0 && udp.waitFor("^-N") >= 0);
    QVERIFY(sim.control("replication on"));
    QVERIFY(mon.waitFor("^\\+A") >= 0 && udp.waitFor("^\\+A") >= 0);

    // Garbage is printed and ignored; the engine keeps answering.
    mon.sendRaw(QByteArray("\xff\x01junk|ZZZZ|X12|line\r\nbreak|"));
    QVERIFY(sim.waitForCommand("line\\r\\nbreak"));
    QVERIFY(sim.waitForCommand(QString::fromLatin1("\xff\x01junk")));
    udp.sendRaw(QByteArray());
    // A frame that never ends is dropped rather than kept growing.
    mon.sendRaw(QByteArray(1100000, 'Z'));
    QVERIFY(sim.waitForLine(
        QRegularExpression("^# dropped \\d+ bytes without a separator from 127\\.0\\.0\\.1:")));
    mon.sendRaw("|");
    QVERIFY(mon.ask("SSSSS", "^S") >= 0);
    QVERIFY(!sim.control("frobnicate"));
    QVERIFY(sim.lines().last() == "# error unknown control: frobnicate");
    QVERIFY(!sim.control("blast x"));

    // Closing every connection; new ones are welcome again.
    QVERIFY(sim.control("close"));
    QVERIFY(QTest::qWaitFor([&] { return mon.socket.state() == QAbstractSocket::UnconnectedState; }, 5000));
    TcpClient again(sim.tcpPort());
    QVERIFY(again.ask("SSSSS", "^S") >= 0);

    // Not listening: connections are refused or closed at once.
    QVERIFY(sim.control("listen off"));
    QVERIFY(QTest::qWaitFor([&] { return again.socket.state() == QAbstractSocket::UnconnectedState; }, 5000));
    TcpClient refused(sim.tcpPort());
    QVERIFY(
        QTest::qWaitFor([&] { return refused.socket.state() == QAbstractSocket::UnconnectedState; }, 5000));
    QVERIFY(sim.control("listen on"));
    TcpClient back(sim.tcpPort());
    QVERIFY(back.connected);
    QVERIFY(back.ask("SSSSS", "^S") >= 0);

    // Forgotten UDP monitors get nothing more until they speak again.
    QVERIFY(sim.control("forget"));
    QVERIFY(sim.control("send Aafter forget"));
    QVERIFY(back.waitFor("^Aafter forget$") >= 0);
    QVERIFY(udp.ask("SSSSS", "^S") >= 0);
    QVERIFY(!udp.messages.contains("Aafter forget"));
}

void TestEngineSim::trafficAndAlarmsAreWellFormed() {
    EngineSimProcess sim;
    QVERIFY(sim.start(quiet + QStringList{"--spans", "2", "--traffic-rate", "400", "--alarm-rate", "50"}));
    TcpClient mon(sim.tcpPort());
    QVERIFY(mon.ask("UUUUU", "^t") >= 0);
    QVERIFY(QTest::qWaitFor([&] { return mon.messages.size() > 400; }, 20000));
    QVERIFY(sim.control("traffic 0"));
    QVERIFY(sim.control("alarms 0"));
    const qsizetype end = mon.ask("SSSSS", "^S");
    QVERIFY(end > 0);

    static const QRegularExpression t("^t(\\d+),(\\d+),(\\d+),(\\d+)$");
    static const QRegularExpression info("^[cC](\\d+) ");
    auto board = reports(mon.messages, 0, end);
    int alarms = 0, alerting = 0, connected = 0, tReports = 0;
    for (qsizetype i = 0; i < end; ++i) {
        const QString& m = mon.messages.at(i);
        if (m.startsWith('t')) {
            const auto match = t.match(m);
            QVERIFY2(match.hasMatch(), qPrintable(m));
            const int id = match.captured(1).toInt();
            QVERIFY2(id / 100 >= 1 && id / 100 <= 2 && id % 100 >= 1 && id % 100 <= 24, qPrintable(m));
            ++tReports;
        } else if (m.startsWith('c') || m.startsWith('C')) {
            const auto match = info.match(m);
            QVERIFY2(match.hasMatch() && board.count(match.captured(1).toInt()), qPrintable(m));
            alerting += m.contains("ALERTING");
            connected += m.contains("CONNECTED");
        } else if (m.startsWith('A')) {
            QVERIFY(m.size() > 1);
            ++alarms;
        } else {
            QVERIFY2(m.startsWith('S'), qPrintable(m));
        }
    }
    QVERIFY(tReports > 100);
    QVERIFY(alerting > 0 && connected > 0);
    QVERIFY(alarms > 0);

    // Once traffic stops, every route on the board is named from both ends.
    for (const auto& [id, r] : board) {
        if (r.peer != 0)
            QCOMPARE(board.at(r.peer).peer, id);
    }
}

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

void TestEngineSim::tcpBlastArrivesCompleteAndInOrder() {
    EngineSimProcess sim;
    QVERIFY(sim.start({"--heartbeat-ms", "20", "--clock-ms", "0"}));
    TcpClient mon(sim.tcpPort());
    // A small receive buffer makes the engine wait for us while we are slow.
    mon.socket.setReadBufferSize(16 * 1024);
    QVERIFY(mon.ask("SSSSS", "^S") >= 0);
    const qsizetype from = mon.messages.size();
    QVERIFY(sim.control("blast 50000"));
    const int count = 50000;
    static const QRegularExpression blast("^A blast (\\d{6})$");
    int received = 0;
    bool inOrder = true;
    bool onlyBlastAndHeartbeats = true;
    qsizetype next = from;
    QVERIFY(QTest::qWaitFor(
        [&] {
            for (; next < mon.messages.size(); ++next) {
                const auto m = blast.match(mon.messages.at(next));
                if (!m.hasMatch()) {
                    // heartbeats go on in between
                    onlyBlastAndHeartbeats = onlyBlastAndHeartbeats && mon.messages.at(next) == "W";
                    continue;
                }
                inOrder = inOrder && m.captured(1).toInt() == received + 1;
                ++received;
            }
            return received >= count;
        },
        40000));
    QVERIFY(inOrder);
    QVERIFY(onlyBlastAndHeartbeats);
    QCOMPARE(received, count);
    QVERIFY(sim.waitForLine(QRegularExpression("^# blast finished 50000$")));
    QVERIFY(mon.ask("SSSSS", "^S") >= 0);
    QVERIFY(!sim.control("blast 0"));
}

void TestEngineSim::udpBlastAtASteadyRate() {
    EngineSimProcess sim;
    QVERIFY(sim.start(quiet));
    UdpClient mon(sim.udpPort());
    QVERIFY(mon.ask("SSSSS", "^S") >= 0);
    const qsizetype from = mon.messages.size();
    QVERIFY(sim.control("blast 300 3000"));
    QVERIFY(mon.waitFor("^A blast 000300$", from, 20000) >= 0);
    QVERIFY(sim.waitForLine(QRegularExpression("^# blast finished 300$")));
    QStringList expected;
    for (int i = 1; i <= 300; ++i)
        expected << QStringLiteral("A blast %1").arg(i, 6, 10, QLatin1Char('0'));
    QCOMPARE(mon.messages.mid(from), expected);
}

void TestEngineSim::commandLineAndEndings() {
    QProcess help;
    help.start(CORVANE_ENGINE_SIM, {"--help"});
    QVERIFY(help.waitForFinished(10000));
    QCOMPARE(help.exitCode(), 0);
    const QString text = QString::fromLatin1(help.readAllStandardOutput());
    for (const char* word : {"--udp-port", "--tcp-port", "--bind", "--spans", "--channels-per-span",
                             "--groups", "--traffic-rate", "--traffic-kind", "--alarm-rate", "--heartbeat-ms",
                             "--clock-ms", "--seed", "blast N"})
        QVERIFY2(text.contains(QLatin1String(word)), word);

    // A harness notices at once when the engine could not start.
    EngineSimProcess refused;
    QElapsedTimer waited;
    waited.start();
    QVERIFY(!refused.start({"--groups", "0"}, 30000));
    QVERIFY(waited.elapsed() < 30000);
    QVERIFY(refused.errors().contains("--groups"));

    QProcess bad;
    bad.start(CORVANE_ENGINE_SIM, {"--spans", "400"});
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 2);
    QVERIFY(bad.readAllStandardError().contains("--spans"));
    bad.start(CORVANE_ENGINE_SIM, {"--traffic-kind", "storm"});
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 2);
    QVERIFY(bad.readAllStandardError().contains("--traffic-kind"));

    // A port that is taken is reported, not ignored.
    EngineSimProcess first;
    QVERIFY(first.start(quiet));
    QProcess clash;
    clash.start(CORVANE_ENGINE_SIM, {"--udp-port", "0", "--tcp-port", QString::number(first.tcpPort())});
    QVERIFY(clash.waitForFinished(10000));
    QCOMPARE(clash.exitCode(), 1);

    // "quit" ends it cleanly, and so does a closed stdin under --exit-on-stdin-eof.
    QVERIFY(first.control("quit"));
    QVERIFY(first.waitForExit());
    QCOMPARE(first.exitCode(), 0);
    QProcess eof;
    eof.start(CORVANE_ENGINE_SIM, {"--udp-port", "0", "--tcp-port", "0", "--exit-on-stdin-eof"});
    QVERIFY(eof.waitForStarted(10000));
    eof.closeWriteChannel();
    QVERIFY(eof.waitForFinished(10000));
    QCOMPARE(eof.exitCode(), 0);
}

QTEST_MAIN(TestEngineSim)
#include "test_engine_sim.moc"
