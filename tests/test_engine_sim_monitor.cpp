// The monitor against the simulated engine over real links, on the system clock: the board follows the
// engine's, and a lost link shows a stale board until the board is described again.

#include "alarms/AlarmList.h"
#include "app/Monitor.h"
#include "board/BoardModel.h"
#include "board/BoardStaleOverlay.h"
#include "board/BoardView.h"
#include "board/Colors.h"
#include "link/EngineLink.h"
#include "link/LinkHealth.h"
#include "link/MessageQueue.h"
#include "support/EngineSimProcess.h"
#include "support/LiveMonitor.h"

#include <QHostInfo>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>
#include <map>

using namespace corvane;
using corvane::test::EngineSimProcess;

namespace {

struct Report {
    int group = 0;
    int state = 0;
    int peer = 0;
};
using Board = std::map<int, Report>;

// The engine's own view of its board, asked for on a connection of our own.
Board engineBoard(const QHostAddress& engine, quint16 tcpPort) {
    QTcpSocket s;
    s.connectToHost(engine, tcpPort);
    if (!s.waitForConnected(5000))
        return {};
    s.write("UUUUU|SSSSS|");
    QByteArray data;
    // The "S" answer comes after the whole report.
    const QRegularExpression end(QStringLiteral("\\|S[^|]*\\|"));
    static_cast<void>(QTest::qWaitFor(
        [&] {
            data += s.readAll();
            return end.match(QString::fromLatin1(data)).hasMatch();
        },
        10000));
    static const QRegularExpression t(QStringLiteral("^t(\\d+),(\\d+),(\\d+),(\\d+)$"));
    Board out;
    for (const QByteArray& m : data.split('|')) {
        const auto match = t.match(QString::fromLatin1(m));
        if (match.hasMatch())
            out[match.captured(1).toInt()] = {match.captured(2).toInt(), match.captured(3).toInt(),
                                              match.captured(4).toInt()};
    }
    return out;
}

// The first channel the monitor does not show as the engine has it; empty when they agree.
QString difference(const Board& engine, const BoardModel& board) {
    for (const auto& [id, r] : engine) {
        const ChannelCell* c = board.cell(id);
        if (!c || c->group != r.group || c->side != ((r.state & 8) ? 'R' : 'O') ||
            c->stateColor != stateColor(static_cast<std::int16_t>(r.state)) ||
            c->connected != (r.peer != 0) || (r.peer != 0 && c->peerNumber() != r.peer))
            return QStringLiteral("channel %1").arg(id);
    }
    return {};
}

} // namespace

class TestEngineSimMonitor : public QObject {
    Q_OBJECT
private slots:
    void boardFollowsTheEngine_data();
    void boardFollowsTheEngine();
    void aLostLinkIsShownUntilTheBoardIsDescribedAgain_data();
    void aLostLinkIsShownUntilTheBoardIsDescribedAgain();
};

void TestEngineSimMonitor::boardFollowsTheEngine_data() {
    QTest::addColumn<bool>("udp");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("bind");
    // The machine's own name, as /etc/hosts gives it, is where the engine listens.
    const QString name = QHostInfo::localHostName();
    QString named;
    for (const QHostAddress& a : QHostInfo::fromName(name).addresses()) {
        named = a.toString();
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            break;
    }
    for (const bool udp : {true, false}) {
        const char* over = udp ? "UDP" : "TCP";
        QTest::addRow("%s, an address", over) << udp << "127.0.0.1"
                                              << "127.0.0.1";
        QTest::addRow("%s, a host name", over) << udp << name << named;
        QTest::addRow("%s, IPv6", over) << udp << "::1"
                                        << "::1";
    }
}

void TestEngineSimMonitor::boardFollowsTheEngine() {
    QFETCH(bool, udp);
    QFETCH(QString, address);
    QFETCH(QString, bind);
    QVERIFY2(!bind.isEmpty(), qPrintable(address + QStringLiteral(" does not resolve")));
    test::LiveMonitor rig;
    QVERIFY2(rig.start(udp, address, bind), qPrintable(rig.sim.errors()));
    Monitor& monitor = *rig.monitor;
    EngineSimProcess& sim = rig.sim;

    // The refresh sequence reaches the engine in its order, from this monitor.
    QStringList got;
    for (const test::SimCommand& c : sim.commands())
        got << c.text;
    QCOMPARE(got, (QStringList{"$LIVEBOX", "SSSSS", "CCCCC", "UUUUU"}));
    if (udp)
        QCOMPARE(int(sim.commands().first().port), int(static_cast<quint16>(rig.config.monitorPort)));

    // The whole board arrives and is painted as the engine has it.
    Board engine = engineBoard(QHostAddress(bind), sim.tcpPort());
    QCOMPARE(int(engine.size()), 4 * 24);
    QTRY_COMPARE_WITH_TIMEOUT(difference(engine, monitor.board()), QString(), 20000);

    // Busy traffic: afterwards the monitor's board still matches the engine's, message for message.
    QVERIFY(sim.control(QStringLiteral("traffic 300")));
    QTest::qWait(1500);
    QVERIFY(sim.control(QStringLiteral("traffic 0")));
    engine = engineBoard(QHostAddress(bind), sim.tcpPort());
    QTRY_VERIFY_WITH_TIMEOUT(monitor.queue().isEmpty() && difference(engine, monitor.board()).isEmpty(),
                             20000);
    QCOMPARE(monitor.link()->discardedCount(), 0);

    // An alarm from the engine lands in the alarm list, alone.
    QVERIFY(sim.control(QStringLiteral("send ATrunk 105 down")));
    QTRY_VERIFY_WITH_TIMEOUT(monitor.alarms().count() > 0, 10000);
    QCOMPARE(monitor.alarms().count(), 1);
    QVERIFY(monitor.alarms().lines().last().endsWith(QStringLiteral("---Trunk 105 down")));

    // Board completion runs on the relay timer's first tick: the first ping and "SSSSS" again.
    const auto ping = sim.waitForCommand(QStringLiteral("W"), 20000);
    QVERIFY(ping);
    QVERIFY(sim.waitForCommand(QStringLiteral("SSSSS"), 10000, ping->line));
}

void TestEngineSimMonitor::aLostLinkIsShownUntilTheBoardIsDescribedAgain_data() {
    QTest::addColumn<bool>("engineStops");
    QTest::addColumn<bool>("refreshInfo"); // back by "Refresh Info" rather than "ReConnect"
    QTest::addColumn<QStringList>("sent"); // what the engine is asked then
    QTest::newRow("listener stopped and started, ReConnect")
        << true << false << QStringList{"$LIVEBOX", "UUUUU"};
    // The refresh sequence asks for the board itself, after its other requests: not twice.
    QTest::newRow("listener stopped and started, Refresh Info")
        << true << true << QStringList{"$LIVEBOX", "SSSSS", "CCCCC", "UUUUU"};
    // The operator's own ReConnect of a live link keeps its hello alone, and tells nothing.
    QTest::newRow("operator reconnects a live link") << false << false << QStringList{"$LIVEBOX"};
}

void TestEngineSimMonitor::aLostLinkIsShownUntilTheBoardIsDescribedAgain() {
    QFETCH(bool, engineStops);
    QFETCH(bool, refreshInfo);
    QFETCH(QStringList, sent);
    test::LiveMonitor live;
    QVERIFY2(live.start(false), qPrintable(live.sim.errors()));
    Monitor& monitor = *live.monitor;
    EngineSimProcess& sim = live.sim;
    QTRY_VERIFY_WITH_TIMEOUT(monitor.board().hasCell(424), 20000);
    const int cells = static_cast<int>(monitor.board().cells().size()) - 1; // the template cell aside
    BoardView view(monitor.board());
    BoardStaleOverlay overlay(monitor.linkHealth(), view);
    view.resize(500, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QString address = QStringLiteral("127.0.0.1:%1").arg(sim.tcpPort());
    const int before = monitor.alarms().count();
    auto addedTexts = [&] {
        QStringList out;
        for (const QString& line : monitor.alarms().lines().mid(before))
            out << line.section(QStringLiteral("---"), 1);
        return out;
    };

    if (engineStops) {
        QVERIFY(sim.control(QStringLiteral("listen off")));
        QTRY_COMPARE_WITH_TIMEOUT(
            addedTexts(), QStringList{QStringLiteral("Link to the engine lost (%1)").arg(address)}, 10000);
        QVERIFY(monitor.linkHealth().isStale());
        QCOMPARE(monitor.linkHealth().channelsAwaited(), cells);
        QVERIFY(overlay.isVisible());
        QVERIFY(overlay.accessibleName().startsWith(QStringLiteral("Board not current since ")));
        QVERIFY(overlay.accessibleName().endsWith(QStringLiteral("link to the engine lost")));
        // A ReConnect while nothing listens fails, and tells nothing more.
        monitor.ui().trigger(MenuItem::Refresh);
        QTest::qWait(1000);
        QCOMPARE(addedTexts().size(), 1);
        QVERIFY(monitor.linkHealth().isStale());
        QVERIFY(sim.control(QStringLiteral("listen on")));
    }
    const qsizetype mark = sim.lines().size();
    monitor.ui().trigger(refreshInfo ? MenuItem::RefreshInfo : MenuItem::Refresh);
    QVERIFY(sim.waitForCommand(sent.last(), 10000, mark));
    QTest::qWait(1000);
    QStringList got;
    for (const auto& c : sim.commands(mark))
        got << c.text;
    QCOMPARE(got, sent);
    if (!engineStops) {
        QCOMPARE(addedTexts(), QStringList());
        QVERIFY(!overlay.isVisible());
        return;
    }
    // The alarm list says the board is asked for again.
    QTRY_COMPARE_WITH_TIMEOUT(addedTexts(),
                              (QStringList{QStringLiteral("Link to the engine lost (%1)").arg(address),
                                           QStringLiteral("Link to the engine restored (%1)").arg(address),
                                           QStringLiteral("Asking the engine for the whole board again")}),
                              10000);
    // Stale until every channel has been reported again.
    QTRY_VERIFY_WITH_TIMEOUT(!monitor.linkHealth().isStale(), 20000);
    QVERIFY(!overlay.isVisible());
}

QTEST_MAIN(TestEngineSimMonitor)
#include "test_engine_sim_monitor.moc"
