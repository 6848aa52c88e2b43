// Views under a burst of messages: the window hears once per tick of message processing about each
// element the tick changed, yet shows every final value; the alarm list still follows its newest line
// when hundreds of lines arrive between two turns of the event loop, and keeps the operator's place,
// with the count of lines below, when the operator has scrolled up during a burst from the engine; the
// board shows the engine's changes once a frame and the operator's at once; and the system clock's
// local time, which every alarm line is stamped with, stays the local time.

#include "alarms/AlarmList.h"
#include "alarms/AlarmListView.h"
#include "board/BoardView.h"
#include "operator/MainWindow.h"
#include "platform/Clock.h"
#include "support/ChannelBoard.h"
#include "support/LiveMonitor.h"
#include "support/TestMonitor.h"

#include <QApplication>
#include <QLabel>
#include <QPaintEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
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
    // The whole monitor: the clock and the alarms reach the window through their handlers.
    void aTickTellsTheWindowOncePerElement() {
        test::TestMonitor t;
        MonitorMain window(t.monitor.ui());
        QSignalSpy told(&t.monitor.ui(), &MainWindowModel::elementChanged);
        for (int i = 0; i < 300; ++i) {
            QVERIFY(
                t.monitor.queue().store(QStringLiteral("T01:02:%1 PM").arg(i % 60, 2, 10, QLatin1Char('0'))));
            QVERIFY(t.monitor.queue().store(QStringLiteral("ATrunk %1 down").arg(i)));
        }
        // The manual clock stands still, so one tick takes the whole ring.
        t.monitor.intake().tick();
        QVERIFY(t.monitor.queue().isEmpty());
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
        QCOMPARE(last->text(), t.monitor.ui().element(Element::LastAlarm).caption);

        // Outside a tick every change is told at once, as the widgets' own tests expect.
        told.clear();
        t.monitor.ui().setCaption(Element::BoxClock, QStringLiteral("now"));
        QCOMPARE(told.size(), 1);
        QCOMPARE(clock->text(), QStringLiteral("now"));
    }

    void theEventLoopInsideABatchBringsTheWindowUpToDate() {
        MainWindowModel ui;
        MonitorMain window(ui);
        auto* clock = qobject_cast<QLabel*>(window.elementWidget(Element::BoxClock));
        QVERIFY(clock);
        {
            const MainWindowModel::Batch batch(ui);
            ui.setCaption(Element::BoxClock, QStringLiteral("first"));
            QCOMPARE(ui.element(Element::BoxClock).caption, QStringLiteral("first"));
            QVERIFY(clock->text() != QStringLiteral("first"));
            // As a dialog opened by a handler would: the window is told while the dialog is up.
            QCoreApplication::processEvents();
            QCOMPARE(clock->text(), QStringLiteral("first"));
            ui.setCaption(Element::BoxClock, QStringLiteral("second"));
        }
        QCOMPARE(clock->text(), QStringLiteral("second"));
    }

    void theStreamWaitsForTheFrameAndTheOperatorDoesNot() {
        test::ChannelBoard b;
        for (int id = 101; id <= 110; ++id)
            b.dispatcher.dispatch(QStringLiteral("t%1,1,2,0").arg(id));
        BoardView view(b.board);
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
        const auto cellPx = [&](int id) { return view.canvas()->toPixels(b.board.cell(id)->back); };
        const auto stream = [&](const QString& message) {
            QVERIFY(b.queue.store(message));
            b.intake.tick();
        };

        // Reports in the same frame as the last paint wait for the next frame, and come together.
        stream(QStringLiteral("t102,1,1,0"));
        stream(QStringLiteral("t109,1,1,0"));
        QTest::qWait(30);
        QVERIFY(rec.rects.isEmpty());
        b.clock.advance(16);
        QTRY_VERIFY(!rec.rects.isEmpty());
        QVERIFY(painted().contains(cellPx(102)));
        QVERIFY(painted().contains(cellPx(109)));

        // The operator's mark is shown at once, and with it what the stream had waiting.
        rec.rects.clear();
        stream(QStringLiteral("t103,1,1,0"));
        b.board.setMark(105, QStringLiteral("X"));
        QTRY_VERIFY(!rec.rects.isEmpty());
        QVERIFY(painted().contains(cellPx(105)));
        QVERIFY(painted().contains(cellPx(103)));
        // Nothing is left over for the frame to come.
        rec.rects.clear();
        b.clock.advance(16);
        QTest::qWait(30);
        QVERIFY(rec.rects.isEmpty());
    }

    void alarmListFollowsABurst() {
        test::ManualClock clock;
        MainWindowModel ui;
        AlarmList list(ui, clock);
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

    void alarmListKeepsTheOperatorsPlace_data() {
        QTest::addColumn<int>("maxCount");
        QTest::addColumn<int>("notchesUp");  // wheel notches scrolled up before the burst
        QTest::addColumn<bool>("placeKept"); // false: the line read was trimmed before the burst ended
        QTest::newRow("at the bottom: follows") << 5000 << 0 << false;
        QTest::newRow("scrolled up, room for the burst") << 5000 << 50 << true;
        QTest::newRow("scrolled up, older lines trimmed above") << 1200 << 30 << true;
        QTest::newRow("scrolled up, the line read trimmed") << 200 << 30 << false;
    }

    void alarmListKeepsTheOperatorsPlace() {
        QFETCH(int, maxCount);
        QFETCH(int, notchesUp);
        QFETCH(bool, placeKept);
        // The whole monitor, with the burst from the simulated engine.
        test::LiveMonitor live;
        QVERIFY(live.start(false));
        AlarmList& list = live.monitor->alarms();
        live.monitor->ui().setCaption(Element::MaxListCount, QString::number(maxCount));
        AlarmListView view(list);
        view.resize(300, 120);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        for (int i = 0; i < 300; ++i)
            list.addAlarmLine(QStringLiteral("early %1").arg(i));
        QTRY_VERIFY(showsRow(view, list.count() - 1));
        QScrollBar* bar = view.verticalScrollBar();
        for (int i = 0; i < notchesUp; ++i) {
            const QPointF at(20, 20);
            QWheelEvent wheel(at, view.viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(view.viewport(), &wheel);
        }
        QCOMPARE(view.follows(), notchesUp == 0);
        const QString read = view.indexAt(QPoint(1, 1)).data().toString();
        QVERIFY(read.startsWith(QStringLiteral("early ")));

        QVERIFY(live.sim.control(QStringLiteral("blast 1000")));
        QTRY_VERIFY_WITH_TIMEOUT(list.lines().last().endsWith(QStringLiteral("blast 001000")), 20000);
        QTest::qWait(50); // a place still to be restored gets its turn
        if (notchesUp == 0) {
            QCOMPARE(bar->value(), bar->maximum());
            QVERIFY(showsRow(view, list.count() - 1));
            QVERIFY(view.newLinesButton()->isHidden());
            return;
        }
        QVERIFY(!view.follows());
        if (placeKept)
            QTRY_COMPARE(view.indexAt(QPoint(1, 1)).data().toString(), read);
        else
            QCOMPARE(bar->value(), bar->minimum()); // reading goes on at the oldest line left
        QVERIFY(!showsRow(view, list.count() - 1));
        QVERIFY(view.newLinesButton()->isVisible());
        QCOMPARE(view.newLinesButton()->text(), QStringLiteral("1000 new alarms below"));
        QVERIFY(view.viewport()->geometry().contains(view.newLinesButton()->geometry()));
        QTest::mouseClick(view.newLinesButton(), Qt::LeftButton);
        QTRY_VERIFY(showsRow(view, list.count() - 1));
        QVERIFY(view.follows());
        QVERIFY(view.newLinesButton()->isHidden());
        list.addAlarmLine(QStringLiteral("after"));
        QTRY_VERIFY(showsRow(view, list.count() - 1));
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
