// Views under a burst of messages: the window hears once per tick of message processing about each
// element the tick changed, yet shows every final value; the alarm list still follows its newest line
// (or stays where the operator scrolled to) when hundreds of lines arrive between two turns of the event
// loop; the board shows the engine's changes once a frame and the operator's at once; and the system
// clock's local time, which every alarm line is stamped with, stays the local time.

#include "alarms/AlarmList.h"
#include "alarms/AlarmListView.h"
#include "board/BoardModel.h"
#include "board/BoardView.h"
#include "link/MessageQueue.h"
#include "messages/MessageIntake.h"
#include "operator/MainWindow.h"
#include "platform/Clock.h"
#include "support/TestMonitor.h"

#include <QLabel>
#include <QPaintEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <ctime>

using namespace corvane;

namespace {

class PaintRecorder final : public QObject {
public:
    QList<QRect> rects;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            rects << static_cast<QPaintEvent*>(event)->rect();
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

class TestViewBursts : public QObject {
    Q_OBJECT

private:
    static bool showsRow(const AlarmListView& view, int row) {
        const QRect r = view.visualRect(view.model()->index(row, 0));
        return r.isValid() && view.viewport()->rect().intersects(r);
    }

private slots:
    void aTickTellsTheWindowOncePerElement() {
        test::TestMonitor t;
        MonitorMain window(t.monitor.ui);
        QSignalSpy told(&t.monitor.ui, &MainWindowModel::elementChanged);
        for (int i = 0; i < 300; ++i) {
            QVERIFY(
                t.monitor.queue.store(QStringLiteral("T01:02:%1 PM").arg(i % 60, 2, 10, QLatin1Char('0'))));
            QVERIFY(t.monitor.queue.store(QStringLiteral("ATrunk %1 down").arg(i)));
        }
        // The manual clock stands still, so one tick takes the whole ring.
        t.monitor.intake->tick();
        QVERIFY(t.monitor.queue.isEmpty());
        const auto count = [&](Element e) {
            return std::count_if(told.cbegin(), told.cend(), [e](const QList<QVariant>& args) {
                return args.at(0).value<Element>() == e;
            });
        };
        QCOMPARE(count(Element::BoxClock), 1);
        QCOMPARE(count(Element::LastAlarm), 1);
        // The widgets show the last values as soon as the tick is over.
        auto* clock = qobject_cast<QLabel*>(window.elementWidget(Element::BoxClock));
        auto* last = qobject_cast<QLabel*>(window.elementWidget(Element::LastAlarm));
        QVERIFY(clock && last);
        QCOMPARE(clock->text(), QStringLiteral("01:02:59 PM"));
        QVERIFY(last->text().endsWith(QStringLiteral("Trunk 299 down")));
        QCOMPARE(last->text(), t.monitor.ui.element(Element::LastAlarm).caption);

        // Outside a tick every change is told at once, as the widgets' own tests expect.
        told.clear();
        t.monitor.ui.setCaption(Element::BoxClock, QStringLiteral("now"));
        QCOMPARE(told.size(), 1);
        QCOMPARE(clock->text(), QStringLiteral("now"));
    }

    void theEventLoopInsideABatchBringsTheWindowUpToDate() {
        test::TestMonitor t;
        MonitorMain window(t.monitor.ui);
        auto* clock = qobject_cast<QLabel*>(window.elementWidget(Element::BoxClock));
        QVERIFY(clock);
        {
            const MainWindowModel::Batch batch(t.monitor.ui);
            t.monitor.ui.setCaption(Element::BoxClock, QStringLiteral("first"));
            QCOMPARE(t.monitor.ui.element(Element::BoxClock).caption, QStringLiteral("first"));
            QVERIFY(clock->text() != QStringLiteral("first"));
            // As a dialog opened by a handler would: the window is told while the dialog is up.
            QCoreApplication::processEvents();
            QCOMPARE(clock->text(), QStringLiteral("first"));
            t.monitor.ui.setCaption(Element::BoxClock, QStringLiteral("second"));
        }
        QCOMPARE(clock->text(), QStringLiteral("second"));
    }

    void theStreamWaitsForTheFrameAndTheOperatorDoesNot() {
        test::TestMonitor t;
        Monitor& monitor = t.monitor;
        test::ManualClock& clock = t.services.clock;
        for (int id = 101; id <= 110; ++id)
            monitor.dispatcher.dispatch(QStringLiteral("t%1,1,2,0").arg(id));
        BoardView view(*monitor.board);
        view.resize(600, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCoreApplication::processEvents();
        PaintRecorder rec;
        view.canvas()->installEventFilter(&rec);
        const auto painted = [&] {
            QRect all;
            for (const QRect& r : rec.rects)
                all |= r;
            return all;
        };
        const auto cellPx = [&](int id) { return view.canvas()->toPixels(monitor.board->cell(id)->back); };
        const auto stream = [&](const QString& message) {
            QVERIFY(monitor.queue.store(message));
            monitor.intake->tick();
        };

        // Reports in the same frame as the last paint wait for the next frame, and come together.
        stream(QStringLiteral("t102,1,1,0"));
        stream(QStringLiteral("t109,1,1,0"));
        QTest::qWait(30);
        QVERIFY(rec.rects.isEmpty());
        clock.advance(16);
        QTRY_VERIFY(!rec.rects.isEmpty());
        QVERIFY(painted().contains(cellPx(102)));
        QVERIFY(painted().contains(cellPx(109)));

        // The operator's mark is shown at once, and with it what the stream had waiting.
        rec.rects.clear();
        stream(QStringLiteral("t103,1,1,0"));
        monitor.board->setMark(105, QStringLiteral("X"));
        QTRY_VERIFY(!rec.rects.isEmpty());
        QVERIFY(painted().contains(cellPx(105)));
        QVERIFY(painted().contains(cellPx(103)));
        // Nothing is left over for the frame to come.
        rec.rects.clear();
        clock.advance(16);
        QTest::qWait(30);
        QVERIFY(rec.rects.isEmpty());
    }

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
