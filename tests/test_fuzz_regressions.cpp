// Inputs that the fuzz targets in fuzz/ once found harmful, fed through the same paths as there, and the
// test clock's idle skipping that lets those targets play hours of log in a few steps.

#include "support/ManualClock.h"

#include <QTest>

using namespace corvane;

class TestFuzzRegressions : public QObject {
    Q_OBJECT
private slots:
    void idleClockSkipsOnlyTheMillisecondTicks() {
        test::ManualClock clock;
        bool idle = true;
        clock.setIdle([&idle] { return idle; });
        QList<qint64> fast;
        QList<qint64> slow;
        auto tick = clock.createTimer();
        tick->setInterval(1);
        tick->setCallback([&] { fast << clock.tickMs(); });
        tick->setEnabled(true);
        auto watchdog = clock.createTimer();
        watchdog->setInterval(1500);
        watchdog->setCallback([&] {
            slow << clock.tickMs();
            if (slow.size() == 2)
                idle = false; // a message arrives: processing must run every millisecond from here
        });
        watchdog->setEnabled(true);

        clock.advance(3000);
        QCOMPARE(slow, (QList<qint64>{1500, 3000}));
        // While idle the tick ran at most once per slower event, never a thousand times a second.
        QVERIFY(fast.size() <= 2);
        fast.clear();
        clock.advance(5);
        QCOMPARE(fast, (QList<qint64>{3001, 3002, 3003, 3004, 3005}));
        QCOMPARE(clock.tickMs(), 3005);

        // Without the idle question every tick runs, as before.
        test::ManualClock plain;
        int count = 0;
        auto t = plain.createTimer();
        t->setInterval(1);
        t->setCallback([&count] { ++count; });
        t->setEnabled(true);
        plain.advance(250);
        QCOMPARE(count, 250);
    }
};

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "test_fuzz_regressions.moc"
