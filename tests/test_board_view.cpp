// The board on screen: what the view draws where, what it repaints, its tool tips, scrolling and the
// mouse it forwards. Saves board_view.png in the working directory for a look at the result.

#include "board/BoardModel.h"
#include "board/BoardView.h"
#include "board/Colors.h"
#include "board/EdgeScroll.h"
#include "board/GroupTables.h"
#include "link/EngineLink.h"
#include "support/RecordingLink.h"
#include "support/TestMonitor.h"

#include <QHelpEvent>
#include <QPaintEvent>
#include <QScreen>
#include <QScrollBar>
#include <QToolTip>
#include <QtTest>

using namespace corvane;
using corvane::test::RecordingLink;
using corvane::test::TestMonitor;

namespace {

class RecordingMouse final : public BoardMouseHandler {
public:
    void press(const BoardMouseEvent& e) override { events << QStringLiteral("press"), points << e.twips; }
    void move(const BoardMouseEvent& e) override { moves << e.twips; }
    void release(const BoardMouseEvent& e) override {
        events << QStringLiteral("release"), points << e.twips;
    }
    void doubleClick(const BoardMouseEvent& e) override {
        events << QStringLiteral("double"), points << e.twips;
    }
    void leave() override { events << QStringLiteral("leave"); }
    QStringList events;
    QList<QPointF> points;
    QList<QPointF> moves;
};

class PaintRecorder final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            rects << static_cast<QPaintEvent*>(e)->rect();
        return false;
    }
    QList<QRect> rects;
};

// The screen's own logical density, which the board must follow (this test also runs at 144).
double screenDpi() {
    return QGuiApplication::primaryScreen()->logicalDotsPerInchY();
}
int px(double twips) {
    return static_cast<int>(std::lround(twipsToPixels(twips, screenDpi())));
}

QColor pixelAtTwips(const QImage& image, int x, int y) {
    return image.pixelColor(static_cast<int>(twipsToPixels(x, screenDpi())),
                            static_cast<int>(twipsToPixels(y, screenDpi())));
}

struct Fixture {
    Fixture() {
        board().placeCell(1, 8, 1);
        for (const char* m :
             {"t101,1,1,0", "t106,1,2,0", "t107,2,4,0", "t131,3,6,0", "t201,4,10,0", "t301,5,9,0"})
            t.monitor.dispatcher.dispatch(QString::fromLatin1(m));
    }
    TestMonitor t;
    BoardModel& board() { return *t.monitor.board; }
    void send(const char* m) { t.monitor.dispatcher.dispatch(QString::fromLatin1(m)); }
};

} // namespace

class BoardViewTest : public QObject {
    Q_OBJECT
private slots:
    void drawsTheCellsWhereTheModelPlacesThem() {
        Fixture f;
        f.send("t102,1,1,1207"); // connected: the green marker over the state label
        f.board().setMark(106, QStringLiteral("X"));
        BoardView view(f.board());
        view.resize(900, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QImage image = view.canvas()->grab().toImage();
        image.save(QStringLiteral("board_view.png"));

        // A cell keeps its twips size at the screen's density.
        QCOMPARE(view.canvas()->toPixels(f.board().cell(101)->back),
                 twipsToPixels(f.board().cell(101)->back, screenDpi()));
        const auto colour = [](LegacyColor c) { return toQColor(c); };
        // State labels (centre of 101's label) and group squares (a corner inside the border).
        QCOMPARE(pixelAtTwips(image, 1607 + 30, 152 + 30), colour(0x0000FF));
        QCOMPARE(pixelAtTwips(image, 1555 + 30, 100 + 30), colour(groupColor(1, false, 3)));
        QCOMPARE(pixelAtTwips(image, 3340 + 30, 100 + 30), colour(groupColor(2, false, 3)));
        QCOMPARE(pixelAtTwips(image, 3340 + 127, 100 + 127), colour(0xFF0000));
        QCOMPARE(pixelAtTwips(image, 10480 + 30, 100 + 30), colour(groupColor(3, false, 3)));
        QCOMPARE(pixelAtTwips(image, 1555 + 30, 610 + 30), colour(groupColor(4, true, 3)));
        QCOMPARE(pixelAtTwips(image, 1555 + 30, 1120 + 30), colour(groupColor(5, true, 3)));
        // The empty cell between the blocks shows the board.
        QCOMPARE(pixelAtTwips(image, 3085 + 127, 100 + 127), colour(0xC0C0C0));
        // 102 is connected: its marker sits over the centre of the state label.
        QCOMPARE(pixelAtTwips(image, 1810 + 127, 100 + 127), colour(0x00FF00));
        QCOMPARE(pixelAtTwips(image, 1810 + 60, 100 + 60), colour(0x0000FF));
        // The mark "X" on 106 (green label) is drawn in black somewhere inside the label.
        bool dark = false;
        const QRect label = view.canvas()->toPixels(f.board().cell(106)->stateRect);
        for (int y = label.top(); y <= label.bottom(); ++y)
            for (int x = label.left(); x <= label.right(); ++x)
                dark = dark || image.pixelColor(x, y).green() < 0x80;
        QVERIFY(dark);

        // No colour: the board turns grey and the cells lose their squares.
        f.t.monitor.ui.trigger(MenuItem::GroupColors0);
        const QImage grey = view.canvas()->grab().toImage();
        QCOMPARE(pixelAtTwips(grey, 1555 + 30, 100 + 30), colour(0x808080));
        QCOMPARE(pixelAtTwips(grey, 1607 + 30, 152 + 30), colour(0x0000FF));
    }

    void repaintsOnlyTheChangedCell() {
        Fixture f;
        BoardView view(f.board());
        view.resize(900, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCoreApplication::processEvents();
        PaintRecorder rec;
        view.canvas()->installEventFilter(&rec);
        f.send("t107,2,1,0");
        QTRY_VERIFY(!rec.rects.isEmpty());
        const QRect cell = view.canvas()->toPixels(f.board().cell(107)->back);
        for (const QRect& r : rec.rects) {
            QVERIFY(r.contains(cell));
            QVERIFY(r.width() < 3 * cell.width() && r.height() < 3 * cell.height());
        }
        // A channel far outside the shown area causes no repaint at all.
        f.send("t3001,2,1,0");
        QCoreApplication::processEvents();
        rec.rects.clear();
        f.send("t3001,2,2,1");
        QCoreApplication::processEvents();
        QVERIFY(rec.rects.isEmpty());
    }

    void scrollsWhenTheBoardOutgrowsTheView() {
        Fixture f;
        BoardView view(f.board());
        view.resize(400, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(view.horizontalScrollBar()->maximum() > 0); // 131 lies beyond 400 px
        const int before = view.verticalScrollBar()->maximum();
        f.send("t3001,1,2,0");
        QCoreApplication::processEvents();
        QVERIFY(view.verticalScrollBar()->maximum() > before);
        QVERIFY(view.canvas()->height() >= view.canvas()->toPixels(f.board().cell(3001)->back).bottom());
        // The keyboard reaches both ends of the board.
        QScrollBar* bar = view.verticalScrollBar();
        QTest::keyClick(&view, Qt::Key_End);
        QCOMPARE(bar->value(), bar->maximum());
        QTest::keyClick(&view, Qt::Key_Home);
        QCOMPARE(bar->value(), 0);
        QTest::keyClick(&view, Qt::Key_PageDown);
        QVERIFY(bar->value() > 0);
        QTest::keyClick(&view, Qt::Key_Home);
        // A band dragged below the visible edge scrolls the board after it.
        const QPoint below(100, view.viewport()->height() + 40);
        QMouseEvent drag(QEvent::MouseMove, below, view.canvas()->mapToGlobal(below), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        RecordingMouse mouse;
        f.board().setMouseHandler(&mouse);
        const auto unhook = qScopeGuard([&] { f.board().setMouseHandler(nullptr); });
        QCoreApplication::sendEvent(view.canvas(), &drag);
        QVERIFY(bar->value() > 0);
        QVERIFY(view.canvas()->visibleRegion().contains(below));
        // Held still there, it keeps scrolling, and the band follows the board under the pointer.
        const auto drags = [&](QPoint at, Qt::MouseButtons buttons, QEvent::Type type = QEvent::MouseMove) {
            QMouseEvent e(type, at, view.canvas()->mapToGlobal(at), Qt::NoButton, buttons, Qt::NoModifier);
            QCoreApplication::sendEvent(view.canvas(), &e);
        };
        const auto scrollsOn = [&] {
            const int was = bar->value();
            const qsizetype moves = mouse.moves.size();
            f.t.services.clock.advance(3 * EdgeScroll::kTickMs);
            return bar->value() > was && mouse.moves.size() == moves + 3 &&
                   mouse.moves.last().y() > mouse.moves.at(moves).y();
        };
        QVERIFY(scrollsOn());
        QVERIFY(scrollsOn());
        // Back inside, it stops; past the edge again, it goes on until the button is let go.
        drags(view.canvas()->mapFrom(view.viewport(), QPoint(100, 10)), Qt::LeftButton);
        const int inside = bar->value();
        f.t.services.clock.advance(10 * EdgeScroll::kTickMs);
        QCOMPARE(bar->value(), inside);
        drags(view.canvas()->mapFrom(view.viewport(), QPoint(100, view.viewport()->height() + 5)), Qt::LeftButton);
        QVERIFY(scrollsOn());
        drags(view.canvas()->mapFrom(view.viewport(), QPoint(100, view.viewport()->height() + 5)), Qt::NoButton,
              QEvent::MouseButtonRelease);
        const int released = bar->value();
        f.t.services.clock.advance(10 * EdgeScroll::kTickMs);
        QCOMPARE(bar->value(), released);
        // It stops at the board's end and the other way it goes up, as far as the top.
        drags(view.canvas()->mapFrom(view.viewport(), QPoint(100, -30)), Qt::LeftButton);
        f.t.services.clock.advance(1000 * EdgeScroll::kTickMs);
        QCOMPARE(bar->value(), 0);
    }

    void toolTipOfTheStateLabel() {
        Fixture f;
        f.t.monitor.groups->setNameO(2, QStringLiteral("Trunks"));
        f.send("t107,2,4,0");
        BoardView view(f.board());
        view.resize(900, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QPoint at = view.canvas()->toPixels(f.board().cell(107)->stateRect).center();
        QHelpEvent help(QEvent::ToolTip, at, view.canvas()->mapToGlobal(at));
        QCoreApplication::sendEvent(view.canvas(), &help);
        QCOMPARE(QToolTip::text(), QStringLiteral(" 2 - O Trunks 107"));
        QToolTip::hideText();
    }

    void forwardsTheMouseInTwips() {
        Fixture f;
        RecordingMouse mouse;
        f.board().setMouseHandler(&mouse);
        auto* link = new RecordingLink;
        f.t.monitor.link.reset(link);
        BoardView view(f.board());
        view.resize(900, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QPoint onCell(px(1680), px(225));
        QTest::mousePress(view.canvas(), Qt::LeftButton, {}, onCell);
        QTest::mouseRelease(view.canvas(), Qt::LeftButton, {}, onCell);
        QCOMPARE(mouse.events, (QStringList{QStringLiteral("press"), QStringLiteral("release")}));
        QCOMPARE(mouse.points.at(0).toPoint(),
                 QPointF(pixelsToTwips(onCell.x(), screenDpi()), pixelsToTwips(onCell.y(), screenDpi())).toPoint());
        QCOMPARE(f.board().hitTest(mouse.points.at(0)).id, 101);
        QTest::mouseMove(view.canvas(), QPoint(px(3000), px(1500)));
        QTRY_VERIFY(!mouse.moves.isEmpty());
        QCOMPARE(mouse.moves.last().toPoint(), QPoint(3000, 1500));
        // A double click on the bare board asks for the description; on a cell it does not.
        QTest::mouseDClick(view.canvas(), Qt::LeftButton, {}, onCell);
        QVERIFY(link->commands().isEmpty());
        QTest::mouseDClick(view.canvas(), Qt::LeftButton, {}, QPoint(px(4500), px(2250)));
        QCOMPARE(link->commands(), QStringList{QStringLiteral("SSSSS")});
        QVERIFY(mouse.events.contains(QStringLiteral("double")));
        f.board().setMouseHandler(nullptr);
    }
};

QTEST_MAIN(BoardViewTest)
#include "test_board_view.moc"
