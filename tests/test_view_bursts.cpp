// Views under bursts: the window hears once a tick of each element changed, yet shows every final value;
// the alarm list follows its newest line or keeps the operator's place.

#include "alarms/AlarmList.h"
#include "alarms/AlarmListView.h"
#include "messages/MessageIntake.h"
#include "operator/MainWindow.h"
#include "support/LiveMonitor.h"
#include "support/TestMonitor.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>

using namespace corvane;

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
        t.monitor.intake().tick(); // the clock stands still: one tick takes the whole ring
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

        // The event loop inside a batch, as a dialog opened by a handler runs it, tells the window.
        {
            const MainWindowModel::Batch batch(t.monitor.ui());
            t.monitor.ui().setCaption(Element::BoxClock, QStringLiteral("first"));
            QVERIFY(clock->text() != QStringLiteral("first"));
            QCoreApplication::processEvents();
            QCOMPARE(clock->text(), QStringLiteral("first"));
            t.monitor.ui().setCaption(Element::BoxClock, QStringLiteral("second"));
        }
        QCOMPARE(clock->text(), QStringLiteral("second"));
    }

    void alarmListKeepsTheOperatorsPlace_data() {
        QTest::addColumn<int>("maxCount");
        QTest::addColumn<int>("notchesUp");  // wheel notches scrolled up before the burst
        QTest::addColumn<bool>("placeKept"); // false: the line read was trimmed before the burst ended
        QTest::newRow("at the bottom, older lines trimmed: follows") << 200 << 0 << false;
        QTest::newRow("scrolled up, room for the burst") << 5000 << 50 << true;
        QTest::newRow("scrolled up, older lines trimmed above") << 1200 << 30 << true;
        QTest::newRow("scrolled up, the line read trimmed") << 200 << 30 << false;
    }

    void alarmListKeepsTheOperatorsPlace() {
        QFETCH(int, maxCount);
        QFETCH(int, notchesUp);
        QFETCH(bool, placeKept);
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

        QVERIFY(live.sim.control(QStringLiteral("blast 1000")));
        QTRY_VERIFY_WITH_TIMEOUT(list.lines().last().endsWith(QStringLiteral("blast 001000")), 20000);
        QTest::qWait(50); // a place still to be restored gets its turn
        if (notchesUp == 0) {
            QCOMPARE(bar->value(), bar->maximum());
            QVERIFY(showsRow(view, list.count() - 1));
            QVERIFY(view.newLinesButton()->isHidden());
        } else {
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
        }
        list.addAlarmLine(QStringLiteral("after"));
        QTRY_VERIFY(showsRow(view, list.count() - 1));
        QCOMPARE(list.line(list.count() - 1), QStringLiteral("after"));
    }
};

QTEST_MAIN(TestViewBursts)
#include "test_view_bursts.moc"
