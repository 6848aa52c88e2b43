// The board on screen: what the view draws where and at what zoom, what it repaints and when, its tool
// tips, scrolling and the mouse it forwards, and that what it shows after bursts of changes is the board
// drawn afresh, pixel for pixel.

#include "board/BoardAccessible.h"
#include "board/BoardModel.h"
#include "board/BoardView.h"
#include "board/BoardZoom.h"
#include "board/Colors.h"
#include "board/EdgeScroll.h"
#include "board/SpanLabelText.h"
#include "link/EngineLink.h"
#include "support/BoardPixels.h"
#include "support/ChannelBoard.h"
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
        if (e->type() == QEvent::Paint) {
            rects << static_cast<QPaintEvent*>(e)->rect();
            region |= static_cast<QPaintEvent*>(e)->region();
        }
        return false;
    }
    QList<QRect> rects;
    QRegion region;
};

// The screen's own logical density, which the board must follow (this test also runs at 144).
double screenDpi() {
    return QGuiApplication::primaryScreen()->logicalDotsPerInchY();
}
int px(double twips) {
    return static_cast<int>(std::lround(twipsToPixels(twips, screenDpi())));
}

// A rectangle the zoom made of `designed` (its pixels at zoom 1): each edge within the rounding.
bool scaledBy(const QRect& zoomed, const QRect& designed, double zoom) {
    const double slack = zoom / 2 + 0.5;
    const auto near = [slack](double a, double b) { return std::abs(a - b) <= slack; };
    return near(zoomed.left(), designed.left() * zoom) && near(zoomed.top(), designed.top() * zoom) &&
           near(zoomed.left() + zoomed.width(), (designed.left() + designed.width()) * zoom) &&
           near(zoomed.top() + zoomed.height(), (designed.top() + designed.height()) * zoom);
}

// The span labels' font as the board letters them (at zoom 1).
QFont labelFont(const BoardModel& board) {
    QFont font(board.labelFont().family);
    font.setBold(board.labelFont().bold);
    font.setPointSizeF(board.labelFont().pointSize);
    return font;
}

// The tool tip that the pointer resting at `at` shows, empty for none.
QString toolTipAt(BoardView& view, QPoint at) {
    // A hidden tip lingers a moment; the next one must not be mistaken for it.
    QToolTip::hideText();
    if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }))
        return QStringLiteral("<a tool tip that does not go>");
    QHelpEvent help(QEvent::ToolTip, at, view.canvas()->mapToGlobal(at));
    QCoreApplication::sendEvent(view.canvas(), &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// The frames to come, and the event loop that paints them.
void letFramesPaint(corvane::test::ManualClock& clock) {
    for (int i = 0; i < 3; ++i) {
        clock.advance(20);
        QTest::qWait(5);
    }
}

// The cells of five groups on both sides, in the first rows and across the first span.
struct Fixture : corvane::test::ChannelBoard {
    Fixture() {
        for (const char* m :
             {"t101,1,1,0", "t106,1,2,0", "t107,2,4,0", "t131,3,6,0", "t201,4,10,0", "t301,5,9,0"})
            send(m);
    }
};

// What goes on during a burst of the engine's state reports over the whole board.
enum class During { Nothing, Clicks, Band, Routes, Labels, Scrolling, Hidden };

// Twelve spans of 31 channels on the whole monitor, fed through the message ring and its tick as the
// link feeds it: the burst runs through the handlers, the clicks through the operator's selection.
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
    BoardModel& board() { return t.monitor.board(); }
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
        if (t.monitor.queue().isFull())
            drain();
        QVERIFY(t.monitor.queue().store(message));
    }
    // The clock stands still, so one tick takes all that waits.
    void drain() { t.monitor.intake().tick(); }
    // Reports all over the board: new states, and with `calls` calls to and from the neighbouring span.
    void burst(int count, bool calls) {
        for (int i = 0; i < count; ++i) {
            const int id = anyCell();
            const int other = span(id) % 2 ? id + 100 : id - 100;
            const int peer = calls && other / 100 <= kSpans && rng() % 2 ? other : 0;
            stream(report(id, static_cast<int>(rng() % 7 + 1), peer));
        }
    }
    void settle() { letFramesPaint(t.services.clock); }
};

QPoint at(BoardCanvas* canvas, const QRect& twips) {
    return canvas->toPixels(twips).center();
}

} // namespace

class BoardViewTest : public QObject {
    Q_OBJECT
private slots:
    // The engine's changes are repainted once a frame, the operator's at once, each only in its cell.
    void repaintsOnlyTheChangedCellsWhenTheirTurnComes() {
        Fixture f;
        for (int id : {102, 103, 104, 105, 108, 109, 110})
            f.send(QStringLiteral("t%1,1,2,0").arg(id));
        BoardView view(f.board);
        view.resize(900, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCoreApplication::processEvents();
        PaintRecorder rec;
        view.canvas()->installEventFilter(&rec);
        const auto cell = [&](int id) { return view.canvas()->toPixels(f.board.cell(id)->back); };
        const auto stream = [&](const QString& message) {
            QVERIFY(f.queue.store(message));
            f.intake.tick();
        };
        // Reports in the same frame as the last paint wait for the next frame, and come together.
        stream(QStringLiteral("t102,1,1,0"));
        stream(QStringLiteral("t109,1,1,0"));
        QTest::qWait(30);
        QVERIFY(rec.rects.isEmpty());
        f.clock.advance(16);
        QTRY_VERIFY(!rec.rects.isEmpty());
        QVERIFY(rec.region.contains(cell(102)));
        QVERIFY(rec.region.contains(cell(109)));
        // The operator's mark is shown at once, and with it what the stream had waiting.
        rec.rects.clear();
        rec.region = {};
        stream(QStringLiteral("t103,1,1,0"));
        f.board.setMark(105, QStringLiteral("X"));
        QTRY_VERIFY(!rec.rects.isEmpty());
        QVERIFY(rec.region.contains(cell(105)));
        QVERIFY(rec.region.contains(cell(103)));
        // Nothing is left over for the frame to come.
        rec.rects.clear();
        f.clock.advance(16);
        QTest::qWait(30);
        QVERIFY(rec.rects.isEmpty());
        // A report handled outside message processing repaints its cell alone, at once.
        f.send("t107,2,1,0");
        QTRY_VERIFY(!rec.rects.isEmpty());
        for (const QRect& r : rec.rects) {
            QVERIFY(r.contains(cell(107)));
            QVERIFY(r.width() < 3 * cell(107).width() && r.height() < 3 * cell(107).height());
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
        BoardView view(f.board);
        view.resize(400, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(view.horizontalScrollBar()->maximum() > 0); // 131 lies beyond 400 px
        const int before = view.verticalScrollBar()->maximum();
        f.send("t3001,1,2,0");
        QCoreApplication::processEvents();
        QVERIFY(view.verticalScrollBar()->maximum() > before);
        QVERIFY(view.canvas()->height() >= view.canvas()->toPixels(f.board.cell(3001)->back).bottom());
        // The keyboard reaches both ends of the board from the canvas, which has the focus.
        QScrollBar* bar = view.verticalScrollBar();
        QTest::keyClick(view.canvas(), Qt::Key_End);
        QCOMPARE(bar->value(), bar->maximum());
        QTest::keyClick(view.canvas(), Qt::Key_Home);
        QCOMPARE(bar->value(), 0);
        QTest::keyClick(view.canvas(), Qt::Key_PageDown);
        QVERIFY(bar->value() > 0);
        QTest::keyClick(view.canvas(), Qt::Key_Home);
        // The first arrow shows the cursor on the first cell; the next ones bring the board along to
        // the row they reach.
        QTest::keyClick(view.canvas(), Qt::Key_Down);
        QCOMPARE(view.canvas()->cursor().current(), 101);
        for (int row = 0; row < 3; ++row)
            QTest::keyClick(view.canvas(), Qt::Key_Down);
        QCOMPARE(view.canvas()->cursor().current(), 3001);
        QVERIFY(bar->value() > 0);
        QVERIFY(view.canvas()->visibleRegion().contains(
            view.canvas()->toPixels(f.board.cell(3001)->back)));
        QTest::keyClick(view.canvas(), Qt::Key_Home);
        // A band dragged below the visible edge scrolls the board after it.
        const QPoint below(100, view.viewport()->height() + 40);
        QMouseEvent drag(QEvent::MouseMove, below, view.canvas()->mapToGlobal(below), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        RecordingMouse mouse;
        f.board.setMouseHandler(&mouse);
        const auto unhook = qScopeGuard([&] { f.board.setMouseHandler(nullptr); });
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
            f.clock.advance(3 * EdgeScroll::kTickMs);
            return bar->value() > was && mouse.moves.size() == moves + 3 &&
                   mouse.moves.last().y() > mouse.moves.at(moves).y();
        };
        QVERIFY(scrollsOn());
        QVERIFY(scrollsOn());
        // Back inside, it stops; past the edge again, it goes on until the button is let go.
        drags(view.canvas()->mapFrom(view.viewport(), QPoint(100, 10)), Qt::LeftButton);
        const int inside = bar->value();
        f.clock.advance(10 * EdgeScroll::kTickMs);
        QCOMPARE(bar->value(), inside);
        drags(view.canvas()->mapFrom(view.viewport(), QPoint(100, view.viewport()->height() + 5)), Qt::LeftButton);
        QVERIFY(scrollsOn());
        drags(view.canvas()->mapFrom(view.viewport(), QPoint(100, view.viewport()->height() + 5)), Qt::NoButton,
              QEvent::MouseButtonRelease);
        const int released = bar->value();
        f.clock.advance(10 * EdgeScroll::kTickMs);
        QCOMPARE(bar->value(), released);
        // It stops at the board's end and the other way it goes up, as far as the top.
        drags(view.canvas()->mapFrom(view.viewport(), QPoint(100, -30)), Qt::LeftButton);
        f.clock.advance(1000 * EdgeScroll::kTickMs);
        QCOMPARE(bar->value(), 0);
    }

    // The cursor's frame: drawn once the keyboard is in use, not after a click, and repainted only in
    // the cells the cursor left and reached.
    void theCursorFrameRepaintsOnlyItsCells() {
        Fixture f;
        BoardView view(f.board);
        view.resize(900, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        BoardCanvas* canvas = view.canvas();
        const auto cell = [&](int id) { return canvas->toPixels(f.board.cell(id)->back); };
        const auto framed = [&](int id) {
            const QImage shot = canvas->grab().toImage();
            const QRect r = cell(id);
            const auto at = [&](int d) { return shot.pixelColor(QPoint(r.left() + d, r.top() + d)); };
            return at(0) == QColor(Qt::black) &&
                   (at(1) == QColor(Qt::white) || at(2) == QColor(Qt::white) || at(3) == QColor(Qt::white));
        };
        // A click gives the canvas the focus and the cursor the cell, but shows no frame yet.
        QTest::mouseClick(canvas, Qt::LeftButton, {}, cell(101).center());
        QTRY_VERIFY(canvas->hasFocus());
        QCOMPARE(canvas->cursor().current(), 101);
        QVERIFY(!framed(101));
        QCoreApplication::processEvents();

        PaintRecorder rec;
        canvas->installEventFilter(&rec);
        QTest::keyClick(canvas, Qt::Key_Right);
        QTRY_VERIFY(!rec.rects.isEmpty());
        canvas->removeEventFilter(&rec);
        const QRegion allowed = QRegion(cell(101).adjusted(-3, -3, 3, 3)) | cell(106).adjusted(-3, -3, 3, 3);
        QVERIFY(rec.region.subtracted(allowed).isEmpty());
        QVERIFY(framed(106));
        QVERIFY(!framed(101));
        // Without the focus there is no frame.
        canvas->clearFocus();
        QTRY_VERIFY(!framed(106));
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
                        b.t.monitor.ui().trigger(MenuItem::ShowRouteLines);
                    break;
                case During::Labels:
                    b.stream(QStringLiteral("+C%1").arg(slice + round));
                    b.stream(QStringLiteral("D%1,%2,Group %3").arg(slice + 1).arg(round % 2).arg(round));
                    b.drain();
                    if (slice == 1)
                        b.t.monitor.ui().trigger(round % 2 ? MenuItem::SizeF10 : MenuItem::SizeF8);
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
            QVERIFY(b.t.monitor.queue().isEmpty());
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

    void zoomScalesTheWholeBoard_data() {
        QTest::addColumn<double>("zoom");
        for (double z : {0.5, 1.0, 1.5, 2.0, 4.0})
            QTest::addRow("%d %%", static_cast<int>(z * 100)) << z;
    }
    void zoomScalesTheWholeBoard() {
        QFETCH(double, zoom);
        Fixture f;
        f.groups.setNameO(2, QStringLiteral("Trunks"));
        f.send("t107,2,4,0");    // the tool tip takes the name at the next report
        f.send("t102,1,1,1207"); // connected: the green marker over the state label
        f.board.setMark(106, QStringLiteral("X"));
        RecordingMouse mouse;
        f.board.setMouseHandler(&mouse);
        auto* link = new RecordingLink;
        f.link.reset(std::unique_ptr<EngineLink>(link));
        BoardView view(f.board);
        view.resize(900, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        BoardCanvas* canvas = view.canvas();
        const int ids[] = {101, 107, 131, 301};
        QList<QRect> designed;
        for (int id : ids) {
            const ChannelCell& c = *f.board.cell(id);
            // Zoom 1 is the twips geometry at the screen's density, exactly.
            QCOMPARE(canvas->toPixels(c.back), twipsToPixels(c.back, screenDpi()));
            designed << canvas->toPixels(c.back) << canvas->toPixels(c.stateRect)
                     << canvas->toPixels(c.markerRect);
        }
        const QSize designedExtent = canvas->minimumSize();

        QSignalSpy changed(canvas, &BoardCanvas::zoomChanged);
        canvas->setZoom(zoom);
        QCOMPARE(canvas->zoom(), zoom);
        QCOMPARE(changed.size(), zoom == 1.0 ? 0 : 1);
        int k = 0;
        for (int id : ids) {
            const ChannelCell& c = *f.board.cell(id);
            for (const QRect& twips : {c.back, c.stateRect, c.markerRect}) {
                const QRect r = canvas->toPixels(twips);
                QVERIFY2(scaledBy(r, designed.at(k), zoom),
                         qPrintable(QStringLiteral("%1 #%2").arg(id).arg(k)));
                ++k;
            }
        }
        // The scroll area holds the whole board at its new size.
        QVERIFY(std::abs(canvas->minimumWidth() - designedExtent.width() * zoom) <= zoom + 1);
        QVERIFY(std::abs(canvas->minimumHeight() - designedExtent.height() * zoom) <= zoom + 1);
        QCOMPARE(canvas->size(), canvas->minimumSize().expandedTo(view.viewport()->size()));

        // What is painted where: 107's state label and group square at their zoomed places.
        view.ensureVisible(canvas->toPixels(f.board.cell(107)->back).center().x(), 0);
        const QImage image = canvas->grab().toImage();
        const QRect state = canvas->toPixels(f.board.cell(107)->stateRect);
        QCOMPARE(image.pixelColor(state.center()), toQColor(stateColor(4)));
        const QRect back = canvas->toPixels(f.board.cell(107)->back);
        QCOMPARE(image.pixelColor(back.topLeft()), toQColor(groupColor(2, false, 3)));
        QCOMPARE(image.pixelColor(back.topLeft() - QPoint(1, 1)), toQColor(0xC0C0C0));
        const QRect connected = canvas->toPixels(f.board.cell(102)->stateRect);
        QCOMPARE(image.pixelColor(canvas->toPixels(f.board.cell(102)->markerRect).center()),
                 toQColor(0x00FF00));
        QCOMPARE(image.pixelColor(connected.topLeft() + QPoint(1, 1)), toQColor(0x0000FF));
        // The mark "X" on 106's green label is drawn in black somewhere inside it.
        bool dark = false;
        const QRect marked = canvas->toPixels(f.board.cell(106)->stateRect);
        for (int y = marked.top(); y <= marked.bottom(); ++y)
            for (int x = marked.left(); x <= marked.right(); ++x)
                dark = dark || image.pixelColor(x, y).green() < 0x80;
        QVERIFY(dark);
        // A route line across the bare board, from 106's centre to 131's.
        f.send("t106,1,2,131");
        f.board.dimColor(106, true);
        const QImage routed = canvas->grab().toImage();
        const QPoint from = canvas->toPixels(QRect(f.board.cell(106)->routeStart, QSize(1, 1))).topLeft();
        const QPoint to = canvas->toPixels(QRect(f.board.cell(106)->routeEnd, QSize(1, 1))).topLeft();
        QCOMPARE(from.y(), to.y());
        // The one-pixel lines are as many pixels wide as the zoom, rounded, and never thinner than one.
        const int line = std::max(1, static_cast<int>(std::lround(zoom)));
        const auto thickness = [](const QImage& grabbed, QPoint start, QPoint step, const QColor& colour) {
            int n = 0;
            for (QPoint at = start; n < 10 && grabbed.pixelColor(at) == colour; at += step)
                ++n;
            return n;
        };
        const int mid = (from.x() + to.x()) / 2;
        QCOMPARE(routed.pixelColor(mid, from.y()), QColor(Qt::black));
        QCOMPARE(thickness(routed, QPoint(mid, from.y() - 6), {0, 1}, toQColor(0xC0C0C0)) +
                     thickness(routed, QPoint(mid, from.y() + 6), {0, -1}, toQColor(0xC0C0C0)),
                 13 - line);
        // A cell's border, here the outlined style, runs along the inside of its square.
        f.board.setBorder(107, 0xFF00FF, 1);
        letFramesPaint(f.clock);
        const QImage bordered = canvas->grab().toImage();
        QCOMPARE(thickness(bordered, back.topLeft(), {1, 1}, toQColor(0xFF00FF)), line);
        QCOMPARE(thickness(bordered, back.bottomRight(), {-1, -1}, toQColor(0xFF00FF)), line);
        // The selection band's dotted outline over the bare board.
        BandRect band;
        band.left = 4000;
        band.top = 700;
        band.width = 2000;
        band.height = 600;
        band.visible = true;
        f.board.setBand(band);
        const QImage banded = canvas->grab().toImage();
        const QRect outline = canvas->toPixels(QRect(4000, 700, 2000, 600));
        int dots = 0;
        for (int x = outline.left(); x <= outline.right(); ++x)
            dots += banded.pixelColor(x, outline.top()) != toQColor(0xC0C0C0);
        QVERIFY2(dots > outline.width() / 4, qPrintable(QString::number(dots)));
        int rowsDrawn = 0;
        for (int y = outline.top() - 6; y <= outline.top() + 6; ++y) {
            bool drawn = false;
            for (int x = outline.left() + 10; x <= outline.right() - 10; ++x)
                drawn = drawn || banded.pixelColor(x, y) != toQColor(0xC0C0C0);
            rowsDrawn += drawn;
        }
        QCOMPARE(rowsDrawn, line);

        // The mouse reaches the board in twips, and hit-testing, tool tips and the reader's rectangles
        // follow the same mapping.
        QTest::mousePress(canvas, Qt::LeftButton, {}, state.center());
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, state.center());
        QCOMPARE(mouse.events, (QStringList{QStringLiteral("press"), QStringLiteral("release")}));
        const auto twipsAt = [&](QPoint p) {
            const QPointF unzoomed = QPointF(p) / zoom;
            return QPointF(pixelsToTwips(unzoomed.x(), screenDpi()), pixelsToTwips(unzoomed.y(), screenDpi()))
                .toPoint();
        };
        QCOMPARE(mouse.points.at(0).toPoint(), twipsAt(state.center()));
        QTest::mouseMove(canvas, back.bottomRight());
        QTRY_VERIFY(!mouse.moves.isEmpty());
        QCOMPARE(mouse.moves.last().toPoint(), twipsAt(back.bottomRight()));
        // A double click on the bare board asks for the description; on a cell it does not.
        QTest::mouseDClick(canvas, Qt::LeftButton, {}, state.center());
        QVERIFY(link->commands().isEmpty());
        QTest::mouseDClick(canvas, Qt::LeftButton, {}, back.topLeft() - QPoint(3, 3)); // the gap before 107
        QCOMPARE(link->commands(), QStringList{QStringLiteral("SSSSS")});
        QVERIFY(mouse.events.contains(QStringLiteral("double")));
        const BoardHit hit = f.board.hitTest(mouse.points.at(0));
        QCOMPARE(int(hit.kind), int(BoardHit::Kind::StateLabel));
        QCOMPARE(hit.id, 107);
        QCOMPARE(toolTipAt(view, state.center()), QStringLiteral(" 2 - O Trunks 107"));
        auto* reader = dynamic_cast<BoardAccessible*>(QAccessible::queryAccessibleInterface(canvas));
        QVERIFY(reader);
        QCOMPARE(reader->cellInterface(107)->rect(), QRect(canvas->mapToGlobal(back.topLeft()), back.size()));
        f.board.setMouseHandler(nullptr);

        // Back to zoom 1: the designed geometry exactly.
        canvas->setZoom(1.0);
        QCOMPARE(canvas->toPixels(f.board.cell(131)->back), designed.at(6));
        QCOMPARE(canvas->minimumSize(), designedExtent);
        // No colour: the board turns grey and the cells lose their squares.
        f.ui.trigger(MenuItem::GroupColors0);
        const QImage grey = canvas->grab().toImage();
        QCOMPARE(grey.pixelColor(canvas->toPixels(f.board.cell(101)->back).topLeft() + QPoint(2, 2)),
                 toQColor(0x808080));
        QCOMPARE(grey.pixelColor(canvas->toPixels(f.board.cell(101)->stateRect).center()),
                 toQColor(0x0000FF));
    }

    void zoomKeepsTheCentreInViewAndStaysInRange() {
        Fixture f;
        f.send("t3031,1,2,0");
        BoardView view(f.board);
        view.resize(400, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        BoardCanvas* canvas = view.canvas();
        view.horizontalScrollBar()->setValue(view.horizontalScrollBar()->maximum() / 2);
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 3);
        const auto centre = [&] {
            const QPoint inViewport(view.viewport()->width() / 2, view.viewport()->height() / 2);
            return canvas->toTwips(QPointF(canvas->mapFrom(view.viewport(), inViewport)));
        };
        const QPointF before = centre();
        for (double zoom : {2.0, 4.0, 0.75, 1.0}) {
            canvas->setZoom(zoom);
            // Within two pixels of where it was.
            const QPointF now = centre();
            const double slack = pixelsToTwips(2, canvas->dpi());
            QVERIFY2(std::abs(now.x() - before.x()) <= slack && std::abs(now.y() - before.y()) <= slack,
                     qPrintable(QStringLiteral("%1: %2,%3 now %4,%5")
                                    .arg(zoom)
                                    .arg(before.x())
                                    .arg(before.y())
                                    .arg(now.x())
                                    .arg(now.y())));
        }
        // A smaller zoom gives the canvas back its smaller size.
        canvas->setZoom(0.5);
        QCOMPARE(canvas->size(), canvas->minimumSize().expandedTo(view.viewport()->size()));
        // Outside the range: the nearest end; not a number: no change.
        canvas->setZoom(40.0);
        QCOMPARE(canvas->zoom(), 4.0);
        canvas->setZoom(0.0);
        QCOMPARE(canvas->zoom(), 0.5);
        canvas->setZoom(std::nan(""));
        QCOMPARE(canvas->zoom(), 0.5);
    }

    void zoomSteps_data() {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("in");
        QTest::addColumn<double>("out");
        QTest::newRow("actual size") << 1.0 << 1.1 << 0.9;
        QTest::newRow("between steps") << 1.05 << 1.1 << 1.0;
        QTest::newRow("a step from the file") << 1.5 << 1.75 << 1.25;
        QTest::newRow("largest") << 4.0 << 4.0 << 3.0;
        QTest::newRow("smallest") << 0.5 << 0.67 << 0.5;
    }
    void zoomSteps() {
        QFETCH(double, from);
        QFETCH(double, in);
        QFETCH(double, out);
        QCOMPARE(zoomedIn(from), in);
        QCOMPARE(zoomedOut(from), out);
    }

    // A label too narrow for its caption keeps its span number in view: the inner label's caption ends
    // with it, the outer label's begins with it.
    void spanLabelsKeepTheirNumber_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("inner");
        QTest::addColumn<QString>("number");
        const QString names =
            QStringLiteral("Trunks to the northern exchange-Local lines of the second floor");
        QTest::newRow("inner fits") << QStringLiteral("r5- 2") << true << QStringLiteral(" 2");
        QTest::newRow("outer fits") << QStringLiteral(" 2-o4") << false << QStringLiteral(" 2");
        QTest::newRow("inner, long names") << names + QStringLiteral("- 2") << true << QStringLiteral(" 2");
        QTest::newRow("outer, long names")
            << QStringLiteral(" 31-") + names << false << QStringLiteral(" 31");
        QTest::newRow("inner, one long word")
            << QString(200, u'W') + QStringLiteral("- 327") << true << QStringLiteral(" 327");
    }
    void spanLabelsKeepTheirNumber() {
        QFETCH(QString, caption);
        QFETCH(bool, inner);
        QFETCH(QString, number);
        const corvane::test::ChannelBoard b;
        const QFontMetrics metrics(labelFont(b.board));
        const int width = px(BoardModel::kLabelWidth);
        const QString shown = spanLabelText(caption, inner, metrics, width);
        QVERIFY(metrics.horizontalAdvance(shown) <= width);
        if (metrics.horizontalAdvance(caption) <= width) {
            QCOMPARE(shown, caption);
            return;
        }
        QVERIFY2(inner ? shown.endsWith(number) : shown.startsWith(number), qPrintable(shown));
        QVERIFY(shown.size() > number.size());
    }

    void aLabelCutShortHasItsWholeCaptionAsToolTip() {
        Fixture f;
        const QString longName = QStringLiteral("Trunks to the northern exchange of the city");
        f.groups.setNameR(4, longName);
        f.groups.setNameR(5, QStringLiteral("r5"));
        f.groups.setNameO(1, longName);
        f.board.fillTheLabels();
        BoardView view(f.board);
        view.resize(1200, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const auto centreOf = [&](const SpanLabel& l) { return view.canvas()->toPixels(l.rect).center(); };
        QCOMPARE(toolTipAt(view, centreOf(f.board.innerLabel(2))), longName + QStringLiteral("- 2"));
        QCOMPARE(toolTipAt(view, centreOf(f.board.outerLabel(1))), QStringLiteral(" 1-") + longName);
        // A caption that fits needs none.
        QCOMPARE(toolTipAt(view, centreOf(f.board.innerLabel(3))), QString());
    }
};

QTEST_MAIN(BoardViewTest)
#include "test_board_view.moc"
