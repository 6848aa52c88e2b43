// Marking cells and the pointer feedback, driven by real mouse events on the board widget (and, where
// a position must fall on an exact twip, straight through the board's mouse handler).

#include "board/BoardView.h"
#include "board/Colors.h"
#include "operator/Selection.h"
#include "support/CommandParts.h"

#include <QTest>

using namespace corvane;

namespace {
constexpr double kTwipsPerPixel = 15.0;

QPoint px(QPointF twips) {
    return QPoint(qRound(twips.x() / kTwipsPerPixel), qRound(twips.y() / kTwipsPerPixel));
}

struct Board {
    Board() {
        // Spans 1 to 3, positions 1 to 8, O side, groups by span; 105 is connected to 203.
        for (int s = 1; s <= 3; ++s)
            for (int p = 1; p <= 8; ++p)
                b.paintChannel(s * 100 + p, 1, static_cast<std::int16_t>(s), 0);
        b.paintChannel(105, 1, 1, 203);
        b.paintChannel(203, 1, 2, 105);
        b.setCallInfo(106, QStringLiteral("106 idle"));
        b.setCallInfo(105, QStringLiteral("105 talking to 203"));
        view.resize(1000, 500);
        view.show();
    }
    QWidget* canvas() { return view.canvas(); }
    QPoint stateLabel(int id) { return px(QPointF(b.cell(id)->stateRect.center())); }
    QStringList marked() {
        QStringList out;
        for (int id : b.cellIds())
            if (b.cell(id)->isMarked())
                out << QString::number(id);
        return out;
    }
    void hand(void (Selection::*f)(const BoardMouseEvent&), QPointF twips, Qt::MouseButton button,
              Qt::MouseButtons held) {
        BoardMouseEvent e;
        e.twips = twips;
        e.button = button;
        e.buttons = held;
        (sel.*f)(e);
    }
    // As a pointer does: onto the cell, then the click.
    void click(Qt::MouseButton button, int id) {
        QTest::mouseMove(canvas(), stateLabel(id));
        QTest::mouseClick(canvas(), button, {}, stateLabel(id));
    }
    void pointAt(const QString& where) {
        if (where == QLatin1String("off"))
            QTest::mouseMove(canvas(), px(QPointF(3000, 500)));
        else if (where == QLatin1String("label"))
            QTest::mouseMove(canvas(), px(QPointF(b.innerLabel(1).rect.center())));
        else if (where == QLatin1String("tab"))
            m.ui.gesture(Element::SSTab1, MainWindowModel::Gesture::MouseMove);
        else if (where == QLatin1String("routes-off"))
            m.ui.setMenuChecked(MenuItem::ShowRouteLines, false);
        else if (where.contains(u'>'))
            b.paintChannel(where.section(u'>', 0, 0).toInt(), 1, 1, where.section(u'>', 1).toInt());
        else
            QTest::mouseMove(canvas(), stateLabel(where.toInt()));
    }
    // A band from `from` to `to` through the board's mouse handler, with the left button.
    void handBand(QPointF from, QPointF to) {
        hand(&Selection::press, from, Qt::LeftButton, Qt::LeftButton);
        hand(&Selection::move, to, Qt::NoButton, Qt::LeftButton);
        hand(&Selection::release, to, Qt::LeftButton, Qt::NoButton);
    }
    test::CommandParts m;
    BoardModel& b = m.board;
    Selection sel{b, m.ui, m.commands};
    BoardView view{b};
};

QStringList ids(std::initializer_list<int> list) {
    QStringList out;
    for (int i : list)
        out << QString::number(i);
    return out;
}
} // namespace

class TestSelection : public QObject {
    Q_OBJECT
private slots:
    // A band drawn from a press on the background through `via` to `to` (twips on whole pixels), over
    // the marks `premarked`: while drawn it spans the press and the pointer, and its release toggles
    // the cells whose corner lies inside. A left-button band goes with its release, a right-button one
    // stays until the next left click.
    void bandsFromTheBackground_data() {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QPointF>("from");
        QTest::addColumn<QPointF>("via");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<QStringList>("premarked");
        QTest::addColumn<QStringList>("marked");
        // Between the rows, right under 101's state label.
        QTest::newRow("a click marks nothing") << Qt::LeftButton << QPointF(1695, 495) << QPointF(1695, 495)
                                               << QPointF(1695, 495) << QStringList() << QStringList();
        // Positions 1 to 4 of spans 1 and 2, the template under 101, and 102 unmarked by the band.
        QTest::newRow("toggles what lies inside")
            << Qt::LeftButton << QPointF(1530, 45) << QPointF(2000, 500) << QPointF(2400, 1005) << ids({102})
            << ids({1, 101, 103, 104, 201, 202, 203, 204});
        QTest::newRow("bottom right to top left")
            << Qt::LeftButton << QPointF(2400, 1005) << QPointF(2000, 500) << QPointF(1860, 450)
            << QStringList() << ids({202, 203, 204});
        QTest::newRow("only the press and the release count")
            << Qt::LeftButton << QPointF(2400, 450) << QPointF(4000, 1500) << QPointF(1860, 45)
            << QStringList() << ids({102, 103, 104});
        QTest::newRow("right button") << Qt::RightButton << QPointF(1530, 45) << QPointF(2000, 300)
                                      << QPointF(2145, 450) << QStringList() << ids({1, 101, 102, 103});
    }
    void bandsFromTheBackground() {
        QFETCH(Qt::MouseButton, button);
        QFETCH(QPointF, from);
        QFETCH(QPointF, via);
        QFETCH(QPointF, to);
        QFETCH(QStringList, premarked);
        QFETCH(QStringList, marked);
        Board f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.view));
        for (const QString& id : premarked)
            f.b.setMark(id.toInt(), QStringLiteral("X"));
        QTest::mousePress(f.canvas(), button, {}, px(from));
        QTest::mouseMove(f.canvas(), px(via));
        QTest::mouseMove(f.canvas(), px(to));
        QVERIFY(f.b.band().visible);
        const BandRect& band = f.b.band();
        QCOMPARE(QRectF(band.left, band.top, band.width, band.height), QRectF(from, to).normalized());
        QTest::mouseRelease(f.canvas(), button, {}, px(to));
        QCOMPARE(f.marked(), marked);
        QCOMPARE(f.b.band().visible, button == Qt::RightButton);
        QTest::mouseClick(f.canvas(), Qt::LeftButton, {}, px(QPointF(3000, 495)));
        QVERIFY(!f.b.band().visible);
        QCOMPARE(f.marked(), marked);
    }

    void bandEdgesAreExclusive() {
        Board f;
        const QRect s = f.b.cell(103)->stateRect;
        // A band whose left edge runs exactly through 103's corner leaves 103 alone.
        f.handBand(QPointF(s.left(), s.top() - 10), QPointF(s.left() + 300, s.top() + 10));
        QCOMPARE(f.marked(), ids({104}));
        // One twip further left takes it in.
        f.handBand(QPointF(s.left() - 1, s.top() - 10), QPointF(s.left() + 100, s.top() + 10));
        QCOMPARE(f.marked(), ids({103, 104}));
        // A band ending exactly on the corner's row, and a band of no size, toggle nothing.
        f.handBand(QPointF(s.left() - 1, s.top() - 10), QPointF(s.left() + 100, s.top()));
        f.handBand(QPointF(s.left() - 1, s.top() - 1), QPointF(s.left() - 1, s.top() - 1));
        QCOMPARE(f.marked(), ids({103, 104}));
        // The anchor is kept in whole twips, the band's own corner is not.
        f.hand(&Selection::press, QPointF(10.5, 20.4), Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(f.sel.anchor(), QPointF(10, 20));
        QCOMPARE(f.b.band().left, 10.5);
    }

    // The pointer's path: "N" is cell N's state label, "label" span 1's inner label, "off" the background,
    // "tab" the tab strip, "routes-off" the route lines' menu item unchecked, "105>204" 105 reporting a
    // call with 204 (which is not connected itself). 106 is in a red state. Lit cells have the hover
    // border; the hovered cell shows its call text in its state's colours, and its route if the menu says.
    void hoverLightsCellAndPeer_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("hovered");
        QTest::addColumn<QList<int>>("lit");
        QTest::addColumn<QString>("callText");
        QTest::newRow("a connected cell and its peer")
            << "105" << 105 << QList<int>{105, 203} << "105 talking to 203";
        QTest::newRow("on to a cell without a peer") << "105 106" << 106 << QList<int>{106} << "106 idle";
        // 203 and 105 were lit again before the old cell's restore took both highlights off.
        QTest::newRow("on to the peer") << "105 203" << 203 << QList<int>{} << "";
        QTest::newRow("over a span label")
            << "105 label" << 105 << QList<int>{105, 203} << "105 talking to 203";
        QTest::newRow("off the board") << "105 off" << 0 << QList<int>{} << "105 talking to 203";
        QTest::newRow("onto the tabs") << "105 tab" << 0 << QList<int>{} << "105 talking to 203";
        QTest::newRow("leaving it for a cell leaves the peer lit")
            << "105 106 105>204 204 107" << 107 << QList<int>{105, 107} << "";
        QTest::newRow("leaving it for the background does not")
            << "105 106 105>204 204 off" << 0 << QList<int>{} << "";
        QTest::newRow("route lines off") << "routes-off 106" << 106 << QList<int>{106} << "106 idle";
    }
    void hoverLightsCellAndPeer() {
        QFETCH(QString, path);
        QFETCH(int, hovered);
        QFETCH(QList<int>, lit);
        QFETCH(QString, callText);
        Board f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.view));
        f.b.paintChannel(106, 9, 1, 0);
        for (const QString& where : path.split(u' '))
            f.pointAt(where);
        QCOMPARE(f.b.gblidx(), hovered);
        for (int id : f.b.cellIds()) {
            const ChannelCell& c = *f.b.cell(id);
            const bool on = lit.contains(id);
            QCOMPARE(c.borderStyle, on ? 1 : f.b.normalBorderStyle());
            QCOMPARE(c.borderColor, on ? borderColorFor(c.groupColor) : c.groupColor);
            QCOMPARE(c.routeVisible, id == hovered && !path.startsWith(QLatin1String("routes-off")));
        }
        const ElementState& text = f.m.ui.element(Element::CallText);
        QCOMPARE(text.caption, callText);
        if (hovered) {
            QCOMPARE(text.back, textSetColors(f.b.cell(hovered)->stateColor).back);
            QCOMPARE(text.fore, textSetColors(f.b.cell(hovered)->stateColor).fore);
        }
    }

    // The keyboard on the board, from the first cell where Tab put the cursor: "L", "R", "U", "D" are
    // the arrows ("S" before them: with Shift), "space" is Space, "clickN" a click on cell N, "rightN" one
    // with the right button. Marks are "id=mark" pairs.
    void keysMarkAsTheMouseDoes_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("hovered");
        QTest::addColumn<bool>("bandShown");
        QTest::newRow("a second click unmarks")
            << QString() << QStringList{"click105", "click105"} << "105=" << 105 << false;
        QTest::newRow("another button marks nothing")
            << QString() << QStringList{"right102"} << "102=" << 102 << false;
        QTest::newRow("space toggles as a click does")
            << "101=?;102=!;103=x" << QStringList{"space", "R", "space", "R", "space"}
            << "101=X;102=X;103=" << 103 << false;
        QTest::newRow("a band toggles what it covers")
            << "102=X" << QStringList{"SR", "SR", "SD"}
            << "101=X;102=;103=X;201=X;202=X;203=X;104=;204=" << 203 << true;
        QTest::newRow("a band drawn back gives back the marks before it")
            << "102=?;103=X" << QStringList{"SR", "SR", "SL", "SL"} << "101=X;102=?;103=X" << 101 << true;
        QTest::newRow("space ends the band and toggles the cursor cell")
            << QString() << QStringList{"SR", "space"} << "101=X;102=" << 102 << false;
        QTest::newRow("a click ends the band and takes the cursor")
            << QString() << QStringList{"SR", "click105", "R", "space"} << "101=X;102=X;105=X;106=X" << 106
            << false;
    }
    void keysMarkAsTheMouseDoes() {
        QFETCH(QString, before);
        QFETCH(QStringList, keys);
        QFETCH(QString, after);
        QFETCH(int, hovered);
        QFETCH(bool, bandShown);
        Board f;
        QVERIFY(QTest::qWaitForWindowActive(&f.view));
        for (const QString& pair : before.split(u';', Qt::SkipEmptyParts))
            f.b.setMark(pair.section(u'=', 0, 0).toInt(), pair.section(u'=', 1));
        // The window gave the board its focus; Tab brings it back after it went elsewhere.
        f.canvas()->clearFocus();
        f.canvas()->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(f.canvas()->hasFocus());
        QCOMPARE(f.b.gblidx(), 101);
        static const QHash<QChar, Qt::Key> arrows{
            {u'L', Qt::Key_Left}, {u'R', Qt::Key_Right}, {u'U', Qt::Key_Up}, {u'D', Qt::Key_Down}};
        for (const QString& k : keys) {
            if (k == QLatin1String("space"))
                QTest::keyClick(f.canvas(), Qt::Key_Space);
            else if (k.startsWith(QLatin1String("click")) || k.startsWith(QLatin1String("right")))
                f.click(k.startsWith(u'c') ? Qt::LeftButton : Qt::RightButton, k.mid(5).toInt());
            else
                QTest::keyClick(f.canvas(), arrows.value(k.back()),
                                k.startsWith(u'S') ? Qt::ShiftModifier : Qt::NoModifier);
        }
        for (const QString& pair : after.split(u';', Qt::SkipEmptyParts))
            QCOMPARE(f.b.cell(pair.section(u'=', 0, 0).toInt())->mark, pair.section(u'=', 1));
        // The cursor cell shows what a pointer on it would.
        QCOMPARE(f.b.gblidx(), hovered);
        QCOMPARE(f.b.cell(hovered)->borderStyle, 1);
        QCOMPARE(f.m.ui.element(Element::CallText).caption, f.b.cell(hovered)->callInfo);
        QCOMPARE(f.b.band().visible, bandShown);
        QCOMPARE(f.m.ui.element(Element::MarkedCount).caption,
                 QStringLiteral("%1 marked").arg(f.marked().size()));
        // Unmark All clears the count with the marks.
        f.m.commands.unmarkAll();
        QCOMPARE(f.m.ui.element(Element::MarkedCount).caption, QStringLiteral("0 marked"));
    }

    // An outer span label starts a band with any button, an inner one with the left only (a right press
    // there leaves the last anchor); the release over the board ends it there. A double click on either
    // asks for the group names.
    void bandsFromSpanLabels_data() {
        QTest::addColumn<bool>("outer");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<QStringList>("marked");
        QTest::newRow("outer, right button")
            << true << Qt::RightButton << QPointF(3100, 1500) << ids({307, 308});
        QTest::newRow("inner, left button")
            << false << Qt::LeftButton << QPointF(2145, 45) << ids({1, 101, 102, 103});
        QTest::newRow("inner, right button")
            << false << Qt::RightButton << QPointF(1900, 700) << ids({1, 101, 102, 201, 202});
    }
    void bandsFromSpanLabels() {
        QFETCH(bool, outer);
        QFETCH(Qt::MouseButton, button);
        QFETCH(QPointF, to);
        QFETCH(QStringList, marked);
        Board f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.view));
        const SpanLabel& label = outer ? f.b.outerLabel(2) : f.b.innerLabel(1);
        QVERIFY(label.exists && label.visible);
        const QPoint at = px(QPointF(label.rect.center()));
        const QPointF anchor = f.sel.anchor();
        QTest::mousePress(f.canvas(), button, {}, at);
        QCOMPARE(f.sel.anchor(), outer || button == Qt::LeftButton ? QPointF(at * 15) : anchor);
        QTest::mouseMove(f.canvas(), px(to));
        QTest::mouseRelease(f.canvas(), button, {}, px(to));
        QCOMPARE(f.marked(), marked);
        QTest::mouseDClick(f.canvas(), Qt::LeftButton, {}, at);
        QCOMPARE(f.m.engine->commands(), QStringList{"DDDDD"});
    }
};

QTEST_MAIN(TestSelection)
#include "test_selection.moc"
