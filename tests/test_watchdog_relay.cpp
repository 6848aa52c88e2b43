// Board completion, the relay watchdog and the indicator reset on a manual clock, a recording link and a
// scripted relay terminator. Against the simulated engine they run in the hostile link and X11 relay tests.

#include "support/RecordingLink.h"
#include "support/TestMonitor.h"
#include "support/WatchdogParts.h"

#include <QSignalSpy>
#include <QtTest>

using namespace corvane;
using namespace corvane::test;

namespace {

struct ScriptedTerminator final : RelayTerminator {
    RelayTermination terminateWindowOwner(const QString& title) override {
        asked << title;
        return outcome;
    }
    RelayTermination outcome = RelayTermination::Terminated;
    QStringList asked;
};

// The relay watchdog, the heartbeat's stopped; the sounds menu stays off, which the beep does not ask.
struct Relay : WatchdogParts {
    explicit Relay(const QString& relayTitle = {}) {
        config.relayWindowTitle = relayTitle;
        heartbeat.stop();
        link.reset(std::unique_ptr<EngineLink>(recorder = new RecordingLink));
        relay.setTerminator(std::unique_ptr<RelayTerminator>(terminator = new ScriptedTerminator));
        QObject::connect(&relay, &RelayWatchdog::refreshWanted, [this] { refreshTimes << clock.tickMs(); });
        board.placeCell(1, 8, 1); // the template, as the load step places it
    }
    // Completes the board with two spans of cells painted before the second Timer2 tick.
    void completeBoard() {
        for (int id : {101, 102, 201})
            board.paintChannel(id, 1, 1, 0);
        clock.advance(10000);
        QVERIFY(relay.boardReady());
        recorder->sent.clear();
    }
    const ElementState& ack() const { return ui.element(Element::AckLbl); }

    RecordingLink* recorder = nullptr;
    ScriptedTerminator* terminator = nullptr;
    QList<qint64> refreshTimes;
};

} // namespace

class RelayWatchdogTest : public QObject {
    Q_OBJECT
private slots:
    void theBoardCompletesAfterAQuietTick() {
        Relay f;
        QSignalSpy raised(&f.ui, &MainWindowModel::raiseRequested);
        QSignalSpy completed(&f.relay, &RelayWatchdog::boardCompleted);
        f.board.paintChannel(101, 1, 1, 0);
        f.clock.advance(5000); // first tick: cells came
        f.board.paintChannel(102, 9, 2, 0);
        f.board.paintChannel(305, 9, 2, 101);
        f.clock.advance(5000); // still growing
        f.board.paintChannel(306, 1, 2, 0);
        f.clock.advance(4999);
        QVERIFY(!f.relay.boardReady());
        QVERIFY(f.recorder->commands().isEmpty());
        f.groups.setNameR(2, QStringLiteral("Trunks"));
        f.groups.setNameO(1, QStringLiteral("Lines"));
        f.clock.advance(5001); // a whole tick without a new cell
        QVERIFY(f.relay.boardReady());
        QVERIFY(f.relay.startupDone());
        QCOMPARE(f.recorder->commands(), (QStringList{QStringLiteral("W"), QStringLiteral("SSSSS")}));
        QCOMPARE(raised.count(), 1);
        QCOMPARE(completed.count(), 1);
        // The window reaches 3000 twips below the lowest cell.
        QCOMPARE(f.ui.clientSize().height(), f.board.cell(306)->back.bottom() + 1 + 3000);
        QCOMPARE(f.board.innerLabel(1).caption, QStringLiteral("Trunks- 1"));
        QCOMPARE(f.board.outerLabel(1).caption, QStringLiteral(" 1-Lines"));
        QCOMPARE(f.relay.savedIndex(), 306);
    }

    // Timer2 ticks every ten heartbeat ticks; the deadline, three ticks on, is P / 30 s after the ping.
    void theDeadlineAndPeriodFollowTheHeartbeatTick_data() {
        QTest::addColumn<int>("heartbeatMs");
        QTest::addColumn<int>("period");
        QTest::addColumn<int>("deadlineMs");
        QTest::newRow("default") << 1500 << 15000 << 50000;
        QTest::newRow("short") << 200 << 2000 << 6666;
    }
    void theDeadlineAndPeriodFollowTheHeartbeatTick() {
        QFETCH(int, heartbeatMs);
        QFETCH(int, period);
        QFETCH(int, deadlineMs);
        Relay f(QStringLiteral("UDPRelay"));
        f.heartbeat.setInterval(heartbeatMs);
        f.completeBoard();
        f.relay.pingAnswered();
        f.clock.advance(5000); // first watchdog tick: fresh ping and deadline
        QCOMPARE(f.relay.period(), period);
        QCOMPARE(f.clock.now().msecsTo(f.relay.deadline()), deadlineMs);
        f.clock.advance(3 * period);
        QCOMPARE(f.recorder->commands().count(QStringLiteral("W")), 4);
        QVERIFY(f.lines().isEmpty());
        f.clock.advance(period); // past the deadline: timed out
        QCOMPARE(f.terminator->asked, QStringList{QStringLiteral("UDPRelay")});
        QVERIFY(f.relay.relayDown());
        QCOMPARE(f.ack().caption, QStringLiteral("W"));
    }

    // Each time-out is logged as the termination went; the beep tells of a window found.
    void aSilentRelayIsTerminatedAtMostOncePerMinute_data() {
        QTest::addColumn<RelayTermination>("outcome");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("beeps");
        QTest::newRow("terminated") << RelayTermination::Terminated << "UDPRelay terminated" << true;
        QTest::newRow("refused") << RelayTermination::Refused << "Could not terminate UDPRelay" << true;
        QTest::newRow("none") << RelayTermination::NotFound << "Could not Find UDPRelay to terminate"
                              << false;
    }
    void aSilentRelayIsTerminatedAtMostOncePerMinute() {
        QFETCH(RelayTermination, outcome);
        QFETCH(QString, text);
        QFETCH(bool, beeps);
        Relay f(QStringLiteral("UDPRelay"));
        f.terminator->outcome = outcome;
        f.completeBoard();
        f.recorder->holdConnects = true;
        f.clock.advance(5000); // the first ping was never answered: a time-out at once
        const qint64 timedOutAt = f.clock.tickMs();
        QCOMPARE(f.lines().size(), 1);
        QVERIFY(f.lines().first().endsWith(QStringLiteral("---") + text));
        QCOMPARE(f.tones.tones, (QList<QPair<int, int>>(beeps ? 1 : 0, {620, 250})));
        // Reconnected, and pinged again only once the connect has ended.
        QCOMPARE(f.recorder->sent, QStringList{QStringLiteral("<connect>")});
        f.recorder->heldConnect();
        QCOMPARE(f.recorder->sent.last(), QStringLiteral("W"));
        // Refresh Info follows a second later, without holding anything up meanwhile.
        f.clock.advance(999);
        QVERIFY(f.refreshTimes.isEmpty());
        f.clock.advance(1);
        QCOMPARE(f.refreshTimes, QList<qint64>{timedOutAt + 1000});

        // Ticks every 15 s; the grace lasts 60 s, so the next time-out is the fifth tick.
        f.clock.advance(59000);
        QCOMPARE(f.lines().size(), 1);
        f.clock.advance(15000);
        QCOMPARE(f.lines().size(), 2);
        QCOMPARE(f.terminator->asked, (QStringList{QStringLiteral("UDPRelay"), QStringLiteral("UDPRelay")}));
        f.clock.advance(75000 * 3);
        QCOMPARE(f.lines().size(), 5);
        QCOMPARE(f.refreshTimes.size(), 4);
        f.clock.advance(1000);
        QCOMPARE(f.refreshTimes.size(), 5);
    }

    void withoutATitleEveryTickAfterTheDeadlineReconnects() {
        Relay f;
        f.completeBoard();
        f.clock.advance(5000 + 15000 * 4); // five ticks, each past the deadline
        QCOMPARE(f.recorder->sent.count(QStringLiteral("<connect>")), 5);
        QCOMPARE(f.recorder->commands().count(QStringLiteral("W")), 5);
        QVERIFY(f.lines().isEmpty());
        QVERIFY(f.terminator->asked.isEmpty());
        QCOMPARE(f.ack().back, std::optional<LegacyColor>(kRed));
        QVERIFY(f.relay.relayDown());
    }

    void indicatorsGreyOnceASecondAfterTheyLight() {
        Relay f;
        f.ui.setCaption(Element::Repl, QStringLiteral("ReplReplicating"));
        f.ui.setBack(Element::Repl, kGreen);
        f.relay.startIndicatorReset();
        f.clock.advance(600);
        f.ui.setBack(Element::AckLbl, kRed);
        f.relay.startIndicatorReset();
        f.clock.advance(999); // the second switch-on counts from its own moment
        QCOMPARE(f.ack().back, std::optional<LegacyColor>(kRed));
        f.clock.advance(1);
        QCOMPARE(f.ack().back, std::optional<LegacyColor>(kGrey));
        QCOMPARE(f.ui.element(Element::Repl).back, std::optional<LegacyColor>(kGrey));
        QCOMPARE(f.ui.element(Element::Repl).caption, QStringLiteral("Replic"));
        QVERIFY(!f.relay.indicatorResetPending());
        // Off until the next switch-on: a colour set meanwhile stays.
        f.ui.setBack(Element::AckLbl, kGreen);
        f.clock.advance(5000);
        QCOMPARE(f.ack().back, std::optional<LegacyColor>(kGreen));
    }

    // The whole monitor: what it wires to completion.
    void theMonitorActsOnCompletion() {
        MonitorConfig config;
        config.groupColorScheme = 1;
        TestMonitor t(config);
        Monitor& m = t.monitor;
        m.board().placeCell(1, 8, 1);
        m.board().paintChannel(101, 1, 1, 0);
        m.board().setMark(101, QStringLiteral("X"));
        t.services.clock.advance(5000);
        QVERIFY(!m.relay().boardReady()); // the earliest completion is the second tick
        t.services.clock.advance(5000);
        QVERIFY(m.relay().boardReady());
        // The marks are cleared and the configured group colour mode applied.
        QVERIFY(!m.board().cell(101)->isMarked());
        QVERIFY(m.ui().isChecked(MenuItem::GroupColors1));
    }
};

QTEST_GUILESS_MAIN(RelayWatchdogTest)
#include "test_watchdog_relay.moc"
