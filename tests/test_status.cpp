// The engine's status messages through the dispatcher: acknowledgements, the switch description and
// its group tables, group names on the span labels, heartbeat and clock against the watchdog counter,
// the connected monitors and broadcast lines reaching the chat, and refused channel commands gathered
// into alarm lines.

#include "alarms/AlarmList.h"
#include "board/BoardModel.h"
#include "board/GroupTables.h"
#include "support/RecordingLink.h"
#include "support/TestMonitor.h"
#include "watchdogs/HeartbeatWatchdog.h"
#include "watchdogs/RelayWatchdog.h"
#include "windows/ChatModel.h"

#include <QTest>

using namespace corvane;
using corvane::test::RecordingLink;
using corvane::test::TestMonitor;

namespace {
void send(Monitor& m, const char* message) {
    m.dispatcher().dispatch(QString::fromLatin1(message));
}
QString ack(const Monitor& m) {
    return m.ui().element(Element::AckLbl).caption;
}
std::optional<LegacyColor> ackBack(const Monitor& m) {
    return m.ui().element(Element::AckLbl).back;
}
} // namespace

class TestStatus : public QObject {
    Q_OBJECT
private slots:
    void acknowledgementLettersLightAckLbl();
    void replicationAndHungTrunk();
    void relayAnswerClearsRelayDown();
    void refusalOfControlWithdrawsControls();
    void refusalsGatheredByLetter_data();
    void refusalsGatheredByLetter();
    void descriptionGrowsTablesAndSetsCaption();
    void descriptionWithoutCommaKeepsCaption();
    void groupNameKeepsCommasAndRelabelsSpans();
    void groupNameOutsideTableStillAcknowledges();
    void heartbeatAndClockResetWatchdog();
    void replicatedSpanLabels();
    void connectedMonitorsOnlyAfterStartup();
    void broadcastLinesNewestFirst();
};

void TestStatus::acknowledgementLettersLightAckLbl() {
    TestMonitor t;
    Monitor& m = t.monitor;
    QVERIFY(!m.relay().indicatorResetPending());
    send(m, "+D");
    QCOMPARE(ack(m), QStringLiteral("D"));
    QCOMPARE(ackBack(m), kGreen);
    QVERIFY(m.relay().indicatorResetPending());
    m.relay().resetIndicators();
    send(m, "-X");
    QCOMPARE(ack(m), QStringLiteral("X"));
    QCOMPARE(ackBack(m), kRed);
    QVERIFY(m.relay().indicatorResetPending());
    m.relay().resetIndicators();
    // Case matters: "+x" is the include command's acknowledgement, not the exclude's.
    send(m, "+x");
    QCOMPARE(ack(m), QStringLiteral("x"));
    // An empty acknowledgement changes no indicator but still starts the reset.
    m.relay().resetIndicators();
    send(m, "+");
    QCOMPARE(ack(m), QStringLiteral("x"));
    QVERIFY(m.relay().indicatorResetPending());
}

void TestStatus::replicationAndHungTrunk() {
    TestMonitor t;
    Monitor& m = t.monitor;
    send(m, "+D");
    send(m, "+Aprimary");
    QCOMPARE(m.ui().element(Element::Repl).back, kGreen);
    QCOMPARE(m.ui().element(Element::Repl).caption, QStringLiteral("Replprimary"));
    QCOMPARE(ack(m), QStringLiteral("D")); // "A" is not an acknowledgement letter
    send(m, "-Nlost");
    QCOMPARE(m.ui().element(Element::Repl).back, kRed);
    QCOMPARE(m.ui().element(Element::Repl).caption, QStringLiteral("Repllost"));
    send(m, "+N");
    QCOMPARE(m.ui().element(Element::Repl).back, kRed);
    send(m, "-A");
    QCOMPARE(m.ui().element(Element::Repl).back, kGreen);

    send(m, "+H012/24");
    QVERIFY(m.ui().isChecked(MenuItem::HungTrunk));
    QCOMPARE(m.ui().element(Element::FreeVox).caption, QStringLiteral("012/24"));
    QCOMPARE(ack(m), QStringLiteral("H"));
    send(m, "+h");
    QVERIFY(!m.ui().isChecked(MenuItem::HungTrunk));
    QCOMPARE(ack(m), QStringLiteral("h"));
    QCOMPARE(m.ui().element(Element::FreeVox).caption, QStringLiteral("012/24"));
    // A refusal of the hung trunk command leaves the check mark alone.
    send(m, "+H1");
    send(m, "-H");
    QVERIFY(m.ui().isChecked(MenuItem::HungTrunk));
    QCOMPARE(ackBack(m), kRed);
}

void TestStatus::relayAnswerClearsRelayDown() {
    TestMonitor t;
    Monitor& m = t.monitor;
    m.relay().completeBoard();
    m.relay().tick(); // the first ping goes unanswered
    QVERIFY(m.relay().relayDown());
    // A plain heartbeat is no answer to the relay's ping.
    send(m, "W");
    QVERIFY(m.relay().relayDown());
    send(m, "+W");
    QVERIFY(!m.relay().relayDown());
    QCOMPARE(ack(m), QStringLiteral("W"));
}

void TestStatus::refusalOfControlWithdrawsControls() {
    TestMonitor t;
    Monitor& m = t.monitor;
    send(m, "+D");
    send(m, "-S");
    QVERIFY(!m.ui().menu(MenuItem::Actions).enabled);
    QVERIFY(!m.ui().element(Element::Command2_0).visible);
    QVERIFY(!m.ui().element(Element::Command2_1).visible);
    QVERIFY(!m.ui().element(Element::Truncate).visible);
    QVERIFY(m.ui().element(Element::Command2_2).visible);
    QCOMPARE(ack(m), QStringLiteral("D"));
    QVERIFY(m.relay().indicatorResetPending());
}

void TestStatus::refusalsGatheredByLetter_data() {
    // Steps: a message to dispatch, or "+N" to let N ms pass.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("lines");
    const auto repeat = [](int times, const QStringList& steps) {
        QStringList out;
        for (int i = 0; i < times; ++i)
            out << steps;
        return out;
    };
    QTest::newRow("one refusal") << QStringList{"-x", "+1000"} << QStringList{"Engine refused x"};
    QTest::newRow("the quiet second not over") << QStringList{"-x", "+999"} << QStringList{};
    QTest::newRow("a batch 10 ms apart") << repeat(300, {"-x", "+10"}) + QStringList{"+1000"}
                                         << QStringList{"Engine refused x (300 channels)"};
    QTest::newRow("letters apart") << QStringList{"-x", "+100", "-T", "+50", "-x", "+1000"}
                                   << QStringList{"Engine refused T", "Engine refused x (2 channels)"};
    QTest::newRow("pauses split a batch")
        << QStringList{"-m", "+1000", "-m", "+1000"} << QStringList{"Engine refused m", "Engine refused m"};
    QTest::newRow("no channel command")
        << QStringList{"-D", "-C", "-W", "-A", "-N", "-", "+2000"} << QStringList{};
    QTest::newRow("refusals that never pause")
        << repeat(1200, {"-Y", "+10"}) + QStringList{"+1000"}
        << QStringList{"Engine refused Y (1000 channels)", "Engine refused Y (200 channels)"};
}

void TestStatus::refusalsGatheredByLetter() {
    QFETCH(QStringList, steps);
    QFETCH(QStringList, lines);
    TestMonitor t;
    for (const QString& step : steps) {
        if (step.startsWith(u'+') && step.size() > 1)
            t.services.clock.advance(step.mid(1).toInt());
        else
            t.monitor.dispatcher().dispatch(step);
    }
    QStringList texts;
    for (const QString& line : t.monitor.alarms().lines())
        texts << line.section(QStringLiteral("---"), 1);
    QCOMPARE(texts, lines);
}

void TestStatus::descriptionGrowsTablesAndSetsCaption() {
    MonitorConfig cfg;
    cfg.title = QStringLiteral("Plant");
    TestMonitor t(cfg);
    Monitor& m = t.monitor;
    GroupTables& g = m.groups();
    send(m, "D3,0,Sales");
    send(m, "D4,1,Trunks");
    m.board().requestDescription(); // the description's acknowledgement ends the board's wait
    send(m, "SSWITCH-A,12,40");
    t.services.clock.advance(100);
    QVERIFY(!m.board().descriptionWaitRunning());
    QCOMPARE(m.ui().windowCaption(), QStringLiteral("Plant SWITCH-A"));
    QCOMPARE(g.capacityR(), 20);
    QCOMPARE(g.capacityO(), 40);
    QCOMPARE(g.groupCount(), 40);
    QCOMPARE(ack(m), QStringLiteral("S"));
    QCOMPARE(ackBack(m), kGreen);
    QVERIFY(m.relay().indicatorResetPending());
    // The grown table starts empty; the one that kept its size keeps its names.
    QCOMPARE(g.nameO(3), QString());
    QCOMPARE(g.nameR(4), QStringLiteral("Trunks"));
    QVERIFY(g.setNameO(40, QStringLiteral("last")));
    QVERIFY(!g.setNameO(41, QStringLiteral("beyond")));

    send(m, "D7,0,Kept");
    send(m, "SSWITCH-B,5,10");
    QCOMPARE(m.ui().windowCaption(), QStringLiteral("Plant SWITCH-B"));
    QCOMPARE(g.capacityO(), 40);
    QCOMPARE(g.nameO(7), QStringLiteral("Kept"));
    // A count beyond 16 bits is skipped, not wrapped into a small or negative size.
    send(m, "SX,70000,2");
    QCOMPARE(g.capacityR(), 20);
}

void TestStatus::descriptionWithoutCommaKeepsCaption() {
    MonitorConfig cfg;
    cfg.title = QStringLiteral("Plant");
    TestMonitor t(cfg);
    Monitor& m = t.monitor;
    const QString before = m.ui().windowCaption();
    // Both counts are read from the start of the body when the commas are missing.
    send(m, "S30");
    QCOMPARE(m.ui().windowCaption(), before);
    QCOMPARE(m.groups().capacityR(), 30);
    QCOMPARE(m.groups().capacityO(), 30);
    QCOMPARE(ack(m), QStringLiteral("S"));
}

void TestStatus::groupNameKeepsCommasAndRelabelsSpans() {
    TestMonitor t;
    Monitor& m = t.monitor;
    BoardModel& b = m.board();
    b.placeCell(1, 8, 1);
    b.paintChannel(101, 1, 2, 0); // O side, group 2
    b.paintChannel(102, 9, 7, 0); // R side, group 7
    send(m, "D7,1,Trunks to HQ, east");
    QCOMPARE(m.groups().nameR(7), QStringLiteral("Trunks to HQ, east"));
    QCOMPARE(ack(m), QStringLiteral("D"));
    QVERIFY(m.relay().indicatorResetPending());
    send(m, "D2,0,Sales");
    QCOMPARE(m.groups().nameO(2), QStringLiteral("Sales"));
    QCOMPARE(m.groups().nameR(2), QString());
    // The labels are rewritten with each name.
    QCOMPARE(b.outerLabel(1).caption, QStringLiteral(" 1-Sales"));
    QCOMPARE(b.innerLabel(1).caption, QStringLiteral("Trunks to HQ, east- 1"));
}

void TestStatus::groupNameOutsideTableStillAcknowledges() {
    TestMonitor t;
    Monitor& m = t.monitor;
    send(m, "+X");
    send(m, "D21,0,Nowhere");
    send(m, "D-1,1,Nowhere");
    QCOMPARE(ack(m), QStringLiteral("D"));
    QCOMPARE(ackBack(m), kGreen);
    for (int i = 0; i <= 20; ++i) {
        QCOMPARE(m.groups().nameO(i), QString());
        QCOMPARE(m.groups().nameR(i), QString());
    }
}

void TestStatus::heartbeatAndClockResetWatchdog() {
    TestMonitor t;
    Monitor& m = t.monitor;
    m.ui().setBack(Element::WD_Progress, kRed);
    t.services.clock.advance(77 * 1500);
    send(m, "W");
    QCOMPARE(m.heartbeat().counter(), 0);
    QCOMPARE(m.ui().element(Element::WD_Progress).back, kGrey);
    QCOMPARE(m.ui().element(Element::WD_Progress).twips.width(), 0);
    QCOMPARE(m.ui().element(Element::WD_Progress).twips.left(), 2160);

    QVERIFY(!m.ui().element(Element::BoxClock).visible);
    t.services.clock.advance(50 * 1500);
    m.ui().setGeometry(Element::WD_Progress, QRect(2160, 45, 547, 270));
    send(m, "T10:15:03 PM");
    QCOMPARE(m.ui().element(Element::BoxClock).caption, QStringLiteral("10:15:03 PM"));
    QVERIFY(m.ui().element(Element::BoxClock).visible);
    QCOMPARE(m.heartbeat().counter(), 50);
    QCOMPARE(m.ui().element(Element::WD_Progress).twips.width(), 547);
    t.services.clock.advance(1500);
    send(m, "T10:15:04 PM");
    QCOMPARE(m.heartbeat().counter(), 0);
    QCOMPARE(m.ui().element(Element::WD_Progress).twips.width(), 0);
}

void TestStatus::replicatedSpanLabels() {
    TestMonitor t;
    Monitor& m = t.monitor;
    BoardModel& b = m.board();
    b.placeCell(1, 8, 1);
    b.paintChannel(101, 9, 1, 0); // R side: inner label 1
    b.paintChannel(201, 9, 1, 0); // R side: inner label 2
    b.paintChannel(301, 1, 1, 0); // O side only: outer label 3
    b.setLabelBack(true, 2, kGreen);

    // Before the board is complete the confirmed span keeps its colour; the others turn white.
    send(m, "+C2");
    QCOMPARE(b.innerLabel(2).back, kGreen);
    QCOMPARE(b.innerLabel(1).back, kWhite);
    QCOMPARE(ack(m), QStringLiteral("C"));
    QCOMPARE(m.ui().element(Element::Repl).back, kGreen);

    m.relay().completeBoard();
    send(m, "+C2");
    QCOMPARE(b.innerLabel(2).back, kRed);
    QCOMPARE(b.innerLabel(1).back, kWhite);

    // No inner label 3: the outer labels take it, red only at the relay watchdog's default period.
    b.setLabelBack(false, 3, kGreen);
    QCOMPARE(m.relay().period(), 5000);
    send(m, "+C3");
    QCOMPARE(b.outerLabel(3).back, kGreen);
    QCOMPARE(b.outerLabel(1).back, kWhite);
    t.services.clock.advance(5000); // the first watch tick: 10 heartbeat ticks
    send(m, "+C3");
    QCOMPARE(b.outerLabel(3).back, kRed);
    QCOMPARE(b.innerLabel(2).back, kWhite);
}

void TestStatus::connectedMonitorsOnlyAfterStartup() {
    TestMonitor t;
    Monitor& m = t.monitor;
    auto* link = new RecordingLink;
    m.link().reset(std::unique_ptr<EngineLink>(link));
    send(m, "!ALPHA, BETA");
    QCOMPARE(m.chat().monConnected(), QString());
    QVERIFY(!m.chat().isLoaded());
    QVERIFY(link->sent.isEmpty());
    m.relay().completeBoard();
    link->sent.clear();
    send(m, "!ALPHA, BETA");
    QCOMPARE(m.chat().monConnected(), QStringLiteral("ALPHA, BETA"));
    // Filling the box loads the chat window, which asks for the list once.
    QCOMPARE(link->commands(), QStringList{QStringLiteral("!")});
    QVERIFY(!m.chat().isShown());
}

void TestStatus::broadcastLinesNewestFirst() {
    TestMonitor t;
    Monitor& m = t.monitor;
    auto& tones = t.services.tones.tones;
    send(m, "@a");
    QVERIFY(tones.isEmpty()); // sounds are off
    QVERIFY(m.chat().isShown());
    m.ui().setMenuChecked(MenuItem::AllowSounds, true);
    send(m, "@b");
    QCOMPARE(tones, (QList<QPair<int, int>>{{440, 50}, {622, 50}, {880, 50}}));
    QCOMPARE(m.chat().received(), QStringLiteral("b\r\na\r\n"));
}

QTEST_GUILESS_MAIN(TestStatus)
#include "test_status.moc"
