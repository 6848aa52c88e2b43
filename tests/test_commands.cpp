// The operator's commands to the switch: against a recording link and a manual clock the refresh waits,
// the per-channel batch and the engine-wide commands; against the simulated engine over real sockets
// the refresh sequence ended by the engine's answers, withdrawn controls, and two monitors chatting.

#include "link/EngineLink.h"
#include "support/CommandParts.h"
#include "support/EngineSimProcess.h"
#include "support/TestMonitor.h"
#include "windows/ChatModel.h"

#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {
struct Commands : CommandParts {
    using CommandParts::CommandParts;
    // What the status handlers show for an acknowledgement of `letter`.
    void ack(const QString& letter) { ui.setCaption(Element::AckLbl, letter); }
    void cell(int id, const QString& mark = {}) {
        board.paintChannel(id, 1, 1, 0);
        board.setMark(id, mark);
    }
    QStringList sentAfterEachAck(const QStringList& letters) {
        for (const QString& letter : letters) {
            ack(letter);
            clock.advance(SwitchCommands::kAckLookMs);
        }
        return engine->commands();
    }
};
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

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    void refreshWaitsGiveUpAfterTheirLooks();
    void refreshWaitsForTheConnect();
    void refreshStartedDuringAWaitRunsFirst();
    void batchGoesToMarkedCellsInIdOrder_data();
    void batchGoesToMarkedCellsInIdOrder();
    void batchReadsMarksAndTruncateWhenItGetsThere();
    void unmarkAllClearsEveryMark();
    void engineWideCommandsReconnectOverUdp();
    void unloadAsksFirst();
    void tabDoubleClickRevealsEngineButtons();
    void refreshSequence_data();
    void refreshSequence();
    void withdrawnControlsAreExplained();
    void twoMonitorsChat();
};

void TestCommands::refreshWaitsGiveUpAfterTheirLooks() {
    Commands f;
    f.commands.refreshInfo();
    // Each of the 51 looks is followed by its pause: about 5.1 s.
    f.clock.advance(SwitchCommands::kAckLookMs * SwitchCommands::kAckMaxLooks - 1);
    QCOMPARE(f.engine->commands().last(), QStringLiteral("SSSSS"));
    f.clock.advance(1);
    QCOMPARE(f.engine->commands().last(), QStringLiteral("CCCCC"));
    f.clock.advance(5100);
    QCOMPARE(f.engine->commands().last(), QStringLiteral("UUUUU"));
    QCOMPARE(f.engine->commands().size(), 4);
    // An acknowledgement that shows already ends the wait before any pause.
    f.engine->sent.clear();
    f.ack(QStringLiteral("S"));
    f.commands.refreshInfo();
    QCOMPARE(f.engine->commands(), (QStringList{"$TESTBOX", "SSSSS", "CCCCC"}));
}

void TestCommands::refreshWaitsForTheConnect() {
    Commands f(false);
    f.engine->holdConnects = true;
    f.commands.refreshInfo();
    QCOMPARE(f.engine->sent, (QStringList{"<close>", "<connect>"}));
    f.clock.advance(3000);
    QCOMPARE(f.engine->commands(), QStringList());
    QVERIFY(!f.ui.element(Element::AckLbl).back);
    f.engine->heldConnect();
    f.engine->heldConnect(); // a second report of the same connect changes nothing
    QCOMPARE(f.engine->commands(), (QStringList{"$TESTBOX", "SSSSS"}));
    QCOMPARE(f.ui.element(Element::AckLbl).back, LegacyColor(0x00FFFF));
    f.clock.advance(1000);
    QCOMPARE(f.ui.element(Element::AckLbl).back, LegacyColor(0x808080)); // greyed a second later
}

void TestCommands::refreshStartedDuringAWaitRunsFirst() {
    Commands f;
    f.commands.refreshInfo(); // waits for "S": looks at 0, 100 and 200 ms
    f.clock.advance(250);
    f.relay.completeBoard();
    f.engine->sent.clear();
    f.commands.refreshInfo(); // the relay watchdog's refresh, say
    QCOMPARE(f.engine->sent, (QStringList{"<close>", "<connect>", "DDDDD"}));
    // The inner sequence ends at 550 ms; only then does the outer one go on, with "C" still showing.
    const QStringList inner{"DDDDD", "$TESTBOX", "SSSSS", "CCCCC", "UUUUU"};
    QCOMPARE(f.sentAfterEachAck({"D", "S", "C"}), inner);
    // It looks again a pause later with the 48 looks it had left: the last at 5350 ms, then its pause.
    f.clock.advance(4899);
    QCOMPARE(f.engine->commands(), inner);
    f.clock.advance(1);
    QCOMPARE(f.engine->commands(), inner + QStringList({"CCCCC", "UUUUU"}));
    QCOMPARE(f.commands.runner().activeCount(), 0);
}

void TestCommands::batchGoesToMarkedCellsInIdOrder_data() {
    QTest::addColumn<Element>("button");
    QTest::addColumn<QStringList>("marks"); // of cells 2301, 105, 106 and 107
    QTest::addColumn<QStringList>("commands");
    const QStringList marked{"X", "X", "", "x"};
    QTest::newRow("Stop") << Element::Command2_6 << marked << QStringList{"T0105", "T0107", "T2301"};
    QTest::newRow("Exclude, truncating")
        << Element::Command2_0 << marked << QStringList{"X0105", "X0107", "X2301"};
    QTest::newRow("Include") << Element::Command2_1 << QStringList{"", "X", "", ""} << QStringList{"x0105"};
    QTest::newRow("Msg on") << Element::Command2_3 << QStringList{"", "X", "", ""} << QStringList{"M0105"};
    QTest::newRow("Msg off") << Element::Command2_4 << QStringList{"", "X", "", ""} << QStringList{"m0105"};
    QTest::newRow("Start") << Element::Command2_5 << QStringList{"X", "", "", ""} << QStringList{"t2301"};
    // Marks of the other kinds are no marks for a batch: it beeps, whether sounds are on or not.
    QTest::newRow("no marks") << Element::Command2_1 << QStringList{"?", "!", "", ""} << QStringList{};
}

void TestCommands::batchGoesToMarkedCellsInIdOrder() {
    QFETCH(Element, button);
    QFETCH(QStringList, marks);
    QFETCH(QStringList, commands);
    Commands f;
    const int ids[] = {2301, 105, 106, 107};
    for (int i = 0; i < 4; ++i)
        f.cell(ids[i], marks[i]);
    QVERIFY(!f.ui.isChecked(MenuItem::AllowSounds));
    const auto firstOf = [&](qsizetype n) { return commands.first(std::min(n, commands.size())); };
    f.ui.gesture(button, MainWindowModel::Gesture::Click);
    QCOMPARE(f.engine->commands(), firstOf(1));
    // Paced: the next channel 10 ms later.
    f.clock.advance(9);
    QCOMPARE(f.engine->commands(), firstOf(1));
    f.clock.advance(1);
    QCOMPARE(f.engine->commands(), firstOf(2));
    f.clock.advance(100);
    QCOMPARE(f.engine->commands(), commands);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(f.board.cell(ids[i])->mark, marks[i]);
    const QList<QPair<int, int>> beep{{100, 300}}, silence;
    QCOMPARE(f.tones.tones, commands.isEmpty() ? beep : silence);
    QCOMPARE(SwitchCommands::channelCommand(u'x', 1), QStringLiteral("x0001"));
    QCOMPARE(SwitchCommands::channelCommand(u'T', 12345), QStringLiteral("T12345"));
}

void TestCommands::batchReadsMarksAndTruncateWhenItGetsThere() {
    Commands f;
    f.cell(105, QStringLiteral("X"));
    f.cell(106, QStringLiteral("X"));
    f.cell(107, QStringLiteral("X"));
    f.cell(201);
    f.ui.gesture(Element::Command2_0, MainWindowModel::Gesture::Click);
    f.ui.setChecked(Element::Truncate, false);
    f.board.setMark(105, QString()); // already passed
    f.board.setMark(106, QString()); // not reached yet
    f.board.setMark(201, QStringLiteral("X"));
    f.clock.advance(100);
    QCOMPARE(f.engine->commands(), (QStringList{"X0105", "Y0107", "Y0201"}));
}

void TestCommands::unmarkAllClearsEveryMark() {
    Commands f;
    f.ui.gesture(Element::Command2_2, MainWindowModel::Gesture::Click);
    QVERIFY(f.tones.tones.isEmpty());
    f.cell(105, QStringLiteral("X"));
    f.cell(106, QStringLiteral("x"));
    f.cell(107, QStringLiteral("?"));
    f.cell(108, QStringLiteral("!"));
    f.board.setMark(1, QStringLiteral("X"));
    f.ui.gesture(Element::Command2_2, MainWindowModel::Gesture::Click);
    for (int id : f.board.cellIds())
        QCOMPARE(f.board.cell(id)->mark, QString());
    QVERIFY(f.engine->sent.isEmpty());
    QVERIFY(f.tones.tones.isEmpty());
}

void TestCommands::engineWideCommandsReconnectOverUdp() {
    Commands f;
    for (MenuItem item : {MenuItem::CommitDb7, MenuItem::CommitDb1, MenuItem::CommitDb2,
                          MenuItem::KillLapLink, MenuItem::HungTrunk})
        f.ui.trigger(item);
    QCOMPARE(f.engine->sent, (QStringList{"<connect>", "I7", "<connect>", "I1", "<connect>", "I2",
                                          "<connect>", "LLLLL", "<connect>", "HHHHH"}));
    // The check mark waits for the engine's answer.
    QVERIFY(!f.ui.isChecked(MenuItem::HungTrunk));

    Commands tcp(false);
    tcp.ui.trigger(MenuItem::CommitDb7);
    tcp.ui.trigger(MenuItem::HungTrunk);
    QCOMPARE(tcp.engine->sent, (QStringList{"I7", "HHHHH"}));
}

void TestCommands::unloadAsksFirst() {
    Commands f;
    f.dialogs.yesNoAnswers.enqueue(false);
    f.ui.trigger(MenuItem::UnloadApp);
    // The program's own title (none given), not the switch's.
    QCOMPARE(f.dialogs.questions, QStringList{"|Do you really want to unload the switch?"});
    QVERIFY(f.engine->sent.isEmpty());
    f.dialogs.yesNoAnswers.enqueue(true);
    f.ui.trigger(MenuItem::UnloadApp);
    QCOMPARE(f.engine->sent, (QStringList{"<connect>", "QQQQQ"}));
}

void TestCommands::tabDoubleClickRevealsEngineButtons() {
    Commands f;
    const Element hidden[] = {Element::Command2_3, Element::Command2_4, Element::Command2_5,
                              Element::Command2_6, Element::Label4};
    for (bool shown : {false, true, false}) {
        for (Element e : hidden)
            QCOMPARE(f.ui.element(e).visible, shown);
        f.ui.gesture(Element::SSTab1, MainWindowModel::Gesture::DoubleClick);
    }
}

void TestCommands::refreshSequence_data() {
    overUdpAndTcp();
}

void TestCommands::refreshSequence() {
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

void TestCommands::withdrawnControlsAreExplained() {
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
    // The note in the buttons' place says since when.
    QVERIFY(ui.element(Element::ControlWithdrawn)
                .toolTip.contains(QStringLiteral("withdrew control from this monitor at ")));
}

void TestCommands::twoMonitorsChat() {
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

QTEST_GUILESS_MAIN(TestCommands)
#include "test_commands.moc"
