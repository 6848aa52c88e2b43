// The statistics window on the screen: created hidden by the first minute tick, shown by the menu,
// its rows drawn from the board's row labels where the layout puts them.

#include "board/BoardModel.h"
#include "stats/Statistics.h"
#include "support/TestMonitor.h"
#include "windows/StatsWindow.h"

#include <QLabel>
#include <QWidget>
#include <QScreen>
#include <QtTest>

using namespace corvane;
using corvane::test::TestMonitor;

class StatsWindowTest : public QObject {
    Q_OBJECT
private slots:
    void minuteLoadsTheWindowHiddenAndTheMenuShowsIt() {
        TestMonitor t;
        t.config.title = QStringLiteral("Plant");
        t.monitor.board->placeCell(1, 8, 1);
        QWidget main;
        main.setGeometry(100, 100, 685, 591);
        StatsWindowHost host(t.monitor, &main);
        for (const char* m : {"t101,3,2,201", "t112,3,2,0", "t102,4,2,0", "t202,5,2,0"})
            t.monitor.dispatcher.dispatch(QString::fromLatin1(m));
        QVERIFY(!host.window());

        t.services.clock.advance(Statistics::kIntervalMs);
        QVERIFY(host.window());
        QVERIFY(!host.window()->isVisible());
        QCOMPARE(host.window()->rowLabel(3)->text(), QString("G 3- 1c, 1cpm"));

        t.monitor.ui.trigger(MenuItem::StatsWin);
        StatsWindow* w = host.window();
        QVERIFY(w->isVisible());
        QVERIFY(t.monitor.stats->window().isLaidOut());
        QCOMPARE(w->windowTitle(), QString("Stats Plant"));
        // A tool window of the main window, inside the screen's work area.
        QCOMPARE(w->parentWidget(), &main);
        QCOMPARE(w->windowType(), Qt::Tool);
        QVERIFY(w->screen()->availableGeometry().contains(w->frameGeometry()));
        QCOMPARE(w->rowLabel(3)->font().family(), QString("Arial Narrow"));
        // Groups 4 (highest channel 102) and 3 (112) share span 1's row; group 5 is one row lower.
        QCOMPARE(w->rowLabel(4)->y(), 0);
        QCOMPARE(w->rowLabel(3)->y(), 0);
        QVERIFY(w->rowLabel(3)->x() > w->rowLabel(4)->x());
        QCOMPARE(w->rowLabel(5)->x(), w->rowLabel(4)->x());
        QCOMPARE(w->rowLabel(5)->y(), 34); // 510 twips

        // New captions reach the shown labels.
        t.monitor.dispatcher.dispatch(QStringLiteral("t102,4,2,301"));
        t.services.clock.advance(Statistics::kIntervalMs);
        QCOMPARE(w->rowLabel(4)->text(), QString("G 4- 1c, 1cpm"));

        // Closing keeps the window and unchecks the menu.
        w->close();
        QVERIFY(!w->isVisible());
        QVERIFY(!t.monitor.ui.isChecked(MenuItem::StatsWin));
        QCOMPARE(host.window(), w);
    }
};

QTEST_MAIN(StatsWindowTest)
#include "test_stats_window.moc"
