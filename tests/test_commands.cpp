// The operator's commands to the switch against a recording link and a manual clock: the refresh
// sequence and its waits, the per-channel batch, the engine-wide commands and the watchdog period.

#include "board/BoardModel.h"
#include "operator/SwitchCommands.h"
#include "support/RecordingLink.h"
#include "support/TestMonitor.h"
#include "watchdogs/HeartbeatWatchdog.h"
#include "watchdogs/RelayWatchdog.h"

#include <QTest>

using namespace corvane;
using corvane::test::RecordingLink;
using corvane::test::TestMonitor;

namespace {
struct Fixture {
    explicit Fixture(bool udp = true) : link(new RecordingLink(udp)) {
        m.link().reset(std::unique_ptr<EngineLink>(link));
        m.board().placeCell(1, 8, 1);
        // The board completion would send its own "W" and "SSSSS" ten seconds in.
        m.relay().stop();
    }
    void message(const char* text) { m.dispatcher().dispatch(QString::fromLatin1(text)); }
    void cell(int id, const QString& mark = {}) {
        m.board().paintChannel(id, 1, 1, 0);
        m.board().setMark(id, mark);
    }
    TestMonitor t;
    Monitor& m = t.monitor;
    SwitchCommands& commands = m.commands();
    RecordingLink* link;
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
    Fixture f;
    f.m.ui().setCaption(Element::AckLbl, QString());
    f.commands.refreshInfo();
    QCOMPARE(f.link->sent, (QStringList{"<close>", "<connect>", "$TESTBOX", "SSSSS"}));
    QCOMPARE(f.m.ui().element(Element::AckLbl).back, LegacyColor(0x00FFFF));
    f.t.services.clock.advance(1000);
    QCOMPARE(f.m.ui().element(Element::AckLbl).back, LegacyColor(0x808080)); // greyed a second later
    QCOMPARE(f.link->commands().size(), 2);
    // The switch description ends the wait at the next look.
    f.message("SBOX,4,4");
    f.t.services.clock.advance(100);
    QCOMPARE(f.link->commands(), (QStringList{"$TESTBOX", "SSSSS", "CCCCC"}));
    f.message("+C");
    f.t.services.clock.advance(100);
    QCOMPARE(f.link->commands(), (QStringList{"$TESTBOX", "SSSSS", "CCCCC", "UUUUU"}));
    QCOMPARE(f.commands.runner().activeCount(), 0);
}

void TestCommands::refreshAfterStartupAsksForNamesFirst() {
    Fixture f;
    f.m.relay().completeBoard();
    f.link->sent.clear();
    f.commands.refreshInfo();
    QCOMPARE(f.link->sent, (QStringList{"<close>", "<connect>", "DDDDD"}));
    // A refused "D" ends the wait as well.
    f.message("-D");
    f.t.services.clock.advance(100);
    QCOMPARE(f.link->commands(), (QStringList{"DDDDD", "$TESTBOX", "SSSSS"}));
    f.message("+S");
    f.t.services.clock.advance(100);
    f.message("-C");
    f.t.services.clock.advance(100);
    QCOMPARE(f.link->commands(), (QStringList{"DDDDD", "$TESTBOX", "SSSSS", "CCCCC", "UUUUU"}));
}

void TestCommands::refreshWaitsGiveUpAfterTheirLooks() {
    Fixture f;
    f.commands.refreshInfo();
    auto& clock = f.t.services.clock;
    // Each of the 51 looks is followed by its pause: about 5.1 s.
    clock.advance(SwitchCommands::kAckLookMs * SwitchCommands::kAckMaxLooks - 1);
    QCOMPARE(f.link->commands().last(), QStringLiteral("SSSSS"));
    clock.advance(1);
    QCOMPARE(f.link->commands().last(), QStringLiteral("CCCCC"));
    clock.advance(5100);
    QCOMPARE(f.link->commands().last(), QStringLiteral("UUUUU"));
    QCOMPARE(f.link->commands().size(), 4);
    // An acknowledgement that shows already ends the wait before any pause.
    f.link->sent.clear();
    f.message("+S");
    f.commands.refreshInfo();
    QCOMPARE(f.link->commands(), (QStringList{"$TESTBOX", "SSSSS", "CCCCC"}));
}

void TestCommands::refreshWaitsForTheConnect() {
    Fixture f(false);
    f.link->holdConnects = true;
    f.commands.refreshInfo();
    QCOMPARE(f.link->sent, (QStringList{"<close>", "<connect>"}));
    f.t.services.clock.advance(3000);
    QCOMPARE(f.link->commands(), QStringList());
    QVERIFY(!f.m.ui().element(Element::AckLbl).back);
    f.link->heldConnect();
    QCOMPARE(f.link->commands(), (QStringList{"$TESTBOX", "SSSSS"}));
    QCOMPARE(f.m.ui().element(Element::AckLbl).back, LegacyColor(0x00FFFF));
}

void TestCommands::refreshStartedDuringAWaitRunsFirst() {
    Fixture f;
    f.commands.refreshInfo(); // waits for "S"
    f.t.services.clock.advance(250);
    f.m.relay().completeBoard();
    f.link->sent.clear();
    f.commands.refreshInfo(); // the relay watchdog's refresh, say
    QCOMPARE(f.link->sent, (QStringList{"<close>", "<connect>", "DDDDD"}));
    f.message("+D");
    f.t.services.clock.advance(100);
    f.message("+S");
    f.t.services.clock.advance(100);
    f.message("+C");
    f.t.services.clock.advance(100);
    // The inner sequence has ended; only now does the outer one go on, with "C" still showing.
    QCOMPARE(f.link->commands(), (QStringList{"DDDDD", "$TESTBOX", "SSSSS", "CCCCC", "UUUUU"}));
    f.t.services.clock.advance(6000);
    QCOMPARE(f.link->commands(),
             (QStringList{"DDDDD", "$TESTBOX", "SSSSS", "CCCCC", "UUUUU", "CCCCC", "UUUUU"}));
    QCOMPARE(f.commands.runner().activeCount(), 0);
}

void TestCommands::channelCommandsInIdOrderPaced() {
    Fixture f;
    f.cell(2301, QStringLiteral("X"));
    f.cell(105, QStringLiteral("X"));
    f.cell(106);
    f.cell(107, QStringLiteral("x"));
    f.m.ui().gesture(Element::Command2_6, MainWindowModel::Gesture::Click);
    QCOMPARE(f.link->commands(), QStringList{"T0105"});
    f.t.services.clock.advance(9);
    QCOMPARE(f.link->commands().size(), 1);
    f.t.services.clock.advance(1);
    QCOMPARE(f.link->commands(), (QStringList{"T0105", "T0107"}));
    f.t.services.clock.advance(100);
    QCOMPARE(f.link->commands(), (QStringList{"T0105", "T0107", "T2301"}));
    QCOMPARE(f.m.board().cell(105)->mark, QStringLiteral("X"));
    QCOMPARE(f.m.board().cell(107)->mark, QStringLiteral("x"));
    QVERIFY(f.t.services.tones.tones.isEmpty());

    const struct {
        Element button;
        const char* text;
    } buttons[] = {{Element::Command2_1, "x0105"},
                   {Element::Command2_3, "M0105"},
                   {Element::Command2_4, "m0105"},
                   {Element::Command2_5, "t0105"}};
    f.m.board().setMark(107, QString());
    f.m.board().setMark(2301, QString());
    for (const auto& b : buttons) {
        f.link->sent.clear();
        f.m.ui().gesture(b.button, MainWindowModel::Gesture::Click);
        f.t.services.clock.advance(100);
        QCOMPARE(f.link->commands(), QStringList{QString::fromLatin1(b.text)});
    }
    QCOMPARE(SwitchCommands::channelCommand(u'x', 1), QStringLiteral("x0001"));
    QCOMPARE(SwitchCommands::channelCommand(u'T', 12345), QStringLiteral("T12345"));
}

void TestCommands::excludeFollowsTruncatePerChannel() {
    Fixture f;
    f.cell(105, QStringLiteral("X"));
    f.cell(106, QStringLiteral("X"));
    f.m.ui().gesture(Element::Command2_0, MainWindowModel::Gesture::Click);
    // The box is read for each channel as the batch reaches it.
    f.m.ui().setChecked(Element::Truncate, false);
    f.t.services.clock.advance(100);
    QCOMPARE(f.link->commands(), (QStringList{"X0105", "Y0106"}));
    f.link->sent.clear();
    f.m.ui().gesture(Element::Command2_0, MainWindowModel::Gesture::Click);
    f.t.services.clock.advance(100);
    QCOMPARE(f.link->commands(), (QStringList{"Y0105", "Y0106"}));
}

void TestCommands::batchReadsMarksWhenItGetsThere() {
    Fixture f;
    f.cell(105, QStringLiteral("X"));
    f.cell(106, QStringLiteral("X"));
    f.cell(107, QStringLiteral("X"));
    f.cell(201);
    f.m.ui().gesture(Element::Command2_6, MainWindowModel::Gesture::Click);
    f.m.board().setMark(105, QString()); // already passed
    f.m.board().setMark(106, QString()); // not reached yet
    f.m.board().setMark(201, QStringLiteral("X"));
    f.t.services.clock.advance(100);
    QCOMPARE(f.link->commands(), (QStringList{"T0105", "T0107", "T0201"}));
}

void TestCommands::noMarkBeepsRegardlessOfSounds() {
    Fixture f;
    f.cell(105, QStringLiteral("?"));
    f.cell(106, QStringLiteral("!"));
    QVERIFY(!f.m.ui().isChecked(MenuItem::AllowSounds));
    f.m.ui().gesture(Element::Command2_1, MainWindowModel::Gesture::Click);
    f.t.services.clock.advance(100);
    QVERIFY(f.link->sent.isEmpty());
    QCOMPARE(f.t.services.tones.tones, (QList<QPair<int, int>>{{100, 300}}));
}

void TestCommands::unmarkAllClearsEveryMark() {
    Fixture f;
    f.m.ui().gesture(Element::Command2_2, MainWindowModel::Gesture::Click);
    QVERIFY(f.t.services.tones.tones.isEmpty());
    f.cell(105, QStringLiteral("X"));
    f.cell(106, QStringLiteral("x"));
    f.cell(107, QStringLiteral("?"));
    f.cell(108, QStringLiteral("!"));
    f.m.board().setMark(1, QStringLiteral("X"));
    f.m.ui().gesture(Element::Command2_2, MainWindowModel::Gesture::Click);
    for (int id : f.m.board().cellIds())
        QCOMPARE(f.m.board().cell(id)->mark, QString());
    QVERIFY(f.link->sent.isEmpty());
    QVERIFY(f.t.services.tones.tones.isEmpty());
}

void TestCommands::engineWideCommandsReconnectOverUdp() {
    Fixture f;
    f.m.ui().trigger(MenuItem::CommitDb7);
    f.m.ui().trigger(MenuItem::CommitDb1);
    f.m.ui().trigger(MenuItem::CommitDb2);
    f.m.ui().trigger(MenuItem::KillLapLink);
    f.m.ui().trigger(MenuItem::HungTrunk);
    QCOMPARE(f.link->sent, (QStringList{"<connect>", "I7", "<connect>", "I1", "<connect>", "I2", "<connect>",
                                        "LLLLL", "<connect>", "HHHHH"}));
    // The check mark waits for the engine's answer.
    QVERIFY(!f.m.ui().isChecked(MenuItem::HungTrunk));

    Fixture tcp(false);
    tcp.m.ui().trigger(MenuItem::CommitDb7);
    tcp.m.ui().trigger(MenuItem::HungTrunk);
    QCOMPARE(tcp.link->sent, (QStringList{"I7", "HHHHH"}));
}

void TestCommands::unloadAsksFirst() {
    Fixture f;
    f.m.config().title = QStringLiteral("Plant");
    auto& dialogs = f.t.services.dialogs;
    dialogs.yesNoAnswers.enqueue(false);
    f.m.ui().trigger(MenuItem::UnloadApp);
    // The program's own title (none given), not the switch's.
    QCOMPARE(dialogs.questions, QStringList{"|Do you really want to unload the switch?"});
    QVERIFY(f.link->sent.isEmpty());
    dialogs.yesNoAnswers.enqueue(true);
    f.m.ui().trigger(MenuItem::UnloadApp);
    QCOMPARE(f.link->sent, (QStringList{"<connect>", "QQQQQ"}));
}

void TestCommands::spanLabelDoubleClickWaitsForNames() {
    Fixture f;
    f.commands.spanLabelDoubleClick();
    QCOMPARE(f.link->commands(), QStringList{"DDDDD"});
    QCOMPARE(f.commands.runner().activeCount(), 1);
    f.message("D1,0,One");
    f.t.services.clock.advance(100);
    QCOMPARE(f.commands.runner().activeCount(), 0);
    // "D" still shows: the second wait ends at once.
    f.commands.spanLabelDoubleClick();
    QCOMPARE(f.commands.runner().activeCount(), 0);
    QCOMPARE(f.link->commands(), (QStringList{"DDDDD", "DDDDD"}));
}

void TestCommands::watchdogTimeoutDialog() {
    Fixture f;
    auto& dialogs = f.t.services.dialogs;
    const HeartbeatWatchdog& heartbeat = f.m.heartbeat();
    QCOMPARE(heartbeat.interval(), 1500);
    dialogs.inputAnswers.enqueue(QString()); // cancelled
    f.m.ui().trigger(MenuItem::WDTO);
    QCOMPARE(dialogs.inputs, QStringList{"Watchdog Timeout|Enter Timeout in seconds|150"});
    QCOMPARE(heartbeat.interval(), 1500);
    dialogs.inputAnswers.enqueue(QStringLiteral("30"));
    f.m.ui().trigger(MenuItem::WDTO);
    QCOMPARE(heartbeat.interval(), 300);
    for (const char* bad : {"soon", "-5", "7000"}) {
        dialogs.inputAnswers.enqueue(QString::fromLatin1(bad));
        f.m.ui().trigger(MenuItem::WDTO);
        QCOMPARE(heartbeat.interval(), 300);
    }
    QCOMPARE(dialogs.inputs.last(), QStringLiteral("Watchdog Timeout|Enter Timeout in seconds|30"));
    // Tenths of a second are kept, halves of a millisecond go to the even neighbour.
    dialogs.inputAnswers.enqueue(QStringLiteral("0.25"));
    f.m.ui().trigger(MenuItem::WDTO);
    QCOMPARE(heartbeat.interval(), 2);
    dialogs.inputAnswers.enqueue(QStringLiteral(" 0.75 "));
    f.m.ui().trigger(MenuItem::WDTO);
    QCOMPARE(heartbeat.interval(), 8);
    QCOMPARE(dialogs.inputs.last(), QStringLiteral("Watchdog Timeout|Enter Timeout in seconds|0.2"));
}

void TestCommands::tabDoubleClickRevealsEngineButtons() {
    Fixture f;
    const Element hidden[] = {Element::Command2_3, Element::Command2_4, Element::Command2_5,
                              Element::Command2_6, Element::Label4};
    for (bool shown : {false, true, false}) {
        for (Element e : hidden)
            QCOMPARE(f.m.ui().element(e).visible, shown);
        f.m.ui().gesture(Element::SSTab1, MainWindowModel::Gesture::DoubleClick);
    }
}

QTEST_GUILESS_MAIN(TestCommands)
#include "test_commands.moc"
