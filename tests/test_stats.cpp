// The minute timer's statistics, the "Stats" button and the statistics window on the screen, over a
// board fed by channel state reports.

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
    Fixture() { main.resize(685, 591); } // 10275 by 8865 twips
    Statistics stats{ui, config, clock, groups, board, link, alarms, sounds};
    QWidget main;
    StatsWindowHost host{stats, board, ui, &main};
    void minute() { clock.advance(Statistics::kIntervalMs); }
    QString row(int group) {
        const auto it = board.statsRows().find(group);
        return it == board.statsRows().end() ? QStringLiteral("<none>") : it->second.caption;
    }
};
} // namespace

class StatsTest : public QObject {
    Q_OBJECT
private slots:
    void minuteTickCountsConnectedOSideChannelsAndNewCalls() {
        Fixture f;
        // Group 3: three O-side calls up, one O-side channel idle; their R-side peers are not counted.
        f.send("t101,3,2,201");
        f.send("t102,3,2,202");
        f.send("t103,3,1,203");
        f.send("t104,3,2,0");
        f.send("t201,3,9,101");
        // The same call reported again is not a new call.
        f.send("t101,3,2,201");
        // Group 5 without calls, group 7 on the R side only (no row), group 25 beyond the table.
        f.send("t301,5,0,0");
        f.send("t401,7,9,402");
        f.send("t501,25,2,502");
        QCOMPARE(f.row(3), QString("G 3"));

        QVERIFY(!f.host.window());
        f.minute();
        QCOMPARE(f.row(3), QString("G 3- 3c, 3cpm"));
        // The minute loads the window, hidden, with the board's captions.
        QVERIFY(f.host.window());
        QVERIFY(!f.host.window()->isVisible());
        QCOMPARE(f.host.window()->rowLabel(3)->text(), f.row(3));
        QCOMPARE(f.row(5), QString("G 5- 0c, 0cpm"));
        QCOMPARE(f.row(7), QString("<none>"));
        QCOMPARE(f.row(25), QString("G 25"));

        // One call ends, one new call starts: still three up, one new in this minute.
        f.send("t102,3,2,0");
        f.send("t104,3,2,204");
        f.minute();
        QCOMPARE(f.row(3), QString("G 3- 3c, 1cpm"));
        f.send("t101,3,2,0");
        f.send("t103,3,2,0");
        f.send("t104,3,2,0");
        f.minute();
        QCOMPARE(f.row(3), QString("G 3- 0c, 0cpm"));

        // The switch description grows the table: group 25 is counted from then on, its call that was
        // up before as up but not as new.
        f.groups.growO(30);
        f.send("t502,25,2,503");
        f.minute();
        QCOMPARE(f.row(25), QString("G 25- 2c, 1cpm"));
    }

    void statsButtonShowsTotalsAndTheDifference() {
        Fixture f;
        for (int i = 1; i <= 7; ++i)
            f.send(QStringLiteral("t%1,1,9,%2").arg(200 + i).arg(1100 + i));
        for (int i = 1; i <= 5; ++i)
            f.send(QStringLiteral("t%1,2,2,%2").arg(300 + i).arg(1200 + i));
        f.send("t310,2,2,0");
        f.ui.gesture(Element::StatsButton, MainWindowModel::Gesture::Click);
        QCOMPARE(f.ui.element(Element::CallText).caption, QString("Total calls = 7 Non Routed =  2"));

        for (int i = 6; i <= 9; ++i)
            f.send(QStringLiteral("t%1,2,2,%2").arg(300 + i).arg(1200 + i));
        f.ui.gesture(Element::StatsButton, MainWindowModel::Gesture::Click);
        QCOMPARE(f.ui.element(Element::CallText).caption, QString("Total calls = 7 Non Routed = -2"));
    }

    // Shown beside the main window by the menu; laid out once the board has rows, level with their groups
    // and groups of one board row side by side in channel order.
    void windowShowsTheRowsLevelWithTheirGroups() {
        Fixture f;
        f.stats.setMainWindowGeometry([] { return QRect(1000, 2000, 10275, 8865); });
        f.config.title = QStringLiteral("Plant");
        f.ui.trigger(MenuItem::StatsWin);
        StatsWindow* w = f.host.window();
        QVERIFY(f.ui.isChecked(MenuItem::StatsWin));
        QVERIFY(w->isVisible());
        const StatsWindowModel& m = f.stats.window();
        QCOMPARE(m.geometry().topLeft(), QPoint(10775, 2255));
        QVERIFY(!m.isLaidOut());
        // A tool window of the main window, inside the screen's work area.
        QCOMPARE(w->parentWidget(), &f.main);
        QCOMPARE(w->windowType(), Qt::Tool);
        QVERIFY(w->screen()->availableGeometry().contains(w->frameGeometry()));

        // Hidden, and shown again with rows.
        f.ui.trigger(MenuItem::StatsWin);
        QVERIFY(!w->isVisible());
        for (const char* report :
             {"t101,3,2,0", "t112,3,2,0", "t102,4,2,0", "t106,4,2,0", "t201,5,2,0", "t202,5,9,0"})
            f.send(QString::fromLatin1(report));
        f.ui.trigger(MenuItem::StatsWin);
        QVERIFY(m.isLaidOut());
        QCOMPARE(w->windowTitle(), QString("Stats Plant"));
        QCOMPARE(w->rowLabel(3)->font().family(), QString("Arial Narrow"));
        const auto& rows = f.board.statsRows();
        const int top = rows.at(3).top;
        QCOMPARE(rows.at(5).top - top, 510);
        QCOMPARE(m.geometry(), QRect(10775, 2255 + top, 1935 + 1815 + 120, 510 + 255 + 500));
        QCOMPARE(m.rowPosition(4, rows.at(4)), QPoint(120, 0));        // highest channel 106
        QCOMPARE(m.rowPosition(3, rows.at(3)), QPoint(120 + 1815, 0)); // highest channel 112
        QCOMPARE(m.rowPosition(5, rows.at(5)), QPoint(120, 510));
        QCOMPARE(w->rowLabel(4)->pos(), QPoint(8, 0)); // 15 twips to the pixel
        QCOMPARE(w->rowLabel(3)->pos(), QPoint(129, 0));
        QCOMPARE(w->rowLabel(5)->pos(), QPoint(8, 34));

        // Shown again: the same place, the layout is not repeated.
        f.ui.trigger(MenuItem::StatsWin);
        f.ui.trigger(MenuItem::StatsWin);
        QCOMPARE(m.geometry(), QRect(10775, 2255 + top, 3870, 1265));
        // A group that appears later stands level with its group too.
        f.send("t301,6,2,0");
        QCOMPARE(m.rowPosition(6, rows.at(6)), QPoint(120, 1020));
        QCOMPARE(w->rowLabel(6)->pos(), QPoint(8, 68));
        // New captions reach the shown labels.
        f.send(QStringLiteral("t102,4,2,2101"));
        f.minute();
        QCOMPARE(w->rowLabel(4)->text(), QString("G 4- 1c, 1cpm"));

        // Closing keeps the window and unchecks the menu.
        w->close();
        QVERIFY(!w->isVisible());
        QVERIFY(!f.ui.isChecked(MenuItem::StatsWin));
        QCOMPARE(f.host.window(), w);
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
        Fixture f;
        for (int g = 1; g <= 20; ++g)
            f.send(QStringLiteral("t%1,%2,2,0").arg(g * 300 + 1).arg(g));
        BoardView view(f.board);
        view.resize(600, 400);
        view.show();
        f.host.followBoard(view);
        f.ui.trigger(MenuItem::StatsWin);
        StatsWindow* w = f.host.window();
        QVERIFY(w->isVisible());
        const QRect avail = w->screen()->availableGeometry();
        QVERIFY(avail.contains(w->frameGeometry()));
        // Cut where the work area ends rather than moved up: the rows stay level with the board's.
        QCOMPARE(w->frameGeometry().top(),
                 qRound(twipsToPixels(f.stats.window().geometry().top(), w->logicalDpiY())));
        QCOMPARE(w->frameGeometry().bottom(), avail.bottom());
        QScrollArea* rows = w->rowsArea();
        QTRY_VERIFY(rows->verticalScrollBar()->isVisible());
        QVERIFY(!rows->horizontalScrollBar()->isVisible());
        QVERIFY(rows->verticalScrollBar()->maximum() > 0);

        // How far, on the screen, a row stands from its group's cell on the board.
        const auto level = [&](int g) {
            const QRect r = view.canvas()->toPixels(f.board.cell(g * 300 + 1)->back);
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

QTEST_MAIN(StatsTest)
#include "test_stats.moc"
