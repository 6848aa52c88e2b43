// The operator's commands against the simulated engine over real UDP and TCP sockets: the refresh
// sequence in order with its waits ended by the engine's answers, withdrawn controls explained in the
// alarm list and in the buttons' place, and two monitors chatting through one engine.

#include "alarms/AlarmList.h"
#include "board/BoardModel.h"
#include "board/GroupTables.h"
#include "link/EngineLink.h"
#include "link/LinkActions.h"
#include "operator/SwitchCommands.h"
#include "support/EngineSimProcess.h"
#include "support/TestMonitor.h"
#include "watchdogs/RelayWatchdog.h"
#include "windows/ChatModel.h"

#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

// One monitor on the simulated engine, its timers on a manual clock that the test moves a millisecond
// at a time while the sockets run.
struct Rig {
    Rig(EngineSimProcess& sim, bool udp) {
        MonitorConfig config;
        config.useUdp = udp;
        config.engineAddress = QStringLiteral("127.0.0.1");
        config.enginePort = static_cast<std::int16_t>(udp ? sim.udpPort() : sim.tcpPort());
        config.monitorPort = static_cast<std::int16_t>(EngineSimProcess::freeMonitorPort());
        t = std::make_unique<TestMonitor>(config);
        // The board completion is left out; tests set the start-up flags themselves.
        t->monitor.relay().stop();
        t->monitor.board().placeCell(1, 8, 1);
        t->monitor.link().reset(createEngineLink(t->monitor));
    }
    Monitor& m() { return t->monitor; }
    qint64 now() const { return t->services.clock.tickMs(); }
    void step() { t->services.clock.advance(1); }
    std::unique_ptr<TestMonitor> t;
};

// Runs the sockets and moves every rig's clock until `done` holds.
template <typename Done> bool pump(std::initializer_list<Rig*> rigs, Done done) {
    return QTest::qWaitFor(
        [&] {
            for (int i = 0; i < 5; ++i)
                for (Rig* r : rigs)
                    r->step();
            return done();
        },
        30000);
}

// The texts the engine printed, from line `from` on.
QStringList printed(const EngineSimProcess& sim, qsizetype from = 0) {
    QStringList out;
    for (const SimCommand& c : sim.commands(from))
        out << c.text;
    return out;
}

} // namespace

class TestCommandsEngine : public QObject {
    Q_OBJECT
private slots:
    void refreshSequence_data();
    void refreshSequence();
    void withdrawnControlsAreExplained();
    void twoMonitorsChat();
};

void TestCommandsEngine::refreshSequence_data() {
    overUdpAndTcp();
}

void TestCommandsEngine::refreshSequence() {
    QFETCH(bool, udp);
    EngineSimProcess sim;
    QVERIFY(sim.start({"--heartbeat-ms", "0", "--clock-ms", "0", "--spans", "2"}));
    Rig rig(sim, udp);

    const qint64 start = rig.now();
    rig.m().commands().refreshInfo();
    QVERIFY(pump({&rig}, [&] { return printed(sim).contains(QStringLiteral("UUUUU")); }));
    QCOMPARE(printed(sim), (QStringList{"$TESTBOX", "SSSSS", "CCCCC", "UUUUU"}));
    // Each wait ended on the engine's answer, long before its bound of 51 looks.
    QVERIFY2(rig.now() - start < 2000, qPrintable(QString::number(rig.now() - start)));
    QVERIFY(rig.m().ui().windowCaption().endsWith(QStringLiteral("CORVANE-SIM")));
    QVERIFY(pump({&rig}, [&] { return rig.m().board().hasCell(224); }));
    QCOMPARE(rig.m().commands().runner().activeCount(), 0);

    // After start-up the group names are asked for first.
    rig.m().relay().completeBoard();
    QVERIFY(pump({&rig}, [&] { return printed(sim).endsWith(QStringLiteral("SSSSS")); }));
    const qsizetype from = sim.lines().size();
    rig.m().commands().refreshInfo();
    QVERIFY(pump({&rig}, [&] { return printed(sim, from).contains(QStringLiteral("UUUUU")); }));
    QCOMPARE(printed(sim, from), (QStringList{"DDDDD", "$TESTBOX", "SSSSS", "CCCCC", "UUUUU"}));
    QVERIFY(!rig.m().groups().nameO(1).isEmpty());
}

void TestCommandsEngine::withdrawnControlsAreExplained() {
    EngineSimProcess sim;
    QVERIFY(sim.start({"--heartbeat-ms", "0", "--clock-ms", "0", "--spans", "1"}));
    Rig rig(sim, false);
    rig.m().commands().refreshInfo();
    QVERIFY(pump({&rig}, [&] { return printed(sim).contains(QStringLiteral("UUUUU")); }));
    const MainWindowModel& ui = rig.m().ui();
    QVERIFY(!ui.element(Element::ControlWithdrawn).visible);
    const int before = rig.m().alarms().count();
    // Repeated by the engine: told once.
    for (int i = 0; i < 2; ++i) {
        QVERIFY(sim.control(QStringLiteral("send -S")));
        QVERIFY(pump({&rig}, [&] { return !ui.element(Element::Command2_0).visible; }));
    }
    QVERIFY(sim.control(QStringLiteral("send ASpan 1 red alarm")));
    QVERIFY(pump({&rig}, [&] { return rig.m().alarms().count() == before + 2; }));
    const QStringList added = rig.m().alarms().lines().mid(before);
    QVERIFY2(added[0].endsWith(QStringLiteral(
                 "---Engine withdrew control from this monitor: Exclude, Include and Actions are off")),
             qPrintable(added[0]));
    QVERIFY(added[1].endsWith(QStringLiteral("---Span 1 red alarm")));
    QVERIFY(!ui.element(Element::Command2_1).visible);
    QVERIFY(!ui.element(Element::Truncate).visible);
    QVERIFY(!ui.menu(MenuItem::Actions).enabled);
    // In the buttons' place, saying why they went and since when.
    const ElementState& note = ui.element(Element::ControlWithdrawn);
    QVERIFY(note.visible);
    QCOMPARE(note.caption, QStringLiteral("Control withdrawn by the engine"));
    QVERIFY(note.toolTip.contains(QStringLiteral("withdrew control from this monitor at ")));
    QVERIFY(note.twips.intersects(ui.element(Element::Command2_0).twips));
}

void TestCommandsEngine::twoMonitorsChat() {
    EngineSimProcess sim;
    QVERIFY(sim.start({"--heartbeat-ms", "0", "--clock-ms", "0", "--spans", "1"}));
    Rig a(sim, true);
    Rig b(sim, false);
    for (Rig* r : {&a, &b}) {
        r->m().relay().completeBoard();
        r->m().commands().refreshInfo();
    }
    QVERIFY(pump({&a, &b}, [&] { return printed(sim).count(QStringLiteral("UUUUU")) == 2; }));

    a.m().ui().trigger(MenuItem::MegBst);
    QVERIFY(a.m().chat().isShown());
    QVERIFY(
        pump({&a, &b}, [&] { return a.m().chat().monConnected().count(QStringLiteral("TESTBOX")) == 2; }));
    a.m().chat().sendLine(QStringLiteral("shift change at six"));
    QVERIFY(pump({&a, &b}, [&] { return !b.m().chat().received().isEmpty(); }));
    QCOMPARE(b.m().chat().received(), QStringLiteral("shift change at six\r\n"));
    QVERIFY(b.m().chat().isShown());
    b.m().chat().sendLine(QString::fromLatin1("re\xe7u"));
    QVERIFY(pump({&a, &b}, [&] { return a.m().chat().received().count(QStringLiteral("\r\n")) == 2; }));
    QCOMPARE(a.m().chat().received(), QString::fromLatin1("re\xe7u\r\nshift change at six\r\n"));
}

QTEST_MAIN(TestCommandsEngine)
#include "test_commands_engine.moc"
