// Operator actions that wait or pace: order of steps, the bound on waits, and an action started in the
// middle of another running to its end first.

#include "operator/ActionRunner.h"
#include "support/ManualClock.h"

#include <QStringList>
#include <QTest>

using corvane::ActionRunner;
using corvane::test::ManualClock;

class TestCommandsRunner : public QObject {
    Q_OBJECT
private slots:
    void waitEndsWhenConditionHolds();
    void waitGivesUpAfterItsLooks();
    void conditionAlreadyTrueDoesNotWait();
    void repeatPacesItsSteps();
    void asyncStepMayEndAtOnceOrLater();
    void newerActionRunsToItsEndFirst();
    void suspendedWaitKeepsItsRemainingLooks();
};

void TestCommandsRunner::waitEndsWhenConditionHolds() {
    ManualClock clock;
    ActionRunner runner(clock);
    QStringList log;
    bool ack = false;
    int looks = 0;
    ActionRunner::Steps steps;
    steps.then([&] { log << "sent"; })
        .waitUntil(
            [&] {
                ++looks;
                return ack;
            },
            100, 51)
        .then([&] { log << "after"; });
    runner.run(std::move(steps));
    QCOMPARE(log, QStringList{"sent"});
    clock.advance(250);
    QCOMPARE(looks, 3); // at 0, 100 and 200 ms
    ack = true;
    clock.advance(49);
    QCOMPARE(log, QStringList{"sent"}); // only looked at again on the next look
    clock.advance(1);
    QCOMPARE(log, (QStringList{"sent", "after"}));
    QCOMPARE(runner.activeCount(), 0);
}

void TestCommandsRunner::waitGivesUpAfterItsLooks() {
    ManualClock clock;
    ActionRunner runner(clock);
    int looks = 0;
    bool done = false;
    ActionRunner::Steps steps;
    steps
        .waitUntil(
            [&] {
                ++looks;
                return false;
            },
            100, 51)
        .then([&] { done = true; });
    runner.run(std::move(steps));
    // The 51st look at 5000 ms has its pause as well: the wait ends at 5100 ms.
    clock.advance(5099);
    QVERIFY(!done);
    QCOMPARE(looks, 51);
    clock.advance(1);
    QVERIFY(done);
    QCOMPARE(looks, 51);
    clock.advance(10000);
    QCOMPARE(looks, 51);
}

void TestCommandsRunner::conditionAlreadyTrueDoesNotWait() {
    ManualClock clock;
    ActionRunner runner(clock);
    QStringList log;
    ActionRunner::Steps steps;
    steps.waitUntil([] { return true; }, 100, 51)
        .then([&] { log << "a"; })
        .waitUntil([] { return true; }, 100, 51)
        .then([&] { log << "b"; });
    runner.run(std::move(steps));
    QCOMPARE(log, (QStringList{"a", "b"}));
    QCOMPARE(runner.activeCount(), 0);
}

void TestCommandsRunner::repeatPacesItsSteps() {
    ManualClock clock;
    ActionRunner runner(clock);
    QList<qint64> at;
    bool finished = false;
    ActionRunner::Steps steps;
    steps
        .repeat(
            [&] {
                if (at.size() == 3)
                    return false;
                at << clock.tickMs();
                return true;
            },
            10)
        .then([&] { finished = true; });
    runner.run(std::move(steps));
    QCOMPARE(at, QList<qint64>{0});
    clock.advance(100);
    QCOMPARE(at, (QList<qint64>{0, 10, 20}));
    QVERIFY(finished);
}

void TestCommandsRunner::asyncStepMayEndAtOnceOrLater() {
    ManualClock clock;
    ActionRunner runner(clock);
    QStringList log;
    std::function<void()> pending;
    ActionRunner::Steps steps;
    steps
        .async([&](std::function<void()> done) {
            log << "now";
            done();
        })
        .async([&](std::function<void()> done) {
            log << "later";
            pending = std::move(done);
        })
        .then([&] { log << "end"; });
    runner.run(std::move(steps));
    QCOMPARE(log, (QStringList{"now", "later"}));
    pending();
    pending(); // a second report of the same end changes nothing
    QCOMPARE(log, (QStringList{"now", "later", "end"}));
}

void TestCommandsRunner::newerActionRunsToItsEndFirst() {
    ManualClock clock;
    ActionRunner runner(clock);
    QStringList log;
    bool ackA = false;
    bool ackB = false;
    ActionRunner::Steps a;
    a.then([&] { log << "A1"; }).waitUntil([&] { return ackA; }, 100, 51).then([&] { log << "A2"; });
    runner.run(std::move(a));
    clock.advance(150);
    ActionRunner::Steps b;
    b.then([&] { log << "B1"; }).waitUntil([&] { return ackB; }, 100, 51).then([&] { log << "B2"; });
    runner.run(std::move(b));
    QCOMPARE(runner.activeCount(), 2);
    // A's acknowledgement comes first, but A only looks again once B has ended.
    ackA = true;
    clock.advance(1000);
    QCOMPARE(log, (QStringList{"A1", "B1"}));
    ackB = true;
    clock.advance(100);
    QCOMPARE(log, (QStringList{"A1", "B1", "B2"}));
    clock.advance(100);
    QCOMPARE(log, (QStringList{"A1", "B1", "B2", "A2"}));
    QCOMPARE(runner.activeCount(), 0);
}

void TestCommandsRunner::suspendedWaitKeepsItsRemainingLooks() {
    ManualClock clock;
    ActionRunner runner(clock);
    int looksA = 0;
    bool doneA = false;
    ActionRunner::Steps a;
    a.waitUntil(
         [&] {
             ++looksA;
             return false;
         },
         100, 51)
        .then([&] { doneA = true; });
    runner.run(std::move(a));
    clock.advance(950); // looks at 0..900: 10 looks
    QCOMPARE(looksA, 10);
    ActionRunner::Steps b;
    b.waitUntil([] { return false; }, 100, 51);
    runner.run(std::move(b));
    clock.advance(5100); // B gives up 5100 ms after it started: its last look has its pause too
    QCOMPARE(looksA, 10);
    QVERIFY(!doneA);
    clock.advance(100000);
    QVERIFY(doneA);
    QCOMPARE(looksA, 51);
}

QTEST_GUILESS_MAIN(TestCommandsRunner)
#include "test_commands_runner.moc"
