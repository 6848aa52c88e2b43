// The operator's commands to the switch against a recording link and a manual clock: the refresh
// waits, the per-channel batch and the engine-wide commands.

#include "support/CommandParts.h"

#include <QTest>

using namespace corvane;

namespace {
struct Commands : test::CommandParts {
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
} // namespace

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    void refreshWaitsGiveUpAfterTheirLooks();
    void refreshWaitsForTheConnect();
    void refreshStartedDuringAWaitRunsFirst();
    void spanLabelDoubleClickWaitsForNames();
    void batchGoesToMarkedCellsInIdOrder_data();
    void batchGoesToMarkedCellsInIdOrder();
    void batchReadsMarksAndTruncateWhenItGetsThere();
    void unmarkAllClearsEveryMark();
    void engineWideCommandsReconnectOverUdp();
    void unloadAsksFirst();
    void tabDoubleClickRevealsEngineButtons();
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

void TestCommands::spanLabelDoubleClickWaitsForNames() {
    Commands f;
    f.commands.spanLabelDoubleClick();
    QCOMPARE(f.engine->commands(), QStringList{"DDDDD"});
    QCOMPARE(f.commands.runner().activeCount(), 1);
    f.sentAfterEachAck({"D"});
    QCOMPARE(f.commands.runner().activeCount(), 0);
    // "D" still shows: the second wait ends at once.
    f.commands.spanLabelDoubleClick();
    QCOMPARE(f.commands.runner().activeCount(), 0);
    QCOMPARE(f.engine->commands(), (QStringList{"DDDDD", "DDDDD"}));
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

QTEST_GUILESS_MAIN(TestCommands)
#include "test_commands.moc"
