// The statistics window on the screen: created hidden by the first minute tick, shown by the menu,
// its rows drawn from the board's row labels where the layout puts them.

#include "board/BoardView.h"
#include "stats/Statistics.h"
#include "support/ChannelBoard.h"
#include "windows/StatsWindow.h"

#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

using namespace corvane;

namespace {
struct Fixture : test::ChannelBoardWithAlarms {
    Fixture() { main.resize(685, 591); }
    Statistics stats{ui, config, clock, groups, board, link, alarms, sounds};
    QWidget main;
    StatsWindowHost host{stats, board, ui, &main};
};
} // namespace

class StatsWindowTest : public QObject {
    Q_OBJECT
private slots:
    void minuteLoadsTheWindowHiddenAndTheMenuShowsIt() {
        Fixture t;
        t.main.move(100, 100);
        t.config.title = QStringLiteral("Plant");
        for (const char* m : {"t101,3,2,201", "t112,3,2,0", "t102,4,2,0", "t202,5,2,0"})
            t.send(QString::fromLatin1(m));
        QVERIFY(!t.host.window());

        t.clock.advance(Statistics::kIntervalMs);
        QVERIFY(t.host.window());
        QVERIFY(!t.host.window()->isVisible());
        QCOMPARE(t.host.window()->rowLabel(3)->text(), QString("G 3- 1c, 1cpm"));

        t.ui.trigger(MenuItem::StatsWin);
        StatsWindow* w = t.host.window();
        QVERIFY(w->isVisible());
        QVERIFY(t.stats.window().isLaidOut());
        QCOMPARE(w->windowTitle(), QString("Stats Plant"));
        // A tool window of the main window, inside the screen's work area.
        QCOMPARE(w->parentWidget(), &t.main);
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
        t.send(QStringLiteral("t102,4,2,301"));
        t.clock.advance(Statistics::kIntervalMs);
        QCOMPARE(w->rowLabel(4)->text(), QString("G 4- 1c, 1cpm"));

        // Closing keeps the window and unchecks the menu.
        w->close();
        QVERIFY(!w->isVisible());
        QVERIFY(!t.ui.isChecked(MenuItem::StatsWin));
        QCOMPARE(t.host.window(), w);
    }

    // On a board taller than the screen the window keeps to the work area, its rows scroll, and they
    // follow the board's scrolling so that each stays level with its group, at any zoom of the board.
    void rowsOfATallBoardScrollWithTheBoard_data() {
        QTest::addColumn<double>("zoom");
        QTest::newRow("zoom 1") << 1.0;
        QTest::newRow("zoom 1.5") << 1.5;
        QTest::newRow("zoom 2") << 2.0;
    }
    void rowsOfATallBoardScrollWithTheBoard() {
        QFETCH(double, zoom);
        Fixture t;
        const BoardModel& board = t.board;
        for (int g = 1; g <= 20; ++g)
            t.send(QStringLiteral("t%1,%2,2,0").arg(g * 300 + 1).arg(g));
        BoardView view(t.board);
        view.resize(600, 400);
        view.show();
        t.host.followBoard(view);
        t.ui.trigger(MenuItem::StatsWin);
        StatsWindow* w = t.host.window();
        QVERIFY(w->isVisible());
        const QRect avail = w->screen()->availableGeometry();
        QVERIFY(avail.contains(w->frameGeometry()));
        // Cut where the work area ends rather than moved up: the rows stay level with the board's.
        const double dpi = w->logicalDpiY();
        QCOMPARE(w->frameGeometry().top(),
                 qRound(twipsToPixels(t.stats.window().geometry().top(), dpi)));
        QCOMPARE(w->frameGeometry().bottom(), avail.bottom());
        QScrollArea* rows = w->rowsArea();
        QTRY_VERIFY(rows->verticalScrollBar()->isVisible());
        QVERIFY(!rows->horizontalScrollBar()->isVisible());
        QVERIFY(rows->verticalScrollBar()->maximum() > 0);

        // How far, on the screen, a row stands from its group's cell on the board.
        const auto level = [&](int g) {
            const QRect r = view.canvas()->toPixels(board.cell(g * 300 + 1)->back);
            const int row = w->rowLabel(g)->mapToGlobal(QPoint(0, 0)).y();
            return row - view.canvas()->mapToGlobal(r.topLeft()).y();
        };
        const int level5 = level(5);
        QCOMPARE(level(12), level5);
        // The operator zooms the board with the window open; its rows keep their distance from the cells.
        view.canvas()->setZoom(zoom);
        for (int value : {200, 900, 0}) {
            view.verticalScrollBar()->setValue(value);
            QCOMPARE(view.verticalScrollBar()->value(), value);
            QCOMPARE(level(5), level5);
            QCOMPARE(level(12), level5);
        }
    }
};

QTEST_MAIN(StatsWindowTest)
#include "test_stats_window.moc"
