// The operator's commands to the switch against a recording link and a manual clock: the refresh
// sequence and its waits, the per-channel batch, the engine-wide commands and the watchdog period.

#include "alarms/Pager.h"
#include "alarms/Sounds.h"
#include "platform/SmtpMail.h"
#include "support/CommandParts.h"

#include <QTest>

using namespace corvane;

namespace {
struct Commands : test::CommandParts {
    using CommandParts::CommandParts;
    // What the status handlers show for an acknowledgement of `letter`.
    void ack(const char* letter) { ui.setCaption(Element::AckLbl, QString::fromLatin1(letter)); }
    void cell(int id, const QString& mark = {}) {
        board.paintChannel(id, 1, 1, 0);
        board.setMark(id, mark);
    }
    QStringList sentAfterEachAck(const QStringList& letters) {
        for (const QString& letter : letters) {
            ack(qPrintable(letter));
            clock.advance(SwitchCommands::kAckLookMs);
        }
        return engine->commands();
    }
};
} // namespace

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    void refreshBeforeStartupWaitsForEachAcknowledgement();
    void refreshAfterStartupAsksForNamesFirst();
    void refreshWaitsGiveUpAfterTheirLooks();
    void refreshWaitsForTheConnect();
    void refreshStartedDuringAWaitRunsFirst();
    void channelCommandsInIdOrderPaced();
    void excludeFollowsTruncatePerChannel();
    void batchReadsMarksWhenItGetsThere();
    void noMarkBeepsRegardlessOfSounds();
    void unmarkAllClearsEveryMark();
    void engineWideCommandsReconnectOverUdp();
    void unloadAsksFirst();
    void spanLabelDoubleClickWaitsForNames();
    void watchdogTimeoutDialog();
    void tabDoubleClickRevealsEngineButtons();
};

void TestCommands::refreshBeforeStartupWaitsForEachAcknowledgement() {
    Commands f;
    f.commands.refreshInfo();
    QCOMPARE(f.engine->sent, (QStringList{"<close>", "<connect>", "$TESTBOX", "SSSSS"}));
    QCOMPARE(f.ui.element(Element::AckLbl).back, LegacyColor(0x00FFFF));
    f.clock.advance(1000);
    QCOMPARE(f.ui.element(Element::AckLbl).back, LegacyColor(0x808080)); // greyed a second later
    QCOMPARE(f.engine->commands().size(), 2);
    // Each acknowledgement ends its wait at the next look.
    QCOMPARE(f.sentAfterEachAck({"S"}), (QStringList{"$TESTBOX", "SSSSS", "CCCCC"}));
    QCOMPARE(f.sentAfterEachAck({"C"}), (QStringList{"$TESTBOX", "SSSSS", "CCCCC", "UUUUU"}));
    QCOMPARE(f.commands.runner().activeCount(), 0);
}

void TestCommands::refreshAfterStartupAsksForNamesFirst() {
    Commands f;
    f.relay.completeBoard();
    f.engine->sent.clear();
    f.commands.refreshInfo();
    QCOMPARE(f.engine->sent, (QStringList{"<close>", "<connect>", "DDDDD"}));
    QCOMPARE(f.sentAfterEachAck({"D"}), (QStringList{"DDDDD", "$TESTBOX", "SSSSS"}));
    QCOMPARE(f.sentAfterEachAck({"S", "C"}), (QStringList{"DDDDD", "$TESTBOX", "SSSSS", "CCCCC", "UUUUU"}));
}

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
    f.ack("S");
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
    QCOMPARE(f.engine->commands(), (QStringList{"$TESTBOX", "SSSSS"}));
    QCOMPARE(f.ui.element(Element::AckLbl).back, LegacyColor(0x00FFFF));
}

void TestCommands::refreshStartedDuringAWaitRunsFirst() {
    Commands f;
    f.commands.refreshInfo(); // waits for "S"
    f.clock.advance(250);
    f.relay.completeBoard();
    f.engine->sent.clear();
    f.commands.refreshInfo(); // the relay watchdog's refresh, say
    QCOMPARE(f.engine->sent, (QStringList{"<close>", "<connect>", "DDDDD"}));
    // The inner sequence ends; only then does the outer one go on, with "C" still showing.
    QCOMPARE(f.sentAfterEachAck({"D", "S", "C"}),
             (QStringList{"DDDDD", "$TESTBOX", "SSSSS", "CCCCC", "UUUUU"}));
    f.clock.advance(6000);
    QCOMPARE(f.engine->commands(),
             (QStringList{"DDDDD", "$TESTBOX", "SSSSS", "CCCCC", "UUUUU", "CCCCC", "UUUUU"}));
    QCOMPARE(f.commands.runner().activeCount(), 0);
}

void TestCommands::channelCommandsInIdOrderPaced() {
    Commands f;
    f.cell(2301, QStringLiteral("X"));
    f.cell(105, QStringLiteral("X"));
    f.cell(106);
    f.cell(107, QStringLiteral("x"));
    f.ui.gesture(Element::Command2_6, MainWindowModel::Gesture::Click);
    QCOMPARE(f.engine->commands(), QStringList{"T0105"});
    f.clock.advance(9);
    QCOMPARE(f.engine->commands().size(), 1);
    f.clock.advance(1);
    QCOMPARE(f.engine->commands(), (QStringList{"T0105", "T0107"}));
    f.clock.advance(100);
    QCOMPARE(f.engine->commands(), (QStringList{"T0105", "T0107", "T2301"}));
    QCOMPARE(f.board.cell(105)->mark, QStringLiteral("X"));
    QCOMPARE(f.board.cell(107)->mark, QStringLiteral("x"));
    QVERIFY(f.tones.tones.isEmpty());

    const struct {
        Element button;
        const char* text;
    } buttons[] = {{Element::Command2_1, "x0105"},
                   {Element::Command2_3, "M0105"},
                   {Element::Command2_4, "m0105"},
                   {Element::Command2_5, "t0105"}};
    f.board.setMark(107, QString());
    f.board.setMark(2301, QString());
    for (const auto& b : buttons) {
        f.engine->sent.clear();
        f.ui.gesture(b.button, MainWindowModel::Gesture::Click);
        f.clock.advance(100);
        QCOMPARE(f.engine->commands(), QStringList{QString::fromLatin1(b.text)});
    }
    QCOMPARE(SwitchCommands::channelCommand(u'x', 1), QStringLiteral("x0001"));
    QCOMPARE(SwitchCommands::channelCommand(u'T', 12345), QStringLiteral("T12345"));
}

void TestCommands::excludeFollowsTruncatePerChannel() {
    Commands f;
    f.cell(105, QStringLiteral("X"));
    f.cell(106, QStringLiteral("X"));
    f.ui.gesture(Element::Command2_0, MainWindowModel::Gesture::Click);
    // The box is read for each channel as the batch reaches it.
    f.ui.setChecked(Element::Truncate, false);
    f.clock.advance(100);
    QCOMPARE(f.engine->commands(), (QStringList{"X0105", "Y0106"}));
    f.engine->sent.clear();
    f.ui.gesture(Element::Command2_0, MainWindowModel::Gesture::Click);
    f.clock.advance(100);
    QCOMPARE(f.engine->commands(), (QStringList{"Y0105", "Y0106"}));
}

void TestCommands::batchReadsMarksWhenItGetsThere() {
    Commands f;
    f.cell(105, QStringLiteral("X"));
    f.cell(106, QStringLiteral("X"));
    f.cell(107, QStringLiteral("X"));
    f.cell(201);
    f.ui.gesture(Element::Command2_6, MainWindowModel::Gesture::Click);
    f.board.setMark(105, QString()); // already passed
    f.board.setMark(106, QString()); // not reached yet
    f.board.setMark(201, QStringLiteral("X"));
    f.clock.advance(100);
    QCOMPARE(f.engine->commands(), (QStringList{"T0105", "T0107", "T0201"}));
}

void TestCommands::noMarkBeepsRegardlessOfSounds() {
    Commands f;
    f.cell(105, QStringLiteral("?"));
    f.cell(106, QStringLiteral("!"));
    QVERIFY(!f.ui.isChecked(MenuItem::AllowSounds));
    f.ui.gesture(Element::Command2_1, MainWindowModel::Gesture::Click);
    f.clock.advance(100);
    QVERIFY(f.engine->sent.isEmpty());
    QCOMPARE(f.tones.tones, (QList<QPair<int, int>>{{100, 300}}));
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

void TestCommands::watchdogTimeoutDialog() {
    // The heartbeat watchdog owns the dialog; it names the pager and the relay watchdog.
    struct Heartbeat : test::CommandParts {
        Sounds sounds{ui, tones};
        Pager pager{
            ui,   config, clock, dialogs, std::make_unique<SmtpMail>(config, dialogs, clock, QString()),
            link, alarms};
        HeartbeatWatchdog watchdog{ui, config, clock, dialogs, sounds, alarms, pager, relay};
    } f;
    const HeartbeatWatchdog& heartbeat = f.watchdog;
    auto& dialogs = f.dialogs;
    QCOMPARE(heartbeat.interval(), 1500);
    dialogs.inputAnswers.enqueue(QString()); // cancelled
    f.ui.trigger(MenuItem::WDTO);
    QCOMPARE(dialogs.inputs, QStringList{"Watchdog Timeout|Enter Timeout in seconds|150"});
    QCOMPARE(heartbeat.interval(), 1500);
    dialogs.inputAnswers.enqueue(QStringLiteral("30"));
    f.ui.trigger(MenuItem::WDTO);
    QCOMPARE(heartbeat.interval(), 300);
    for (const char* bad : {"soon", "-5", "7000"}) {
        dialogs.inputAnswers.enqueue(QString::fromLatin1(bad));
        f.ui.trigger(MenuItem::WDTO);
        QCOMPARE(heartbeat.interval(), 300);
    }
    QCOMPARE(dialogs.inputs.last(), QStringLiteral("Watchdog Timeout|Enter Timeout in seconds|30"));
    // Tenths of a second are kept, halves of a millisecond go to the even neighbour.
    dialogs.inputAnswers.enqueue(QStringLiteral("0.25"));
    f.ui.trigger(MenuItem::WDTO);
    QCOMPARE(heartbeat.interval(), 2);
    dialogs.inputAnswers.enqueue(QStringLiteral(" 0.75 "));
    f.ui.trigger(MenuItem::WDTO);
    QCOMPARE(heartbeat.interval(), 8);
    QCOMPARE(dialogs.inputs.last(), QStringLiteral("Watchdog Timeout|Enter Timeout in seconds|0.2"));
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
