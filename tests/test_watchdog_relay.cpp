// Board completion, the relay watchdog and the indicator reset, driven through the monitor's real
// handlers and menus with a manual clock, a recording link and a scripted relay terminator.

#include "alarms/AlarmList.h"
#include "board/BoardModel.h"
#include "board/GroupTables.h"
#include "link/EngineLink.h"
#include "support/RecordingLink.h"
#include "support/TestMonitor.h"
#include "watchdogs/HeartbeatWatchdog.h"
#include "watchdogs/RelayWatchdog.h"

#include <QSignalSpy>
#include <QtTest>

using namespace corvane;
using corvane::test::RecordingLink;
using corvane::test::TestMonitor;

namespace {

class ScriptedTerminator final : public RelayTerminator {
public:
    RelayTermination terminateWindowOwner(const QString& title) override {
        asked << title;
        return outcome;
    }
    RelayTermination outcome = RelayTermination::Terminated;
    QStringList asked;
};

struct Fixture {
    explicit Fixture(const QString& relayTitle = {}) : t(config(relayTitle)) {
        auto l = std::make_unique<RecordingLink>();
        link = l.get();
        t.monitor.link().reset(std::move(l));
        auto term = std::make_unique<ScriptedTerminator>();
        terminator = term.get();
        t.monitor.relay().setTerminator(std::move(term));
        QObject::connect(&t.monitor.relay(), &RelayWatchdog::refreshWanted,
                         [this] { refreshTimes << t.services.clock.tickMs(); });
        // Heartbeats are not the subject here; keep that watchdog quiet.
        t.monitor.heartbeat().stop();
        t.monitor.board().placeCell(1, 8, 1); // the template, as the load step places it
    }
    static MonitorConfig config(const QString& relayTitle) {
        MonitorConfig c;
        c.relayWindowTitle = relayTitle;
        c.present.relayWindowTitle = !relayTitle.isEmpty();
        return c;
    }
    void advance(qint64 ms) { t.services.clock.advance(ms); }
    void message(const QString& m) { t.monitor.dispatcher().dispatch(m); }
    // A channel report: "t" id, group, state, peer.
    void report(int id, int group, int state, int peer = 0) {
        message(QStringLiteral("t%1,%2,%3,%4").arg(id).arg(group).arg(state).arg(peer));
    }
    // Completes the board with two spans of cells reported before the second Timer2 tick.
    void completeBoard() {
        report(101, 1, 1);
        report(102, 2, 9);
        report(201, 1, 1);
        advance(10000);
        QVERIFY(t.monitor.relay().boardReady());
        link->sent.clear();
    }
    QStringList lines() const { return t.monitor.alarms().lines(); }
    const ElementState& ack() const { return t.monitor.ui().element(Element::AckLbl); }

    TestMonitor t;
    RecordingLink* link = nullptr;
    ScriptedTerminator* terminator = nullptr;
    QList<qint64> refreshTimes;
};

} // namespace

class RelayWatchdogTest : public QObject {
    Q_OBJECT
private slots:
    void theBoardCompletesAfterAQuietTick() {
        Fixture f;
        QSignalSpy raised(&f.t.monitor.ui(), &MainWindowModel::raiseRequested);
        f.report(101, 1, 1);
        f.advance(5000); // first tick: cells came
        f.report(102, 2, 9);
        f.report(305, 2, 9, 101);
        f.advance(5000); // still growing
        f.report(306, 2, 1);
        f.advance(4999);
        QVERIFY(!f.t.monitor.relay().boardReady());
        QVERIFY(f.link->commands().isEmpty());
        f.t.monitor.board().setMark(102, QStringLiteral("X"));
        f.t.monitor.groups().setNameR(2, QStringLiteral("Trunks"));
        f.t.monitor.groups().setNameO(1, QStringLiteral("Lines"));
        f.advance(5001); // a whole tick without a new cell
        QVERIFY(f.t.monitor.relay().boardReady());
        QVERIFY(f.t.monitor.relay().startupDone());
        QCOMPARE(f.link->commands(), (QStringList{QStringLiteral("W"), QStringLiteral("SSSSS")}));
        QCOMPARE(raised.count(), 1);
        // The window reaches 3000 twips below the lowest cell.
        const ChannelCell* lowest = f.t.monitor.board().cell(306);
        QVERIFY(lowest);
        QCOMPARE(f.t.monitor.ui().clientSize().height(), lowest->back.bottom() + 1 + 3000);
        // The span labels were filled and the configured group colour mode applied.
        QCOMPARE(f.t.monitor.board().innerLabel(1).caption, QStringLiteral("Trunks- 1"));
        QCOMPARE(f.t.monitor.board().outerLabel(1).caption, QStringLiteral(" 1-Lines"));
        QVERIFY(f.t.monitor.ui().isChecked(MenuItem::GroupColors3));
        QVERIFY(!f.t.monitor.board().cell(102)->isMarked());
        QCOMPARE(f.t.monitor.relay().savedIndex(), 306);
    }

    void theEarliestCompletionIsTheSecondTick() {
        Fixture f;
        f.advance(5000);
        QVERIFY(!f.t.monitor.relay().boardReady());
        f.advance(5000);
        QVERIFY(f.t.monitor.relay().boardReady());
        QCOMPARE(f.link->commands(), (QStringList{QStringLiteral("W"), QStringLiteral("SSSSS")}));
    }

    void answeredPingsLogNothing() {
        Fixture f(QStringLiteral("UDPRelay"));
        f.completeBoard();
        for (int i = 0; i < 40; ++i) {
            f.message(QStringLiteral("+W"));
            QCOMPARE(f.ack().caption, QStringLiteral("W"));
            QCOMPARE(f.ack().back, std::optional<LegacyColor>(kGreen));
            f.advance(1000); // the indicator greys after a second
            QCOMPARE(f.ack().back, std::optional<LegacyColor>(kGrey));
            f.advance(14000);
        }
        QVERIFY(f.lines().isEmpty());
        QVERIFY(f.terminator->asked.isEmpty());
        QVERIFY(!f.link->sent.contains(QStringLiteral("<close>")));
        QVERIFY(!f.t.monitor.relay().relayDown());
        QCOMPARE(f.t.monitor.relay().period(), 15000);
        QCOMPARE(f.link->commands().count(QStringLiteral("W")), 40);
    }

    void theDeadlineIsFiftySecondsAfterTheAnsweredPing() {
        Fixture f(QStringLiteral("UDPRelay"));
        f.completeBoard();
        f.message(QStringLiteral("+W"));
        f.advance(5000); // first watchdog tick: fresh ping and deadline
        const QDateTime pinged = f.t.services.clock.now();
        QCOMPARE(f.t.monitor.relay().deadline(), pinged.addSecs(50));
        f.advance(45000); // three re-pings, each before the deadline
        QCOMPARE(f.link->commands().count(QStringLiteral("W")), 4);
        QVERIFY(f.lines().isEmpty());
        f.advance(15000); // 60 s after the ping: timed out
        QCOMPARE(f.terminator->asked, QStringList{QStringLiteral("UDPRelay")});
        QVERIFY(f.t.monitor.relay().relayDown());
        QCOMPARE(f.ack().caption, QStringLiteral("W"));
        QCOMPARE(f.ack().back, std::optional<LegacyColor>(kRed));
    }

    void aSilentRelayIsTerminatedAtMostOncePerMinute() {
        Fixture f(QStringLiteral("UDPRelay"));
        f.t.monitor.ui().setMenuChecked(MenuItem::AllowSounds, false);
        f.completeBoard();
        f.advance(5000); // the first ping was never answered: a time-out at once
        const qint64 timedOutAt = f.t.services.clock.tickMs();
        QCOMPARE(f.lines().size(), 1);
        QVERIFY(f.lines().first().endsWith(QStringLiteral("---UDPRelay terminated")));
        QCOMPARE(f.t.monitor.ui().element(Element::LastAlarm).caption, f.lines().first());
        // Reconnected, then pinged again.
        QCOMPARE(f.link->sent.mid(0, 4), (QStringList{QStringLiteral("<close>"), QStringLiteral("<connect>"),
                                                      QStringLiteral("$TESTBOX"), QStringLiteral("W")}));
        // The beep does not ask the sounds menu.
        QCOMPARE(f.t.services.tones.tones, (QList<QPair<int, int>>{{620, 250}}));
        // Refresh Info follows a second later, without holding anything up meanwhile.
        QVERIFY(f.refreshTimes.isEmpty());
        f.advance(999);
        QVERIFY(f.refreshTimes.isEmpty());
        f.advance(1);
        QCOMPARE(f.refreshTimes, QList<qint64>{timedOutAt + 1000});

        // Ticks every 15 s; the grace lasts 60 s, so the next time-out is the fifth tick.
        f.advance(59000);
        QCOMPARE(f.lines().size(), 1);
        f.advance(15000);
        QCOMPARE(f.lines().size(), 2);
        QCOMPARE(f.terminator->asked.size(), 2);
        f.advance(75000 * 3);
        QCOMPARE(f.lines().size(), 5);
        QCOMPARE(f.refreshTimes.size(), 4);
        f.advance(1000);
        QCOMPARE(f.refreshTimes.size(), 5);
    }

    void failedTerminationsAreLoggedAsSuch() {
        Fixture refused(QStringLiteral("UDPRelay"));
        refused.terminator->outcome = RelayTermination::Refused;
        refused.completeBoard();
        refused.advance(5000);
        QVERIFY(refused.lines().value(0).endsWith(QStringLiteral("---Could not terminate UDPRelay")));
        QCOMPARE(refused.t.services.tones.tones, (QList<QPair<int, int>>{{620, 250}}));

        Fixture missing(QStringLiteral("UDPRelay"));
        missing.terminator->outcome = RelayTermination::NotFound;
        missing.completeBoard();
        missing.advance(5000);
        QVERIFY(missing.lines().value(0).endsWith(QStringLiteral("---Could not Find UDPRelay to terminate")));
        QVERIFY(missing.t.services.tones.tones.isEmpty());
        // Each later time-out tries again.
        missing.advance(75000);
        QCOMPARE(missing.lines().size(), 2);
    }

    void withoutATitleEveryTickAfterTheDeadlineReconnects() {
        Fixture f;
        f.completeBoard();
        f.advance(5000);
        f.advance(15000 * 4);
        QCOMPARE(f.link->sent.count(QStringLiteral("<close>")), 5);
        QCOMPARE(f.link->commands().count(QStringLiteral("W")), 5);
        QVERIFY(f.lines().isEmpty());
        QVERIFY(f.terminator->asked.isEmpty());
        QVERIFY(f.refreshTimes.isEmpty());
        QCOMPARE(f.ack().back, std::optional<LegacyColor>(kRed));
        QVERIFY(f.t.monitor.relay().relayDown());
    }

    void aLateAnswerEndsTheOutage() {
        Fixture f(QStringLiteral("UDPRelay"));
        f.completeBoard();
        f.advance(5000);
        QVERIFY(f.t.monitor.relay().relayDown());
        f.advance(7000);
        f.message(QStringLiteral("+W"));
        QVERIFY(!f.t.monitor.relay().relayDown());
        f.link->sent.clear();
        f.advance(8000); // the next tick: a fresh ping with a fresh deadline (the refresh goes on meanwhile)
        QCOMPARE(f.link->sent.count(QStringLiteral("W")), 1);
        QCOMPARE(f.t.monitor.relay().deadline(), f.t.services.clock.now().addSecs(50));
        QCOMPARE(f.lines().size(), 1);
    }

    void theWatchdogPeriodFollowsTheHeartbeatTick() {
        Fixture f;
        f.t.monitor.heartbeat().setInterval(200);
        f.completeBoard();
        f.message(QStringLiteral("+W"));
        f.advance(5000);
        QCOMPARE(f.t.monitor.relay().period(), 2000);
        // 200 / 30 seconds.
        QCOMPARE(f.t.services.clock.now().msecsTo(f.t.monitor.relay().deadline()), 6666);
    }

    void indicatorsGreyOnceASecondAfterTheyLight() {
        Fixture f;
        f.message(QStringLiteral("+AReplicating"));
        QCOMPARE(f.t.monitor.ui().element(Element::Repl).caption, QStringLiteral("ReplReplicating"));
        QCOMPARE(f.t.monitor.ui().element(Element::Repl).back, std::optional<LegacyColor>(kGreen));
        f.advance(600);
        f.message(QStringLiteral("-X"));
        QCOMPARE(f.ack().back, std::optional<LegacyColor>(kRed));
        f.advance(999); // the second switch-on counts from its own moment
        QCOMPARE(f.ack().back, std::optional<LegacyColor>(kRed));
        f.advance(1);
        QCOMPARE(f.ack().back, std::optional<LegacyColor>(kGrey));
        QCOMPARE(f.t.monitor.ui().element(Element::Repl).back, std::optional<LegacyColor>(kGrey));
        QCOMPARE(f.t.monitor.ui().element(Element::Repl).caption, QStringLiteral("Replic"));
        QVERIFY(!f.t.monitor.relay().indicatorResetPending());
        // Off until the next switch-on: a colour set meanwhile stays.
        f.t.monitor.ui().setBack(Element::AckLbl, kGreen);
        f.advance(5000);
        QCOMPARE(f.ack().back, std::optional<LegacyColor>(kGreen));
    }
};

QTEST_GUILESS_MAIN(RelayWatchdogTest)
#include "test_watchdog_relay.moc"
