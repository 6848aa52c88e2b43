// The heartbeat and relay watchdogs, board completion and the indicator reset, on a manual clock (minutes
// of silence run in microseconds), a recording link and a scripted relay terminator. Against the
// simulated engine they run in the hostile link and X11 relay tests; paging, with the pager's.

#include "board/BoardModel.h"
#include "board/GroupTables.h"
#include "support/PagerParts.h"
#include "support/RecordingLink.h"
#include "support/TestMonitor.h"
#include "watchdogs/HeartbeatWatchdog.h"
#include "watchdogs/RelayWatchdog.h"

#include <QSignalSpy>
#include <QtTest>

#include <utility>

using namespace corvane;
using namespace corvane::test;

namespace {

// Both watchdogs with the alarm parts they report to and a board; each test stops the other's timer.
struct WatchdogParts : PagerParts {
    explicit WatchdogParts(MonitorConfig c = {}) : PagerParts(std::move(c)) {}
    QStringList lines() const { return alarms.lines(); }
    // The alarm lines without their time stamps.
    QStringList texts() const {
        QStringList out;
        for (const QString& line : alarms.lines())
            out << line.section(QStringLiteral("---"), 1);
        return out;
    }

    GroupTables groups;
    BoardModel board{ui, config, groups, clock, link, [] { return false; }};
    // ReConnect as the link sees it: a connect, whose end the ping waits for.
    RelayWatchdog relay{ui,
                        config,
                        clock,
                        tones,
                        link,
                        board,
                        alarms,
                        [this](auto then) { link.connectEngine(std::move(then)); },
                        [this] { return heartbeat.interval(); }};
    HeartbeatWatchdog heartbeat{ui, config, clock, dialogs, sounds, alarms, pager, relay};
};

constexpr int kTickMs = 1500;

// The heartbeat watchdog, the pager off; the relay watchdog, stopped, is only read for its state.
struct Heartbeat : WatchdogParts {
    explicit Heartbeat(bool sirenOn = true, std::int16_t timeout = 150)
        : WatchdogParts(makeConfig(sirenOn, timeout)) {
        relay.stop();
        ui.setMenuChecked(MenuItem::AllowSounds, true);
    }
    static MonitorConfig makeConfig(bool sirenOn, std::int16_t timeout) {
        MonitorConfig c;
        c.watchdogProgress = sirenOn;
        c.watchdogTimeout = timeout;
        return c;
    }
    void ticks(int n) { clock.advance(static_cast<qint64>(n) * kTickMs); }
    const ElementState& bar() const { return ui.element(Element::WD_Progress); }
};

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

class WatchdogsTest : public QObject {
    Q_OBJECT
private slots:
    // The period from the configured timeout, or from the operator's answer to the dialog: tenths of a
    // second kept, halves of a millisecond to the even neighbour, 16 bits at most.
    void periodFollowsTheTimeout_data() {
        QTest::addColumn<int>("timeout");
        QTest::addColumn<QString>("answer"); // none when empty
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("shown"); // by the dialog afterwards
        QTest::newRow("default") << 150 << QString() << 1500 << "150";
        QTest::newRow("largest") << 3276 << QString() << 32760 << "3276";
        QTest::newRow("tenfold past 16 bits keeps the default") << 3277 << QString() << 1500 << "150";
        QTest::newRow("negative keeps the default") << -1 << QString() << 1500 << "150";
        QTest::newRow("short") << 20 << QString() << 200 << "20";
        QTest::newRow("off") << 0 << QString() << 0 << "0";
        QTest::newRow("answered in whole seconds") << 150 << "30" << 300 << "30";
        QTest::newRow("answered with no number") << 150 << "soon" << 1500 << "150";
        QTest::newRow("answered negative") << 150 << "-5" << 1500 << "150";
        QTest::newRow("answered the largest") << 150 << "6553.5" << 65535 << "6553.5";
        QTest::newRow("answered too long") << 150 << "6553.6" << 1500 << "150";
        QTest::newRow("answered half down to even") << 150 << "0.25" << 2 << "0.2";
        QTest::newRow("answered half up to even, blanks around") << 150 << " 0.75 " << 8 << "0.8";
    }
    void periodFollowsTheTimeout() {
        QFETCH(int, timeout);
        QFETCH(QString, answer);
        QFETCH(int, interval);
        QFETCH(QString, shown);
        Heartbeat f(false, static_cast<std::int16_t>(timeout));
        const QString dialog = QStringLiteral("Watchdog Timeout|Enter Timeout in seconds|");
        if (!answer.isEmpty()) {
            f.dialogs.inputAnswers.enqueue(answer);
            f.ui.trigger(MenuItem::WDTO);
            QCOMPARE(f.dialogs.inputs, QStringList{dialog + QStringLiteral("150")});
        }
        f.ui.trigger(MenuItem::WDTO); // cancelled: the period stays
        QCOMPARE(f.dialogs.inputs.last(), dialog + shown);
        QCOMPARE(f.heartbeat.interval(), interval);
        f.clock.advance(10 * 60 * 1000);
        QCOMPARE(f.heartbeat.counter(), interval ? 10 * 60 * 1000 / interval : 0);
        QCOMPARE(f.lines().size(), f.heartbeat.counter() > 100 ? 1 : 0); // one outage, if any
    }

    void tick101RaisesTheAlarmOnce() {
        Heartbeat f;
        QSignalSpy raised(&f.ui, &MainWindowModel::raiseRequested);
        f.ticks(100);
        QCOMPARE(f.bar().twips.width(), 1095);
        QVERIFY(f.lines().isEmpty());
        QVERIFY(f.tones.tones.isEmpty());
        QCOMPARE(raised.count(), 0);

        f.ticks(1);
        QCOMPARE(f.bar().back, std::optional<LegacyColor>(kRed));
        QCOMPARE(f.lines(), QStringList{QStringLiteral("03/07/26 08:02 AM ---CorvaneBox not responding")});
        QCOMPARE(f.ui.element(Element::LastAlarm).caption, f.lines().first());
        QCOMPARE(raised.count(), 1);
        QCOMPARE(f.tones.tones, (QList<QPair<int, int>>{{909, 400}}));

        f.ticks(1);
        QCOMPARE(f.bar().back, std::optional<LegacyColor>(kGrey));
        QCOMPARE(f.tones.tones.last(), (QPair<int, int>(918, 200)));
        QCOMPARE(f.bar().twips.width(), 1095);

        f.ticks(277 - 102);
        QCOMPARE(f.tones.tones.last(), (QPair<int, int>(2493, 400)));
        f.ticks(1);
        QCOMPARE(f.tones.tones.last(), (QPair<int, int>(2500, 200)));
        f.ticks(500);
        QCOMPARE(f.tones.tones.last().first, 2500);
        QCOMPARE(f.tones.tones.size(), 778 - 100);
        // One line for the whole outage; the label keeps showing the time going on; one raise.
        QCOMPARE(f.lines().size(), 1);
        QCOMPARE(raised.count(), 1);
        const QString& label = f.ui.element(Element::LastAlarm).caption;
        QVERIFY(label.endsWith(QStringLiteral("---CorvaneBox not responding")));
        QVERIFY(label != f.lines().first());
    }

    void soundsMenuAndSirenSettingGateTheSiren_data() {
        QTest::addColumn<bool>("sirenOn");
        QTest::addColumn<int>("raises");
        QTest::newRow("siren setting off: silent, not raised") << false << 0;
        QTest::newRow("sounds menu off: silent, still raised") << true << 1;
    }
    void soundsMenuAndSirenSettingGateTheSiren() {
        QFETCH(bool, sirenOn);
        QFETCH(int, raises);
        Heartbeat f(sirenOn);
        f.ui.setMenuChecked(MenuItem::AllowSounds, !sirenOn);
        QSignalSpy raised(&f.ui, &MainWindowModel::raiseRequested);
        f.ticks(120);
        QVERIFY(f.tones.tones.isEmpty());
        QCOMPARE(raised.count(), raises);
        QCOMPARE(f.lines().size(), 1);
        QCOMPARE(f.bar().back, std::optional<LegacyColor>(kGrey)); // tick 120 is even
    }

    void relayWordingFollowsTheRelayFlag() {
        Heartbeat f;
        f.ticks(105);
        // The board completes and its first ping goes unanswered.
        f.relay.completeBoard();
        f.relay.tick();
        f.ticks(1); // 106, even: nothing new
        QCOMPARE(f.lines().size(), 1);
        f.ticks(1);
        QCOMPARE(f.texts(), (QStringList{"CorvaneBox not responding", "UDP relay not responding"}));
        f.ticks(20);
        QCOMPARE(f.lines().size(), 2);
        f.relay.pingAnswered();
        f.ticks(2);
        QCOMPARE(f.texts(), (QStringList{"CorvaneBox not responding", "UDP relay not responding",
                                         "CorvaneBox not responding"}));
    }

    void recoveryIsLoggedOnceAtTheFirstTick() {
        Heartbeat f;
        f.ticks(130);
        f.heartbeat.heartbeatArrived();
        QCOMPARE(f.lines().size(), 1);
        f.ticks(1);
        QCOMPARE(f.texts(), (QStringList{"CorvaneBox not responding", "CorvaneBox is Back"}));
        QCOMPARE(f.ui.element(Element::LastAlarm).caption, f.lines().last());
        QCOMPARE(f.bar().twips.width(), 11); // counting again from 1
        f.ticks(50);
        f.heartbeat.heartbeatArrived();
        f.ticks(50);
        QCOMPARE(f.lines().size(), 2);
        // A second outage logs its line again.
        f.ticks(51);
        QCOMPARE(f.lines().size(), 3);
        QVERIFY(f.lines().last().endsWith(QStringLiteral("---CorvaneBox not responding")));
    }

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
        QCOMPARE(f.texts().first(), text);
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

QTEST_GUILESS_MAIN(WatchdogsTest)
#include "test_watchdogs.moc"
