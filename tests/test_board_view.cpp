// The board on screen: what the view draws where, what it repaints, its tool tips, scrolling and the
// mouse it forwards, and that what it shows after bursts of changes is the board drawn afresh, pixel
// for pixel. Saves board_view.png in the working directory for a look at the result.

#include "board/BoardModel.h"
#include "board/BoardView.h"
#include "board/Colors.h"
#include "board/GroupTables.h"
#include "link/EngineLink.h"
#include "link/MessageQueue.h"
#include "messages/MessageIntake.h"
#include "support/BoardPixels.h"
#include "support/RecordingLink.h"
#include "support/TestMonitor.h"

#include <QHelpEvent>
#include <QPaintEvent>
#include <QScreen>
#include <QScrollBar>
#include <QToolTip>
#include <QtTest>
#include <random>

using namespace corvane;
using corvane::test::RecordingLink;
using corvane::test::TestMonitor;
using corvane::test::wrongBoardPixels;

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

// What goes on during a burst of the engine's state reports over the whole board.
enum class During { Nothing, Clicks, Band, Routes, Labels, Scrolling, Hidden };

// A board of twelve spans of 31 channels in a view, fed through the message ring and DataRec's tick as
// the link feeds it, and the operator's mouse on the canvas.
struct BurstBoard {
    static constexpr int kSpans = 12;
    static constexpr int kPerSpan = 31;
    BurstBoard() {
        board().placeCell(1, 8, 1);
        for (int s = 1; s <= kSpans; ++s)
            for (int p = 1; p <= kPerSpan; ++p)
                stream(report(s * 100 + p, 1, 0));
        drain();
    }
    TestMonitor t;
    std::mt19937 rng{25};
    BoardModel& board() { return *t.monitor.board; }
    static QString report(int id, int state, int peer) {
        // Odd spans are R side, even spans O side; a group for every six positions.
        const int group = (id % 100 - 1) / 6 + 1;
        return QStringLiteral("t%1,%2,%3,%4")
            .arg(id)
            .arg(group)
            .arg(span(id) % 2 ? state + 8 : state)
            .arg(peer);
    }
    int anyCell() {
        return static_cast<int>(rng() % kSpans + 1) * 100 + static_cast<int>(rng() % kPerSpan + 1);
    }
    void stream(const QString& message) {
        if (t.monitor.queue.isFull())
            drain();
        QVERIFY(t.monitor.queue.store(message));
    }
    // The clock stands still, so one tick takes all that waits.
    void drain() { t.monitor.intake->tick(); }
    // Reports for cells all over the board: new states, and calls set up and torn down with the
    // neighbouring span when `calls`.
    void burst(int count, bool calls) {
        for (int i = 0; i < count; ++i) {
            const int id = anyCell();
            const int other = span(id) % 2 ? id + 100 : id - 100;
            const int peer = calls && other / 100 <= kSpans && rng() % 2 ? other : 0;
            stream(report(id, static_cast<int>(rng() % 7 + 1), peer));
        }
    }
    // The frames to come, and the event loop that paints them.
    void settle() {
        for (int i = 0; i < 3; ++i) {
            t.services.clock.advance(20);
            QTest::qWait(5);
        }
    }
};

QPoint at(BoardCanvas* canvas, const QRect& twips) {
    return canvas->toPixels(twips).center();
}

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
        QCoreApplication::sendEvent(view.canvas(), &drag);
        QVERIFY(bar->value() > 0);
        QVERIFY(view.canvas()->visibleRegion().contains(below));
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

    void showsTheBoardAfterBursts_data() {
        QTest::addColumn<During>("during");
        QTest::newRow("state reports alone") << During::Nothing;
        QTest::newRow("marks clicked") << During::Clicks;
        QTest::newRow("band dragged") << During::Band;
        QTest::newRow("calls and route lines") << During::Routes;
        QTest::newRow("span labels and their font") << During::Labels;
        QTest::newRow("scrolled") << During::Scrolling;
        QTest::newRow("hidden, then shown") << During::Hidden;
    }

    void showsTheBoardAfterBursts() {
        QFETCH(During, during);
        BurstBoard b;
        BoardView view(b.board());
        BoardCanvas* canvas = view.canvas();
        // All of the board in view, but for scrolling, which shows a corner of it.
        const QSize whole = canvas->minimumSize();
        view.resize(during == During::Scrolling ? whole / 2 : whole);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        b.settle();
        QString where;
        QCOMPARE(wrongBoardPixels(*canvas, &where), 0);

        const auto cellAt = [&](int id) -> const ChannelCell& { return *b.board().cell(id); };
        for (int round = 0; round < 4; ++round) {
            // Four slices of the burst, each taken by a tick, with the operator between them: some
            // slices are painted before the next, some are not.
            for (int slice = 0; slice < 4; ++slice) {
                b.burst(300, during == During::Routes);
                b.drain();
                switch (during) {
                case During::Nothing:
                    break;
                case During::Clicks:
                    for (int i = 0; i < 3; ++i)
                        QTest::mouseClick(canvas, Qt::LeftButton, {},
                                          at(canvas, cellAt(b.anyCell()).stateRect));
                    break;
                case During::Band: {
                    // From the gap below the first row over the cells of a few spans, one step a slice.
                    const QRect first = cellAt(101).back;
                    const QPoint from =
                        canvas->toPixels(QRect(first.left() + 30, first.bottom() + 60, 1, 1)).topLeft();
                    const QPoint to = at(canvas, cellAt(100 * (2 + round) + 4 * slice + 8).back);
                    if (slice == 0)
                        QTest::mousePress(canvas, Qt::LeftButton, {}, from);
                    QMouseEvent drag(QEvent::MouseMove, to, canvas->mapToGlobal(to), Qt::NoButton,
                                     Qt::LeftButton, Qt::NoModifier);
                    QCoreApplication::sendEvent(canvas, &drag);
                    if (slice == 3)
                        QTest::mouseRelease(canvas, Qt::LeftButton, {}, to);
                    break;
                }
                case During::Routes:
                    // The pointer over a cell shows its route line; the menu hides them all now and then.
                    QTest::mouseMove(canvas, at(canvas, cellAt(b.anyCell()).stateRect));
                    if (slice == 2 && round % 2 == 1)
                        b.t.monitor.ui.trigger(MenuItem::ShowRouteLines);
                    break;
                case During::Labels:
                    b.stream(QStringLiteral("+C%1").arg(slice + round));
                    b.stream(QStringLiteral("D%1,%2,Group %3").arg(slice + 1).arg(round % 2).arg(round));
                    b.drain();
                    if (slice == 1)
                        b.t.monitor.ui.trigger(round % 2 ? MenuItem::SizeF10 : MenuItem::SizeF8);
                    break;
                case During::Hidden:
                    if (slice == 0)
                        view.hide();
                    if (slice == 3) {
                        view.show();
                        QVERIFY(QTest::qWaitForWindowExposed(&view));
                    }
                    break;
                case During::Scrolling:
                    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() * slice / 3);
                    view.horizontalScrollBar()->setValue(view.horizontalScrollBar()->maximum() * (round % 3) /
                                                         2);
                    break;
                }
                if (slice % 2 == 1)
                    b.settle();
            }
            b.settle();
            QVERIFY(b.t.monitor.queue.isEmpty());
            QVERIFY2(wrongBoardPixels(*canvas, &where) == 0,
                     qPrintable(QStringLiteral("round %1: %2").arg(round).arg(where)));
            // And a click of its own once the burst is over, a mark on a cell in view.
            const QRect label = cellAt(100 * (round + 1) + 2 * round + 1).stateRect;
            QTest::mouseClick(canvas, Qt::LeftButton, {}, at(canvas, label));
            b.settle();
            QVERIFY2(wrongBoardPixels(*canvas, &where) == 0,
                     qPrintable(QStringLiteral("round %1, a click: %2").arg(round).arg(where)));
        }
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
                 QPointF(pixelsToTwips(onCell.x(), screenDpi()), pixelsToTwips(onCell.y(), screenDpi()))
                     .toPoint());
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
