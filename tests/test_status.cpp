// The engine's status messages through the dispatcher: acknowledgements, the switch description and
// group names, heartbeat and clock against the watchdog, chat lines, and refused channel commands.

#include "alarms/AlarmList.h"
#include "board/BoardModel.h"
#include "board/GroupTables.h"
#include "support/TestMonitor.h"
#include "watchdogs/HeartbeatWatchdog.h"
#include "watchdogs/RelayWatchdog.h"
#include "windows/ChatModel.h"

#include <QTest>

using namespace corvane;
using corvane::test::TestMonitor;

class TestStatus : public QObject {
    Q_OBJECT

    std::unique_ptr<TestMonitor> m_t; // a fresh monitor for each test
    Monitor& m() { return m_t->monitor; }
    void send(const char* message) { m().dispatcher().dispatch(QString::fromLatin1(message)); }

private slots:
    void init() {
        MonitorConfig config;
        config.title = QStringLiteral("Plant");
        m_t = std::make_unique<TestMonitor>(config);
    }

    void acknowledgementsLightAckLbl_data() {
        // Messages dispatched in order ("reset" greys the indicators), then AckLbl's letter and colour.
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("letter");
        QTest::addColumn<LegacyColor>("back");
        QTest::newRow("positive") << QStringList{"+D"} << "D" << kGreen;
        QTest::newRow("negative") << QStringList{"-X"} << "X" << kRed;
        QTest::newRow("case matters: the include's, not the exclude's") << QStringList{"+x"} << "x" << kGreen;
        QTest::newRow("empty: no indicator, but the reset")
            << QStringList{"+x", "reset", "+"} << "x" << kGrey;
        QTest::newRow("replication is no letter")
            << QStringList{"+D", "+Aprimary", "-Nlost"} << "D" << kGreen;
        QTest::newRow("hung trunk refused") << QStringList{"+H1", "-H"} << "H" << kRed;
        QTest::newRow("control refused") << QStringList{"+D", "-S"} << "D" << kGreen;
        QTest::newRow("relay's answer") << QStringList{"-X", "+W"} << "W" << kGreen;
        QTest::newRow("description") << QStringList{"-X", "SSWITCH-A,12,40"} << "S" << kGreen;
    }

    void acknowledgementsLightAckLbl() {
        QFETCH(QStringList, messages);
        QFETCH(QString, letter);
        QFETCH(LegacyColor, back);
        QVERIFY(!m().relay().indicatorResetPending());
        for (const QString& message : messages) {
            if (message == u"reset")
                m().relay().resetIndicators();
            else
                m().dispatcher().dispatch(message);
        }
        QCOMPARE(m().ui().element(Element::AckLbl).caption, letter);
        QCOMPARE(m().ui().element(Element::AckLbl).back, back);
        QVERIFY(m().relay().indicatorResetPending());
    }

    void replicationAndHungTrunk() {
        send("+Aprimary");
        QCOMPARE(m().ui().element(Element::Repl).caption, QStringLiteral("Replprimary"));
        send("-Nlost");
        QCOMPARE(m().ui().element(Element::Repl).back, kRed);
        QCOMPARE(m().ui().element(Element::Repl).caption, QStringLiteral("Repllost"));
        send("-A");
        QCOMPARE(m().ui().element(Element::Repl).back, kGreen);
        send("+H012/24");
        QVERIFY(m().ui().isChecked(MenuItem::HungTrunk));
        QCOMPARE(m().ui().element(Element::FreeVox).caption, QStringLiteral("012/24"));
        send("+h");
        QVERIFY(!m().ui().isChecked(MenuItem::HungTrunk));
        // A refusal of the hung trunk command leaves the check mark alone.
        send("+H1");
        send("-H");
        QVERIFY(m().ui().isChecked(MenuItem::HungTrunk));
    }

    void relayAnswerClearsRelayDown() {
        m().relay().completeBoard();
        m().relay().tick(); // the first ping goes unanswered
        QVERIFY(m().relay().relayDown());
        // A plain heartbeat is no answer to the relay's ping.
        send("W");
        QVERIFY(m().relay().relayDown());
        send("+W");
        QVERIFY(!m().relay().relayDown());
    }

    void refusalOfControlWithdrawsControls() {
        send("-S");
        QVERIFY(!m().ui().menu(MenuItem::Actions).enabled);
        QVERIFY(!m().ui().element(Element::Command2_0).visible);
        QVERIFY(!m().ui().element(Element::Command2_1).visible);
        QVERIFY(!m().ui().element(Element::Truncate).visible);
        QVERIFY(m().ui().element(Element::Command2_2).visible);
    }

    void refusalsGatheredByLetter_data() {
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
        QTest::newRow("pauses split a batch") << QStringList{"-m", "+1000", "-m", "+1000"}
                                              << QStringList{"Engine refused m", "Engine refused m"};
        QTest::newRow("no channel command")
            << QStringList{"-D", "-C", "-W", "-A", "-N", "-", "+2000"} << QStringList{};
        QTest::newRow("refusals that never pause")
            << repeat(1200, {"-Y", "+10"}) + QStringList{"+1000"}
            << QStringList{"Engine refused Y (1000 channels)", "Engine refused Y (200 channels)"};
    }

    void refusalsGatheredByLetter() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, lines);
        for (const QString& step : steps) {
            if (step.startsWith(u'+') && step.size() > 1)
                m_t->services.clock.advance(step.mid(1).toInt());
            else
                m().dispatcher().dispatch(step);
        }
        QStringList texts;
        for (const QString& line : m().alarms().lines())
            texts << line.section(QStringLiteral("---"), 1);
        QCOMPARE(texts, lines);
    }

    void descriptionGrowsTablesAndSetsCaption() {
        GroupTables& g = m().groups();
        send("D3,0,Sales");
        send("D4,1,Trunks");
        send("SSWITCH-A,12,40");
        QCOMPARE(m().ui().windowCaption(), QStringLiteral("Plant SWITCH-A"));
        QCOMPARE(g.capacityR(), 20);
        QCOMPARE(g.capacityO(), 40);
        // The grown table starts empty; the one that kept its size keeps its names.
        QCOMPARE(g.nameO(3), QString());
        QCOMPARE(g.nameR(4), QStringLiteral("Trunks"));
        send("D7,0,Kept");
        send("SSWITCH-B,5,10");
        QCOMPARE(m().ui().windowCaption(), QStringLiteral("Plant SWITCH-B"));
        QCOMPARE(g.capacityO(), 40);
        QCOMPARE(g.nameO(7), QStringLiteral("Kept"));
        // A count beyond 16 bits is skipped, not wrapped into a small or negative size.
        send("SX,70000,2");
        QCOMPARE(g.capacityR(), 20);
        // Both counts are read from the start of the body when the commas are missing; no caption then.
        send("S60");
        QCOMPARE(m().ui().windowCaption(), QStringLiteral("Plant X"));
        QCOMPARE(g.capacityR(), 60);
        QCOMPARE(g.capacityO(), 60);
    }

    void groupNamesKeepCommasAndRelabelSpans() {
        BoardModel& b = m().board();
        b.placeCell(1, 8, 1);
        b.paintChannel(101, 1, 2, 0); // O side, group 2
        b.paintChannel(102, 9, 7, 0); // R side, group 7
        send("D7,1,Trunks to HQ, east");
        QCOMPARE(m().groups().nameR(7), QStringLiteral("Trunks to HQ, east"));
        send("D2,0,Sales");
        QCOMPARE(m().groups().nameO(2), QStringLiteral("Sales"));
        QCOMPARE(m().groups().nameR(2), QString());
        // The labels are rewritten with each name.
        QCOMPARE(b.outerLabel(1).caption, QStringLiteral(" 1-Sales"));
        QCOMPARE(b.innerLabel(1).caption, QStringLiteral("Trunks to HQ, east- 1"));
        // Outside the tables: nothing named.
        send("D21,0,Nowhere");
        send("D-1,1,Nowhere");
        for (int i = 0; i <= 20; ++i)
            QVERIFY(m().groups().nameO(i) != u"Nowhere" && m().groups().nameR(i) != u"Nowhere");
    }

    void heartbeatAndClockResetWatchdog() {
        test::ManualClock& clock = m_t->services.clock;
        const ElementState& bar = m().ui().element(Element::WD_Progress);
        m().ui().setBack(Element::WD_Progress, kRed);
        clock.advance(77 * 1500);
        send("W");
        QCOMPARE(m().heartbeat().counter(), 0);
        QCOMPARE(bar.back, kGrey);
        QCOMPARE(bar.twips.width(), 0);
        // The engine's clock stands in for a heartbeat only after 50 ticks.
        QVERIFY(!m().ui().element(Element::BoxClock).visible);
        clock.advance(50 * 1500);
        m().ui().setGeometry(Element::WD_Progress, QRect(2160, 45, 547, 270));
        send("T10:15:03 PM");
        QCOMPARE(m().ui().element(Element::BoxClock).caption, QStringLiteral("10:15:03 PM"));
        QVERIFY(m().ui().element(Element::BoxClock).visible);
        QCOMPARE(m().heartbeat().counter(), 50);
        QCOMPARE(bar.twips.width(), 547);
        clock.advance(1500);
        send("T10:15:04 PM");
        QCOMPARE(m().heartbeat().counter(), 0);
        QCOMPARE(bar.twips.width(), 0);
    }

    void replicatedSpanLabels() {
        BoardModel& b = m().board();
        b.placeCell(1, 8, 1);
        b.paintChannel(101, 9, 1, 0); // R side: inner label 1
        b.paintChannel(201, 9, 1, 0); // R side: inner label 2
        b.paintChannel(301, 1, 1, 0); // O side only: outer label 3
        b.setLabelBack(true, 2, kGreen);
        // Before the board is complete the confirmed span keeps its colour; the others turn white.
        send("+C2");
        QCOMPARE(b.innerLabel(2).back, kGreen);
        QCOMPARE(b.innerLabel(1).back, kWhite);
        QCOMPARE(m().ui().element(Element::Repl).back, kGreen);
        m().relay().completeBoard();
        send("+C2");
        QCOMPARE(b.innerLabel(2).back, kRed);
        // No inner label 3: the outer labels take it, red only at the relay watchdog's default period.
        b.setLabelBack(false, 3, kGreen);
        send("+C3");
        QCOMPARE(b.outerLabel(3).back, kGreen);
        QCOMPARE(b.outerLabel(1).back, kWhite);
        m_t->services.clock.advance(5000); // the first watch tick: 10 heartbeat ticks
        send("+C3");
        QCOMPARE(b.outerLabel(3).back, kRed);
        QCOMPARE(b.innerLabel(2).back, kWhite);
    }

    void connectedMonitorsAndBroadcastsReachTheChat() {
        send("!ALPHA, BETA");
        QCOMPARE(m().chat().monConnected(), QString());
        m().relay().completeBoard();
        send("!ALPHA, BETA");
        QCOMPARE(m().chat().monConnected(), QStringLiteral("ALPHA, BETA"));
        send("@a");
        send("@b");
        QCOMPARE(m().chat().received(), QStringLiteral("b\r\na\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestStatus)
#include "test_status.moc"
