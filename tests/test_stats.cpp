// The minute timer's statistics, the "Stats" button and the statistics window's layout, over a board
// fed by channel state reports.

#include "stats/Statistics.h"
#include "support/ChannelBoard.h"

#include <QtTest>

using namespace corvane;

namespace {
struct Fixture : test::ChannelBoardWithAlarms {
    Statistics stats{ui, config, clock, groups, board, link, alarms, sounds};
    void minute() { clock.advance(Statistics::kIntervalMs); }
    QString row(int group) {
        const auto it = board.statsRows().find(group);
        return it == board.statsRows().end() ? QStringLiteral("<none>") : it->second.caption;
    }
    QString callText() { return ui.element(Element::CallText).caption; }
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
        QCOMPARE(f.groups.oConnectCount(3), 3);
        QCOMPARE(f.row(3), QString("G 3"));

        f.minute();
        QCOMPARE(f.row(3), QString("G 3- 3c, 3cpm"));
        QCOMPARE(f.row(5), QString("G 5- 0c, 0cpm"));
        QCOMPARE(f.row(7), QString("<none>"));
        QCOMPARE(f.row(25), QString("G 25"));
        QCOMPARE(f.groups.connectedNow(3), 3);
        QCOMPARE(f.groups.oConnectCount(3), 0);
        QVERIFY(f.stats.window().isLoaded());
        QVERIFY(!f.stats.window().isVisible());

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
        QCOMPARE(f.callText(), QString("Total calls = 7 Non Routed =  2"));

        for (int i = 6; i <= 9; ++i)
            f.send(QStringLiteral("t%1,2,2,%2").arg(300 + i).arg(1200 + i));
        f.ui.gesture(Element::StatsButton, MainWindowModel::Gesture::Click);
        QCOMPARE(f.callText(), QString("Total calls = 7 Non Routed = -2"));
    }

    void menuShowsAndHidesTheWindow() {
        Fixture f;
        MainWindowModel& ui = f.ui;
        ui.trigger(MenuItem::StatsWin);
        QVERIFY(ui.isChecked(MenuItem::StatsWin));
        QVERIFY(f.stats.window().isVisible());
        ui.trigger(MenuItem::StatsWin);
        QVERIFY(!ui.isChecked(MenuItem::StatsWin));
        QVERIFY(!f.stats.window().isVisible());
        ui.trigger(MenuItem::StatsWin);
        f.stats.windowClosed();
        QVERIFY(!ui.isChecked(MenuItem::StatsWin));
        QVERIFY(!f.stats.window().isVisible());
    }

    void rowsStandLevelWithTheirGroupsAndShareARowInChannelOrder() {
        Fixture f;
        f.config.title = QStringLiteral("Plant");
        f.send("t101,3,2,0");
        f.send("t112,3,2,0");
        f.send("t102,4,2,0");
        f.send("t106,4,2,0");
        f.send("t201,5,2,0");
        f.send("t202,5,9,0");
        const QRect main(1000, 2000, 10275, 8865);
        f.stats.setMainWindowGeometry([main] { return main; });
        StatsWindowModel& w = f.stats.window();

        f.ui.trigger(MenuItem::StatsWin);
        QCOMPARE(w.geometry().topLeft(), QPoint(10775, 2255));
        f.stats.windowActivated();

        const auto& rows = f.board.statsRows();
        const int top1 = rows.at(3).top;
        const int top2 = rows.at(5).top;
        QCOMPARE(top2 - top1, 510);
        QCOMPARE(w.rowPosition(4, rows.at(4)), QPoint(120, 0));        // highest channel 106
        QCOMPARE(w.rowPosition(3, rows.at(3)), QPoint(120 + 1815, 0)); // highest channel 112
        QCOMPARE(w.rowPosition(5, rows.at(5)), QPoint(120, 510));
        QCOMPARE(w.geometry(), QRect(10775, 2255 + top1, 1935 + 1815 + 120, 510 + 255 + 500));
        QCOMPARE(w.caption(), QString("Stats Plant"));

        // Activated again: the same place, the layout is not repeated.
        f.stats.windowActivated();
        QCOMPARE(w.geometry(), QRect(10775, 2255 + top1, 3870, 1265));
        // A group that appears later stands level with its group too.
        f.send("t301,6,2,0");
        QCOMPARE(w.rowPosition(6, f.board.statsRows().at(6)), QPoint(120, 1020));
    }

    void windowWithoutRowsStaysWhereItIsPlaced() {
        Fixture f;
        f.stats.setMainWindowGeometry([] { return QRect(0, 0, 10275, 8865); });
        f.ui.trigger(MenuItem::StatsWin);
        f.stats.windowActivated();
        QCOMPARE(f.stats.window().geometry().topLeft(), QPoint(9775, 255));
        QVERIFY(!f.stats.window().isLaidOut());
        // The first rows are laid out on the next activation.
        f.send("t101,1,2,0");
        f.stats.windowActivated();
        QVERIFY(f.stats.window().isLaidOut());
        QCOMPARE(f.stats.window().geometry().top(), 255 + f.board.statsRows().at(1).top);
    }
};

QTEST_GUILESS_MAIN(StatsTest)
#include "test_stats.moc"
