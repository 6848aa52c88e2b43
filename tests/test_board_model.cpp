// The board model painted by the channel and call messages ("t", "c", "C") and by its own calls.

#include "board/BoardCursor.h"
#include "board/Colors.h"
#include "support/ChannelBoard.h"

#include <QtTest>

using namespace corvane;

namespace {

struct Board : corvane::test::ChannelBoard {
    const ChannelCell& c(int id) { return *board.cell(id); }
    const ElementState& callText() { return ui.element(Element::CallText); }
    // Cells painted in one state and group, without a peer.
    void paint(std::initializer_list<int> ids, std::int16_t state, std::int16_t group) {
        for (int id : ids)
            board.paintChannel(id, state, group, 0);
    }
};

} // namespace

class BoardModelTest : public QObject {
    Q_OBJECT
private slots:
    void colourFunctionsGiveTheKnownValues() {
        QCOMPARE(groupColor(1, false, 3), LegacyColor(4847344));
        QCOMPARE(groupColor(1, true, 3), LegacyColor(5034607));
        QCOMPARE(groupColor(3, false, 1), groupColor(1, false, 3));
        QCOMPARE(stateColor(0x0102), LegacyColor(0x00FF00));
        QCOMPARE(stateColor(-1), LegacyColor(0x000000)); // low byte 0xFF & 0xF7 = 247
        QCOMPARE(cellTextColor(0x008000), kWhite);
        QCOMPARE(cellTextColor(0x008100), kBlack);
        QCOMPARE(borderColorFor(0x00FF00), kBlack);
        QCOMPARE(borderColorFor(0x0000FF), kWhite);
        QCOMPARE(borderColorFor(0xFFFFFF), kBlack);
    }

    void cellsLieAtTheWorkedGeometry() {
        Board x;
        x.paint({101, 106, 107, 131, 201}, 2, 1);
        QCOMPARE(x.board.originX(), 1555);
        QCOMPARE(x.c(101).back, QRect(1555, 100, 255, 255));
        QCOMPARE(x.c(1).back, x.c(101).back);
        QCOMPARE(x.c(101).stateRect, QRect(1607, 152, 150, 150));
        QCOMPARE(x.c(101).markerRect, QRect(1660, 205, 45, 45));
        QCOMPARE(x.c(101).routeStart, QPoint(1682, 227));
        QCOMPARE(x.c(106).back.topLeft(), QPoint(2830, 100));
        QCOMPARE(x.c(107).back.topLeft(), QPoint(3340, 100));
        QCOMPARE(x.c(131).back.topLeft(), QPoint(10480, 100));
        QCOMPARE(x.c(201).back.topLeft(), QPoint(1555, 610));
        // Position 0 falls one cell left of the origin.
        x.paint({200}, 2, 1);
        QCOMPARE(x.c(200).back.topLeft(), QPoint(1300, 610));
    }

    void rowsFollowDeltaY_data() {
        QTest::addColumn<float>("deltaY");
        QTest::addColumn<int>("offset"); // of the second row from the template's
        QTest::newRow("rows touch") << 1.0f << 255;
        QTest::newRow("far, but every edge fits") << 4.0e6f << 1020000000;
        // 2,147,483,520 twips down fits in 32 bits, but the cell's top and bottom edges would not.
        QTest::newRow("too far: the template's row") << 8421504.0f << 0;
    }
    void rowsFollowDeltaY() {
        QFETCH(float, deltaY);
        QFETCH(int, offset);
        Board x;
        x.config.deltaY = deltaY;
        x.paint({201}, 2, 1);
        QCOMPARE(x.c(201).back.top(), x.c(1).back.top() + offset);
        QCOMPARE(x.c(201).stateRect.top(), x.c(1).stateRect.top() + offset);
        QCOMPARE(x.c(201).routeStart.y(), x.c(1).routeStart.y() + offset);
    }

    void reportsOutsideTheBoardAreIgnored() {
        Board x;
        const auto cells = x.board.cells().size();
        x.paint({0, 2, 50, 100, -5, -32768}, 2, 1);
        for (const char* m :
             {"t0,1,2,0", "t57,1,2,0", "t100,1,2,1207", "t-305,1,2,0", "t70000,1,2,0", "t", "t,,,", "tabc"})
            x.send(QString::fromLatin1(m));
        QCOMPARE(x.board.cells().size(), cells);
        QCOMPARE(x.board.lastBuiltIndex(), 1);
        x.paint({305, 105}, 2, 1);
        QCOMPARE(x.board.lastBuiltIndex(), 105);
        QCOMPARE(x.board.gblBrdMin(), 1);
        QCOMPARE(x.board.gblBrdMax(), 3);
        // Fields that overflow 16 bits read as 0.
        x.send("t305,99999,2,1207");
        QCOMPARE(x.c(305).group, 0);
        QVERIFY(x.c(305).connected);
        x.send("t305,2,2,99999");
        QVERIFY(!x.c(305).connected);
        QCOMPARE(x.board.cells().size(), cells + 3);
        // A short body re-reads its first field for the missing ones: 306 routed to itself.
        x.send("t306");
        QCOMPARE(x.c(306).group, 306);
        QCOMPARE(x.c(306).peerNumber(), 306);
        // The highest id reaches span 327 without trouble; id 1 repaints the template.
        x.paint({32767}, 2, 1);
        QVERIFY(x.board.hasCell(32767));
        QCOMPARE(x.board.gblBrdMax(), 327);
        x.paint({1}, 1, 2);
        QCOMPARE(x.c(1).stateColor, LegacyColor(0x0000FF));
    }

    void spanLabelsAndTheWindowFollowTheCells() {
        Board x;
        QCOMPARE(x.board.innerLabel(1).rect.left(), 50);
        QVERIFY(!x.board.outerLabel(1).visible);
        x.paint({101}, 2, 1); // O side
        QVERIFY(x.board.outerLabel(1).visible);
        QCOMPARE(x.board.outerLabel(1).rect.left(), 1555 + 255);
        x.paint({105}, 2, 1);
        QCOMPARE(x.board.outerLabel(1).rect.left(), 2575 + 255);
        x.paint({103}, 2, 1); // a cell to the left does not pull it back
        QCOMPARE(x.board.outerLabel(1).rect.left(), 2830);
        // A cell near the window's edge widens it by nine cells, once.
        const QSize start = x.ui.clientSize();
        x.paint({125}, 2, 1); // 8695 + 1455 fits
        QCOMPARE(x.ui.clientSize(), start);
        x.paint({126, 131}, 2, 1); // 8950 + 1455 does not
        QCOMPARE(x.ui.clientSize().width(), start.width() + 9 * 255);
        // An R-side cell of a new span: no outer label, an inner label at 50 on the row's top.
        x.paint({402}, 10, 1);
        QVERIFY(!x.board.outerLabel(4).exists);
        QVERIFY(x.board.innerLabel(4).exists);
        QCOMPARE(x.board.innerLabel(4).rect.topLeft(), QPoint(50, x.c(402).back.top()));
        QVERIFY(x.board.innerLabel(4).caption.isEmpty());
        // The first O-side cell of span 2 copies outer label 1 (its position included) and moves it
        // only when its own right edge is further right.
        x.paint({231}, 2, 1);
        QVERIFY(x.board.outerLabel(2).exists);
        QVERIFY(x.board.outerLabel(2).visible);
        QCOMPARE(x.board.outerLabel(2).rect.topLeft(), QPoint(10480 + 255, 610));
        QCOMPARE(x.board.outerLabel(2).rect.size(), QSize(1455, 300));
    }

    void paintingColoursSideAndToolTip() {
        Board x;
        x.groups.setNameR(3, QStringLiteral("Trunks"));
        x.groups.setNameO(3, QStringLiteral("Lines"));
        x.send("t205,3,9,0"); // the group before the state
        const ChannelCell& c = x.c(205);
        QCOMPARE(c.stateColor, LegacyColor(0x0000FF));
        QCOMPARE(c.textColor, kWhite);
        QCOMPARE(c.groupColor, groupColor(3, true, 3));
        QCOMPARE(c.toolTip(), QStringLiteral(" 3 - R Trunks 205"));
        // Connected, the R side's marker takes the state colour, and its new peer is on the O side.
        x.send("t205,3,9,1207");
        QCOMPARE(x.c(205).markerColor, LegacyColor(0x0000FF));
        QCOMPARE(x.c(1207).peerText(), QStringLiteral(" 205"));
        QCOMPARE(x.c(1207).side, 'O');
        x.paint({205}, 2, 3);
        QCOMPARE(x.c(205).toolTip(), QStringLiteral(" 3 - O Lines 205"));
        QCOMPARE(x.c(205).textColor, kBlack);
        // A group outside the table leaves the tool tip as it was.
        x.paint({205}, 2, 21);
        QCOMPARE(x.c(205).toolTip(), QStringLiteral(" 3 - O Lines 205"));
        QCOMPARE(x.c(205).group, 21);
    }

    void theSelectedCellAndItsPeerKeepTheirBorder() {
        Board x;
        x.paint({305, 306}, 2, 1);
        x.board.setGblidx(305);
        x.board.setBorder(305, kBlack, 1);
        x.board.setBorder(306, kBlack, 1);
        x.send("t305,4,1,0");
        QCOMPARE(x.c(305).borderColor, kBlack);
        QCOMPARE(x.c(305).groupColor, groupColor(4, false, 3));
        // The selected channel's report recolours the call information; another's leaves it alone.
        QCOMPARE(x.callText().back, std::optional<LegacyColor>(0x0000FF));
        QCOMPARE(x.callText().fore, std::optional<LegacyColor>(0xFFFFFF));
        x.send("t306,4,2,305"); // its peer is the selected channel
        QCOMPARE(x.c(306).borderColor, kBlack);
        QCOMPARE(x.callText().back, std::optional<LegacyColor>(0x0000FF));
        // Nothing selected: a disconnected report is not mistaken for the selected peer.
        x.board.setGblidx(0);
        x.paint({305}, 2, 5);
        QCOMPARE(x.c(305).borderColor, groupColor(5, false, 3));
    }

    void connectionRoutesMarksAndTheCreatedPeer() {
        Board x;
        x.paint({305}, 2, 2);
        x.board.setMark(305, QStringLiteral("x"));
        x.board.paintChannel(305, 1, 2, 1207); // O side, connected to a channel without a cell
        const ChannelCell& c = x.c(305);
        QCOMPARE(c.mark, QStringLiteral("X"));
        QVERIFY(c.connected);
        QCOMPARE(c.peerText(), QStringLiteral(" 1207"));
        const ChannelCell& p = x.c(1207);
        QCOMPARE(p.side, 'R');
        QCOMPARE(p.group, 0);
        QCOMPARE(p.peerText(), QStringLiteral(" 305"));
        QVERIFY(!p.backVisible); // only painted by its own reports
        QCOMPARE(c.routeEnd, QPoint(p.back.left() + 127, p.back.top() + 127));
        QCOMPARE(c.routeStart, QPoint(c.back.left() + 127, c.back.top() + 127));
        QCOMPARE(c.markerColor, LegacyColor(0x00FF00)); // O side keeps the template's green
        // A "?" is lost when connected; an R-side marker takes the state colour.
        x.paint({406}, 12, 1);
        x.board.setMark(406, QStringLiteral("?"));
        x.board.paintChannel(406, 12, 1, 305);
        QCOMPARE(x.c(406).mark, QString());
        QCOMPARE(x.c(406).markerColor, LegacyColor(0xFF0000)); // 12 is blue on the R side
        QCOMPARE(x.c(406).routeEnd, x.c(305).routeStart);
    }

    // A report of state 14 without a route, after one with a route, says what became of the call.
    void state14LosingItsRouteMarksTheCell_data() {
        QTest::addColumn<QString>("markBefore");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("peerBefore");
        QTest::addColumn<QString>("mark");
        QTest::newRow("a stored route: the question") << "" << 14 << 1207 << "?";
        QTest::newRow("no route: the mark stays") << "!" << 14 << 0 << "!";
        QTest::newRow("a marked channel: a small x") << "X" << 14 << 1207 << "x";
        QTest::newRow("another state") << "" << 6 << 1207 << "";
        QTest::newRow("14 with a high byte") << "" << 0x010E << 1207 << "";
    }
    void state14LosingItsRouteMarksTheCell() {
        QFETCH(QString, markBefore);
        QFETCH(int, state);
        QFETCH(int, peerBefore);
        QFETCH(QString, mark);
        Board x;
        x.board.paintChannel(305, static_cast<std::int16_t>(state), 1, peerBefore);
        x.board.setMark(305, markBefore);
        x.board.paintChannel(305, static_cast<std::int16_t>(state), 1, 0);
        QCOMPARE(x.c(305).mark, mark);
        QVERIFY(!x.c(305).connected);
        QVERIFY(!x.c(305).hasPeerTag());
        QCOMPARE(x.c(305).routeEnd, x.c(305).routeStart);
    }

    void oddPeersGoToTheTemplateOrNowhere() {
        Board x;
        x.board.paintChannel(305, 2, 1, -4);
        QCOMPARE(x.c(305).peerText(), QStringLiteral(" 1"));
        QCOMPARE(x.c(1).peerText(), QStringLiteral(" 305"));
        x.board.paintChannel(306, 2, 1, 1232);
        QCOMPARE(x.c(306).peerNumber(), 1);
        QVERIFY(!x.board.hasCell(1232));
        x.board.paintChannel(308, 2, 1, 1231); // the last position is a peer like any other
        QVERIFY(x.board.hasCell(1231));
        const auto count = x.board.cells().size();
        x.board.paintChannel(307, 2, 1, 27); // peers 2 to 100 have no cell and get none
        QCOMPARE(x.board.cells().size(), count + 1);
        QCOMPARE(x.c(307).peerNumber(), 27);
        QVERIFY(x.c(307).connected);
        QCOMPARE(x.c(307).routeEnd, x.c(307).routeStart);
    }

    // A connection is counted once, on the O side of a group in the table, up to the count's maximum.
    void newConnectionsAreCountedOncePerConnection() {
        Board x;
        x.board.paintChannel(305, 2, 4, 1207);
        x.board.paintChannel(305, 2, 4, 1207);
        x.board.paintChannel(305, 2, 4, 0);
        x.board.paintChannel(305, 2, 4, 1208);
        x.board.paintChannel(306, 10, 4, 1209); // R side
        QCOMPARE(x.groups.oConnectCount(4), 2);
        x.board.paintChannel(307, 2, 25, 1210); // beyond the table, which stays as it is
        QCOMPARE(x.groups.capacityO(), 20);
        QCOMPARE(x.groups.oConnectCount(25), 0);
        x.groups.growO(40);
        x.board.paintChannel(308, 2, 25, 1211);
        QCOMPARE(x.groups.oConnectCount(25), 1);
        for (int i = 0; i < 40000; ++i)
            x.groups.countConnection(2);
        QCOMPARE(x.groups.oConnectCount(2), std::int16_t(32767));
    }

    void fillTheLabelsNamesEachRunOfGroups() {
        Board x;
        for (int i = 1; i <= 7; ++i) {
            x.groups.setNameO(i, QStringLiteral("o%1").arg(i));
            x.groups.setNameR(i, QStringLiteral("r%1").arg(i));
        }
        // Span 2: O side 4, 4, 7, 4; R side 5, 5. Span 3: only O side, a run of 0 first.
        x.paint({201, 202, 204}, 2, 4);
        x.paint({203}, 2, 7);
        x.paint({205, 206}, 10, 5);
        x.paint({301}, 2, 0);
        x.paint({302}, 2, 6);
        // The scan stops at a position without a cell (span 4) and a group outside the table (span 5).
        x.paint({401, 501}, 2, 1);
        x.paint({403, 503}, 2, 2);
        x.paint({502}, 2, 99);
        x.board.fillTheLabels();
        QCOMPARE(x.board.outerLabel(2).caption, QStringLiteral(" 2-o4-o7-o4"));
        QCOMPARE(x.board.innerLabel(2).caption, QStringLiteral("r5- 2"));
        QCOMPARE(x.board.outerLabel(3).caption, QStringLiteral(" 3-o6"));
        QCOMPARE(x.board.innerLabel(3).exists, false);
        QCOMPARE(x.board.outerLabel(4).caption, QStringLiteral(" 4-o1"));
        QCOMPARE(x.board.outerLabel(5).caption, QStringLiteral(" 5-o1"));
        // Span 1's labels always exist: an empty row still gets its number.
        QCOMPARE(x.board.innerLabel(1).caption, QStringLiteral(" 1"));
        QCOMPARE(x.board.outerLabel(1).caption, QStringLiteral(" 1"));
    }

    // The board's menu options: the group colours, the labels' font and the route lines.
    void menuOptionsChangeTheBoard() {
        Board x;
        x.paint({101}, 2, 1);
        x.paint({102}, 10, 2);
        x.ui.trigger(MenuItem::GroupColors0);
        for (const ChannelCell& c : x.board.cells()) {
            QVERIFY(!c.opaque);
            QCOMPARE(c.borderStyle, 0);
        }
        // Painting goes on with G = 0, and new cells copy the transparent template.
        x.paint({103}, 2, 5);
        QCOMPARE(x.c(103).groupColor, LegacyColor(2634272));
        QVERIFY(!x.c(103).opaque);
        x.ui.trigger(MenuItem::GroupColors2);
        QCOMPARE(x.config.groupColorScheme, 2);
        QCOMPARE(x.board.boardColour(), LegacyColor(0xC0C0C0));
        QCOMPARE(x.c(102).groupColor, groupColor(2, true, 2));
        QCOMPARE(x.c(102).borderColor, x.c(102).groupColor);
        QVERIFY(x.c(102).opaque);
        QCOMPARE(x.c(102).borderStyle, 6);
        // The same mode again still recolours every cell.
        x.board.setBorder(101, kBlack, 1);
        x.ui.trigger(MenuItem::GroupColors2);
        QCOMPARE(x.c(101).borderColor, groupColor(1, false, 2));

        for (MenuItem m : {MenuItem::FontNarrow, MenuItem::BoldFont, MenuItem::SizeF12})
            x.ui.trigger(m);
        QCOMPARE(x.board.labelFont().family, QStringLiteral("Arial Narrow"));
        QVERIFY(!x.board.labelFont().bold);
        QCOMPARE(x.board.labelFont().pointSize, 12.0);
        QCOMPARE(x.config.fontNarrow, 1);
        QCOMPARE(x.config.fontBold, 0);
        QCOMPARE(x.config.fontSize, 12);
        QVERIFY(!x.ui.isChecked(MenuItem::SizeF8));
        x.ui.trigger(MenuItem::FontNarrow);
        QCOMPARE(x.board.labelFont().family, QStringLiteral("Arial"));

        // Route lines are shown by DimColor alone; the option hides those shown.
        x.board.paintChannel(305, 2, 1, 1207);
        x.board.paintChannel(306, 2, 1, 1208);
        QVERIFY(!x.c(305).routeVisible);
        x.board.dimColor(305, true);
        x.board.dimColor(306, true);
        QVERIFY(x.c(305).routeVisible);
        x.ui.trigger(MenuItem::ShowRouteLines);
        QVERIFY(!x.c(305).routeVisible && !x.c(306).routeVisible);
        x.board.dimColor(2, true); // no cell: nothing
    }

    // Span 1 runs 101 to 108 and 110, span 2 201 to 203 (205 only as 110's unshown peer), span 4 401 to
    // 410. Moves are the arrows "L", "R", "U", "D", with an "S" before them when Shift is held.
    void cursorMovesOverTheShownCells_data() {
        QTest::addColumn<int>("start"); // 0: no cursor cell yet
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QList<int>>("band");
        using L = QList<int>;
        QTest::newRow("right along the row") << 101 << "R" << 102 << L{};
        QTest::newRow("right over the gap after six") << 106 << "R" << 107 << L{};
        QTest::newRow("right over an unreported position") << 108 << "R" << 110 << L{};
        QTest::newRow("right at the row end stays") << 110 << "R" << 110 << L{};
        QTest::newRow("right stops before a peer not yet shown") << 203 << "R" << 203 << L{};
        QTest::newRow("down to the same position") << 102 << "D" << 202 << L{};
        QTest::newRow("down to the nearest cell of a shorter row") << 108 << "D" << 203 << L{};
        QTest::newRow("down past an empty span") << 202 << "D" << 402 << L{};
        QTest::newRow("down at the last row stays") << 402 << "D" << 402 << L{};
        QTest::newRow("the column holds over a short row") << 108 << "D D" << 408 << L{};
        QTest::newRow("a sideways move takes a new column") << 108 << "D L D" << 402 << L{};
        QTest::newRow("the first arrow finds the first cell") << 0 << "D" << 101 << L{};
        QTest::newRow("band along a row") << 101 << "SR SR" << 103 << L{101, 102, 103};
        QTest::newRow("band over the gap") << 105 << "SR SR" << 107 << L{105, 106, 107};
        QTest::newRow("band over an empty span") << 202 << "SD SR" << 403 << L{202, 203, 402, 403};
        QTest::newRow("shift at the row end starts no band") << 110 << "SR" << 110 << L{};
    }
    void cursorMovesOverTheShownCells() {
        QFETCH(int, start);
        QFETCH(QString, keys);
        QFETCH(int, cursor);
        QFETCH(QList<int>, band);
        Board x;
        x.paint({101, 102, 103, 104, 105, 106, 107, 108, 110, 201, 202, 203}, 1, 1);
        x.paint({401, 402, 403, 404, 405, 406, 407, 408, 409, 410}, 1, 1);
        x.board.paintChannel(110, 1, 1, 205);

        BoardCursor c(x.board);
        if (start != 0)
            QVERIFY(c.setCurrent(start));
        for (const QString& k : keys.split(u' ')) {
            const bool shift = k.startsWith(u'S');
            static const QHash<QChar, int> arrows{
                {u'L', Qt::Key_Left}, {u'R', Qt::Key_Right}, {u'U', Qt::Key_Up}, {u'D', Qt::Key_Down}};
            QVERIFY(c.key(arrows.value(k.back()), shift ? Qt::ShiftModifier : Qt::NoModifier));
        }
        QCOMPARE(c.current(), cursor);
        const std::vector<int> cells = c.bandCells();
        QCOMPARE(QList<int>(cells.begin(), cells.end()), band);
        if (!band.isEmpty())
            QCOMPARE(c.bandTwips(), x.c(c.anchor()).back | x.c(cursor).back);
        // Keys the cursor does not know go on to the view; the template cell is never the cursor's.
        QVERIFY(!c.key(Qt::Key_PageDown, Qt::NoModifier));
        QVERIFY(!c.key(Qt::Key_Right, Qt::ControlModifier));
        QVERIFY(!c.setCurrent(1));
    }

    // What call information does to the cell's mark and route line.
    void callInformationMarksAndLightsTheRoute_data() {
        QTest::addColumn<QString>("report");
        QTest::addColumn<bool>("linesShown"); // the menu option
        QTest::addColumn<QString>("markBefore");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("mark");
        QTest::addColumn<bool>("route");
        const QString idle = QStringLiteral("t305,2,2,0");
        const QString rConnected = QStringLiteral("t305,2,10,1207");
        QTest::newRow("blocked: marked")
            << idle << true << "" << QStringList{"c305 Blocked by engine"} << "!" << false;
        QTest::newRow("blocked, marked before: kept")
            << idle << true << "x" << QStringList{"c305 Blocked"} << "x" << false;
        QTest::newRow("blocked must match case")
            << idle << true << "" << QStringList{"c305 blocked"} << "" << false;
        QTest::newRow("alerting in any case lights the route")
            << rConnected << true << "" << QStringList{"c305 call alerting from 5551234"} << "" << true;
        QTest::newRow("another call state puts it out")
            << rConnected << true << "" << QStringList{"c305 ALERTING", "c305 CONNECTED"} << "" << false;
        QTest::newRow("O side with a peer: left alone")
            << QStringLiteral("t305,2,2,1208") << true << "" << QStringList{"c305 ALERTING"} << "" << false;
        QTest::newRow("O side without a peer: a point")
            << idle << true << "" << QStringList{"c305 ALERTING"} << "" << true;
        QTest::newRow("the lines' option unchecked")
            << rConnected << false << "" << QStringList{"c305 ALERTING"} << "" << true;
    }
    void callInformationMarksAndLightsTheRoute() {
        QFETCH(QString, report);
        QFETCH(bool, linesShown);
        QFETCH(QString, markBefore);
        QFETCH(QStringList, calls);
        QFETCH(QString, mark);
        QFETCH(bool, route);
        Board x;
        x.send(report);
        x.board.setMark(305, markBefore);
        if (!linesShown)
            x.ui.trigger(MenuItem::ShowRouteLines);
        for (const QString& call : calls)
            x.send(call);
        QCOMPARE(x.c(305).mark, mark);
        QCOMPARE(x.c(305).routeVisible, route);
    }

    // Call information is kept in the cell and shown in CallText: the selected channel's, or any "c" if none.
    void callInformationIsKeptAndShown() {
        Board x;
        const auto cells = x.board.cells().size();
        for (const char* m : {"c909 ALERTING", "c99999 overflow", "C909 both", "c"})
            x.send(QString::fromLatin1(m));
        QCOMPARE(x.board.cells().size(), cells);
        QCOMPARE(x.callText().caption, QStringLiteral(""));

        x.send("t315,2,2,0");
        x.send("c315 Blocked by engine");
        QCOMPARE(x.c(315).callInfo, QStringLiteral("315 Blocked by engine"));
        QCOMPARE(x.c(315).positionTag, QStringLiteral(" 15"));
        QCOMPARE(x.callText().caption, QStringLiteral("315 Blocked by engine"));
        QCOMPARE(x.callText().back, std::optional<LegacyColor>(0x00FF00));
        QCOMPARE(x.callText().fore, std::optional<LegacyColor>(0x000000));
        // The position tag is set only once.
        x.board.setPositionTag(315, QStringLiteral(" 12"));
        x.send("c315 x");
        QCOMPARE(x.c(315).positionTag, QStringLiteral(" 12"));
        // A selected channel elsewhere: other channels' texts stay out of CallText.
        x.send("t306,2,2,0");
        x.send("t307,2,2,0");
        x.board.setGblidx(306);
        x.send("c307 something");
        QCOMPARE(x.callText().caption, QStringLiteral("315 x"));
        // "C" reaches the peer, and shows only while it or its peer is selected.
        x.board.setGblidx(0);
        x.send("t305,2,2,1207");
        x.send("C305 Caller 100 to 200");
        QCOMPARE(x.c(305).callInfo, QStringLiteral("305 Caller 100 to 200"));
        QCOMPARE(x.c(1207).callInfo, QStringLiteral("305 Caller 100 to 200"));
        QCOMPARE(x.c(305).positionTag, QStringLiteral(" 5"));
        QCOMPARE(x.callText().caption, QStringLiteral("315 x"));
        // Selected peer: shown, in the colour of id's state.
        x.board.setGblidx(1207);
        x.send("C305 second");
        QCOMPARE(x.callText().caption, QStringLiteral("305 second"));
        QCOMPARE(x.callText().back, std::optional<LegacyColor>(0x00FF00));
        // Without a route only the channel itself is updated.
        x.send("t1208,2,2,0");
        x.send("C306 alone");
        QCOMPARE(x.c(306).callInfo, QStringLiteral("306 alone"));
        QCOMPARE(x.c(1208).callInfo, QString());
    }
};

QTEST_GUILESS_MAIN(BoardModelTest)
#include "test_board_model.moc"
