// Views under a burst of messages: the alarm list still follows its newest line (or stays where the
// operator scrolled to) when hundreds of lines arrive between two turns of the event loop, and the
// system clock's local time, which every alarm line is stamped with, stays the local time.

#include "alarms/AlarmList.h"
#include "alarms/AlarmListView.h"
#include "platform/Clock.h"
#include "support/TestMonitor.h"

#include <QScrollBar>
#include <QTest>
#include <ctime>

using namespace corvane;

class TestViewBursts : public QObject {
    Q_OBJECT

private:
    static bool showsRow(const AlarmListView& view, int row) {
        const QRect r = view.visualRect(view.model()->index(row, 0));
        return r.isValid() && view.viewport()->rect().intersects(r);
    }

private slots:
    void alarmListFollowsABurst() {
        test::TestMonitor t;
        AlarmList& list = *t.monitor.alarms;
        AlarmListView view(list);
        view.resize(300, 120);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        // Far more lines than the list keeps and than the view shows, all before the view gets a turn.
        for (int i = 0; i < 600; ++i)
            list.addAlarmLine(QStringLiteral("line %1").arg(i));
        QCOMPARE(list.count(), 201);
        QTRY_VERIFY(showsRow(view, list.count() - 1));
        QCOMPARE(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());

        // A second burst while the first scroll is still to come is followed as well.
        list.addAlarmLine(QStringLiteral("a"));
        list.addAlarmLine(QStringLiteral("b"));
        QTRY_VERIFY(showsRow(view, list.count() - 1));
        QCOMPARE(list.line(list.count() - 1), QStringLiteral("b"));
    }

    void alarmListStaysWhereTheOperatorLooks() {
        test::TestMonitor t;
        AlarmList& list = *t.monitor.alarms;
        AlarmListView view(list);
        view.resize(300, 120);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        for (int i = 0; i < 100; ++i)
            list.addAlarmLine(QStringLiteral("early %1").arg(i));
        QTRY_VERIFY(showsRow(view, 99));
        view.scrollToTop();
        QTRY_COMPARE(view.verticalScrollBar()->value(), 0);
        for (int i = 0; i < 50; ++i)
            list.addAlarmLine(QStringLiteral("late %1").arg(i));
        // Give a pending scroll every chance to happen: none may.
        QTest::qWait(50);
        QCOMPARE(view.verticalScrollBar()->value(), 0);
        QVERIFY(showsRow(view, 0));
        QVERIFY(!showsRow(view, list.count() - 1));
    }

    void systemClockKeepsLocalTime() {
        // A zone away from UTC, given as a rule so that no zone files are needed.
        qputenv("TZ", "EST5EDT,M3.2.0,M11.1.0");
        tzset();
        QVERIFY(QDateTime::currentDateTime().offsetFromUtc() != 0);
        SystemClock clock;
        for (int i = 0; i < 3; ++i) {
            const QDateTime before = QDateTime::currentDateTime();
            const QDateTime now = clock.now();
            const QDateTime after = QDateTime::currentDateTime();
            // The same instant as the system's local time, read as the same wall-clock time.
            QVERIFY(before <= now && now <= after);
            QCOMPARE(now.offsetFromUtc(), after.offsetFromUtc());
            QVERIFY(qAbs(now.time().msecsTo(after.time())) < 1000 || now.date() != after.date());
            QCOMPARE(
                now.toMSecsSinceEpoch() / 60000 * 60000,
                QDateTime(now.date(), QTime(now.time().hour(), now.time().minute())).toMSecsSinceEpoch());
            QTest::qWait(400);
        }
    }
};

QTEST_MAIN(TestViewBursts)
#include "test_view_bursts.moc"
