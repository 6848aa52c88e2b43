// Inputs that the fuzz targets in fuzz/ once found harmful, fed through the same paths as there.

#include "logplay/Logging.h"
#include "messages/MessageIntake.h"
#include "operator/ActionRunner.h"
#include "support/ManualClock.h"
#include "support/RecordingLink.h"
#include "support/TestMonitor.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace corvane;

class TestFuzzRegressions : public QObject {
    Q_OBJECT
private slots:
    // A log going from the largest delay to the smallest once overflowed the gap's arithmetic, and the
    // wrapped gap played the second record at once instead of a second later.
    void logDelayFromLargestToSmallest() {
        QTemporaryDir dir;
        MonitorConfig config;
        config.logFile = dir.filePath(QStringLiteral("Monitor.Log"));
        QVERIFY(QFile::copy(
            QStringLiteral(CORVANE_SOURCE_DIR "/fuzz/regressions/logplay/delay_from_largest_to_smallest.log"),
            config.logFile));
        test::TestMonitor t(config);
        t.monitor.link().reset(std::make_unique<test::RecordingLink>(false));
        t.monitor.ui().trigger(MenuItem::PlayLog);
        QVERIFY(t.monitor.logging().isPlaying());
        t.services.clock.advance(Logging::kFirstPlayMs + 5);
        QCOMPARE(t.monitor.intake().processedCount(), 1);
        t.services.clock.advance(990);
        QCOMPARE(t.monitor.intake().processedCount(), 1);
        t.services.clock.advance(20);
        QCOMPARE(t.monitor.intake().processedCount(), 2);
        QVERIFY(!t.monitor.logging().isPlaying());
    }

    // The refresh sequence dropped while its wait had been resumed after a newer action once stayed
    // in memory for ever (fuzz/regressions/dispatch/refresh_dropped_mid_wait, found as a leak).
    void actionDroppedInResumedWaitIsFreed() {
        test::ManualClock clock;
        auto sentinel = std::make_shared<int>(0);
        {
            ActionRunner runner(clock);
            ActionRunner::Steps older;
            older.waitUntil([sentinel] { return false; }, 100, 50);
            runner.run(std::move(older));
            ActionRunner::Steps newer;
            newer.waitUntil([] { return false; }, 100, 2);
            runner.run(std::move(newer));
            clock.advance(450); // the newer one ends, the older one looks again
            QCOMPARE(runner.activeCount(), 1);
            QVERIFY(sentinel.use_count() > 1);
        }
        QCOMPARE(sentinel.use_count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "test_fuzz_regressions.moc"
