// The board on screen: what it draws at each zoom, what it repaints when, and what it shows after bursts.

#include "board/BoardAccessible.h"
#include "board/BoardModel.h"
#include "board/BoardView.h"
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
    void press(const BoardMouseEvent& e) override { record(QStringLiteral("press"), e); }
    void move(const BoardMouseEvent& e) override { moves << e.twips; }
    void release(const BoardMouseEvent& e) override { record(QStringLiteral("release"), e); }
    void doubleClick(const BoardMouseEvent& e) override { record(QStringLiteral("double"), e); }
    void leave() override {}
    void record(const QString& what, const BoardMouseEvent& e) {
        events << what;
        points << e.twips;
    }
    QStringList events;
    QList<QPointF> points;
    QList<QPointF> moves;
};

class PaintRecorder final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            region |= static_cast<QPaintEvent*>(e)->region();
        return false;
    }
    QRegion region;
};

// The screen's own logical density, which the board must follow (this test also runs at 144).
double screenDpi() {
    return QGuiApplication::primaryScreen()->logicalDotsPerInchY();
}

// A rectangle the zoom made of `designed` (its pixels at zoom 1): each edge within the rounding.
bool scaledBy(const QRect& zoomed, const QRect& designed, double zoom) {
    const double slack = zoom / 2 + 0.5;
    const auto near = [slack](double a, double b) { return std::abs(a - b) <= slack; };
    return near(zoomed.left(), designed.left() * zoom) && near(zoomed.top(), designed.top() * zoom) &&
           near(zoomed.left() + zoomed.width(), (designed.left() + designed.width()) * zoom) &&
           near(zoomed.top() + zoomed.height(), (designed.top() + designed.height()) * zoom);
}

// The frames to come, and the event loop that paints them.
void letFramesPaint(corvane::test::ManualClock& clock) {
    for (int i = 0; i < 3; ++i) {
        clock.advance(20);
        QTest::qWait(5);
    }
}

// The cells of five groups on both sides, in the first rows and across the first span, and a view.
struct Fixture : corvane::test::ChannelBoard {
    Fixture() {
        for (const char* m :
             {"t101,1,1,0", "t106,1,2,0", "t107,2,4,0", "t131,3,6,0", "t201,4,10,0", "t301,5,9,0"})
            send(m);
    }
    bool show(QSize size) {
        view.resize(size);
        view.show();
        return QTest::qWaitForWindowExposed(&view);
    }
    // Where a part of a cell is on the canvas.
    QRect pixels(int id, QRect ChannelCell::*part = &ChannelCell::back) {
        return view.canvas()->toPixels(board.cell(id)->*part);
    }
    BoardView view{board};
};

// What goes on during a burst of the engine's state reports over the whole board.
enum class During { Nothing, Clicks, Band, Routes, Labels, Scrolling, Hidden };

// Twelve spans of 31 channels on the whole monitor, fed through the ring as the link feeds it.
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
    // Odd spans are R side, even spans O side; a group for every six positions.
    static QString report(int id, int state, int peer) {
        return QString::asprintf("t%d,%d,%d,%d", id, (id % 100 - 1) / 6 + 1, span(id) % 2 ? state + 8 : state,
                                 peer);
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
    // Engine changes are repainted once a frame, the operator's and the cursor's at once, each in its cell.
    void repaintsOnlyTheChangedCellsWhenTheirTurnComes() {
        Fixture f;
        for (int id : {102, 103, 104, 105, 108, 109, 110})
            f.send(QStringLiteral("t%1,1,2,0").arg(id));
        QVERIFY(f.show({900, 300}));
        QCoreApplication::processEvents();
        PaintRecorder rec;
        f.view.canvas()->installEventFilter(&rec);
        const auto stream = [&](const QString& message) {
            QVERIFY(f.queue.store(message));
            f.intake.tick();
        };
        // Reports in the same frame as the last paint wait for the next frame, and come together.
        stream(QStringLiteral("t102,1,1,0"));
        stream(QStringLiteral("t109,1,1,0"));
        QTest::qWait(30);
        QVERIFY(rec.region.isEmpty());
        f.clock.advance(16);
        QTRY_VERIFY(!rec.region.isEmpty());
        QVERIFY(rec.region.contains(f.pixels(102)));
        QVERIFY(rec.region.contains(f.pixels(109)));
        // The operator's mark is shown at once, and with it what the stream had waiting.
        rec.region = {};
        stream(QStringLiteral("t103,1,1,0"));
        f.board.setMark(105, QStringLiteral("X"));
        QTRY_VERIFY(!rec.region.isEmpty());
        QVERIFY(rec.region.contains(f.pixels(105)));
        QVERIFY(rec.region.contains(f.pixels(103)));
        // Nothing is left over for the frame to come.
        rec.region = {};
        f.clock.advance(16);
        QTest::qWait(30);
        QVERIFY(rec.region.isEmpty());
        // A report handled outside message processing repaints its cell alone, at once.
        f.send("t107,2,1,0");
        QTRY_VERIFY(!rec.region.isEmpty());
        const QRect cell = f.pixels(107);
        const QRect painted = rec.region.boundingRect();
        QVERIFY(painted.contains(cell));
        QVERIFY(painted.width() < 3 * cell.width() && painted.height() < 3 * cell.height());
        // A channel far outside the shown area causes no repaint at all.
        f.send("t3001,2,1,0");
        QCoreApplication::processEvents();
        rec.region = {};
        f.send("t3001,2,2,1");
        QCoreApplication::processEvents();
        QVERIFY(rec.region.isEmpty());

        // The cursor's frame shows once the keys are used, never without the focus, and repaints two cells.
        BoardCanvas* canvas = f.view.canvas();
        canvas->removeEventFilter(&rec); // a grab paints too
        const auto framed = [&](int id) {
            const QImage shot = canvas->grab().toImage();
            const QRect r = f.pixels(id);
            const auto at = [&](int d) { return shot.pixelColor(QPoint(r.left() + d, r.top() + d)); };
            return at(0) == QColor(Qt::black) &&
                   (at(1) == QColor(Qt::white) || at(2) == QColor(Qt::white) || at(3) == QColor(Qt::white));
        };
        QVERIFY(QTest::qWaitForWindowActive(&f.view));
        QTest::mouseClick(canvas, Qt::LeftButton, {}, f.pixels(101).center());
        QTRY_VERIFY(canvas->hasFocus());
        QCOMPARE(canvas->cursor().current(), 101);
        QVERIFY(!framed(101));
        QCoreApplication::processEvents();
        rec.region = {};
        canvas->installEventFilter(&rec);
        QTest::keyClick(canvas, Qt::Key_Right);
        QTRY_VERIFY(!rec.region.isEmpty());
        canvas->removeEventFilter(&rec);
        const QRegion allowed =
            QRegion(f.pixels(101).adjusted(-3, -3, 3, 3)) | f.pixels(102).adjusted(-3, -3, 3, 3);
        QVERIFY(rec.region.subtracted(allowed).isEmpty());
        QVERIFY(framed(102));
        QVERIFY(!framed(101));
        canvas->clearFocus();
        QTRY_VERIFY(!framed(102));
    }

    void scrollsWhenTheBoardOutgrowsTheView() {
        Fixture f;
        QVERIFY(f.show({400, 200}));
        BoardCanvas* canvas = f.view.canvas();
        QScrollBar* bar = f.view.verticalScrollBar();
        const int before = bar->maximum();
        f.send("t3001,1,2,0");
        QCoreApplication::processEvents();
        QVERIFY(bar->maximum() > before);
        // The arrows bring the board along to the row the cursor reaches.
        for (int row = 0; row < 4; ++row)
            QTest::keyClick(canvas, Qt::Key_Down);
        QCOMPARE(canvas->cursor().current(), 3001);
        QVERIFY(canvas->visibleRegion().contains(f.pixels(3001)));
        QTest::keyClick(canvas, Qt::Key_Home);
        QCOMPARE(bar->value(), 0);
        // A band dragged past the lower edge scrolls the board, the band following it, until let go.
        RecordingMouse mouse;
        f.board.setMouseHandler(&mouse);
        const auto unhook = qScopeGuard([&] { f.board.setMouseHandler(nullptr); });
        const int below = f.view.viewport()->height() + 40;
        const auto drag = [&](QEvent::Type type, int y) {
            const QPoint at = canvas->mapFrom(f.view.viewport(), QPoint(100, y));
            const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
            const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
            QMouseEvent e(type, at, canvas->mapToGlobal(at), button, held, Qt::NoModifier);
            QCoreApplication::sendEvent(canvas, &e);
        };
        drag(QEvent::MouseButtonPress, 10);
        drag(QEvent::MouseMove, below);
        QVERIFY(bar->value() > 0);
        const int was = bar->value();
        const qsizetype moves = mouse.moves.size();
        f.clock.advance(3 * EdgeScroll::kTickMs);
        QVERIFY(bar->value() > was);
        QCOMPARE(mouse.moves.size(), moves + 3);
        QVERIFY(mouse.moves.last().y() > mouse.moves.at(moves).y());
        drag(QEvent::MouseButtonRelease, below);
        const int released = bar->value();
        f.clock.advance(10 * EdgeScroll::kTickMs);
        QCOMPARE(bar->value(), released);
        // Above the upper edge it goes up, as far as the top.
        drag(QEvent::MouseButtonPress, 10);
        drag(QEvent::MouseMove, -30);
        f.clock.advance(1000 * EdgeScroll::kTickMs);
        QCOMPARE(bar->value(), 0);
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
        QVERIFY2(wrongBoardPixels(*canvas, &where) == 0, qPrintable(where));

        const auto cellAt = [&](int id) -> const ChannelCell& { return *b.board().cell(id); };
        for (int round = 0; round < 4; ++round) {
            // Four slices, a tick each, the operator between them; only every other one is painted.
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
            QVERIFY2(wrongBoardPixels(*canvas, &where) == 0, qPrintable(where));
            // And a click of its own once the burst is over, a mark on a cell in view.
            const QRect label = cellAt(100 * (round + 1) + 2 * round + 1).stateRect;
            QTest::mouseClick(canvas, Qt::LeftButton, {}, at(canvas, label));
            b.settle();
            QVERIFY2(wrongBoardPixels(*canvas, &where) == 0, qPrintable(where));
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
        QVERIFY(f.show({900, 300}));
        BoardCanvas* canvas = f.view.canvas();
        const int ids[] = {101, 107, 131, 301};
        const auto parts = {&ChannelCell::back, &ChannelCell::stateRect, &ChannelCell::markerRect};
        QList<QRect> designed;
        for (int id : ids) {
            // Zoom 1 is the twips geometry at the screen's density, exactly.
            QCOMPARE(f.pixels(id), twipsToPixels(f.board.cell(id)->back, screenDpi()));
            for (auto part : parts)
                designed << f.pixels(id, part);
        }
        const QSize designedExtent = canvas->minimumSize();

        canvas->setZoom(zoom);
        int k = 0;
        for (int id : ids)
            for (auto part : parts) {
                QVERIFY2(scaledBy(f.pixels(id, part), designed.at(k), zoom),
                         qPrintable(QStringLiteral("%1 #%2").arg(id).arg(k)));
                ++k;
            }
        // The scroll area holds the whole board at its new size.
        QVERIFY(std::abs(canvas->minimumWidth() - designedExtent.width() * zoom) <= zoom + 1);
        QVERIFY(std::abs(canvas->minimumHeight() - designedExtent.height() * zoom) <= zoom + 1);
        QCOMPARE(canvas->size(), canvas->minimumSize().expandedTo(f.view.viewport()->size()));

        // What is painted where: 107's state label and group square at their zoomed places.
        f.view.ensureVisible(f.pixels(107).center().x(), 0);
        const QImage image = canvas->grab().toImage();
        const QRect state = f.pixels(107, &ChannelCell::stateRect);
        QCOMPARE(image.pixelColor(state.center()), toQColor(stateColor(4)));
        const QRect back = f.pixels(107);
        QCOMPARE(image.pixelColor(back.topLeft()), toQColor(groupColor(2, false, 3)));
        QCOMPARE(image.pixelColor(back.topLeft() - QPoint(1, 1)), toQColor(0xC0C0C0));
        QCOMPARE(image.pixelColor(f.pixels(102, &ChannelCell::markerRect).center()), toQColor(0x00FF00));
        QCOMPARE(image.pixelColor(f.pixels(102, &ChannelCell::stateRect).topLeft() + QPoint(1, 1)),
                 toQColor(0x0000FF));
        // The mark "X" on 106's green label is drawn in black somewhere inside it.
        bool dark = false;
        const QRect marked = f.pixels(106, &ChannelCell::stateRect);
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
        QCOMPARE(routed.pixelColor((from.x() + to.x()) / 2, from.y()), QColor(Qt::black));
        // A cell's border runs inside its square, as wide as the zoom, rounded, and at least a pixel.
        const int line = std::max(1, static_cast<int>(std::lround(zoom)));
        const auto thickness = [](const QImage& grabbed, QPoint start, QPoint step, const QColor& colour) {
            int n = 0;
            for (QPoint at = start; n < 10 && grabbed.pixelColor(at) == colour; at += step)
                ++n;
            return n;
        };
        f.board.setBorder(107, 0xFF00FF, 1);
        letFramesPaint(f.clock);
        const QImage bordered = canvas->grab().toImage();
        QCOMPARE(thickness(bordered, back.topLeft(), {1, 1}, toQColor(0xFF00FF)), line);
        QCOMPARE(thickness(bordered, back.bottomRight(), {-1, -1}, toQColor(0xFF00FF)), line);
        // The selection band's dotted outline over the bare board.
        f.board.setBand(BandRect{4000, 700, 2000, 600, true});
        const QImage banded = canvas->grab().toImage();
        const QRect outline = canvas->toPixels(QRect(4000, 700, 2000, 600));
        int dots = 0;
        for (int x = outline.left(); x <= outline.right(); ++x)
            dots += banded.pixelColor(x, outline.top()) != toQColor(0xC0C0C0);
        QVERIFY2(dots > outline.width() / 4, qPrintable(QString::number(dots)));

        // The mouse reaches the board in twips, and tool tips and the reader's rectangles follow suit.
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
        QToolTip::hideText(); // the last row's tip must not be mistaken for this one
        QTRY_VERIFY(!QToolTip::isVisible());
        QHelpEvent help(QEvent::ToolTip, state.center(), canvas->mapToGlobal(state.center()));
        QCoreApplication::sendEvent(canvas, &help);
        QCOMPARE(QToolTip::text(), QStringLiteral(" 2 - O Trunks 107"));
        auto* reader = dynamic_cast<BoardAccessible*>(QAccessible::queryAccessibleInterface(canvas));
        QVERIFY(reader);
        QCOMPARE(reader->cellInterface(107)->rect(), QRect(canvas->mapToGlobal(back.topLeft()), back.size()));
        f.board.setMouseHandler(nullptr);

        canvas->setZoom(1.0);
        // No colour: the board turns grey and the cells lose their squares.
        f.ui.trigger(MenuItem::GroupColors0);
        const QImage grey = canvas->grab().toImage();
        QCOMPARE(grey.pixelColor(f.pixels(101).topLeft() + QPoint(2, 2)), toQColor(0x808080));
        QCOMPARE(grey.pixelColor(f.pixels(101, &ChannelCell::stateRect).center()), toQColor(0x0000FF));
    }

    // A label too narrow for its caption keeps its span number: last in an inner label, first in an outer.
    void spanLabelsKeepTheirNumber_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("inner");
        QTest::addColumn<QString>("number");
        const QString names =
            QStringLiteral("Trunks to the northern exchange-Local lines of the second floor");
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
        QFont font(b.board.labelFont().family);
        font.setBold(b.board.labelFont().bold);
        font.setPointSizeF(b.board.labelFont().pointSize);
        const QFontMetrics metrics(font);
        const int width = static_cast<int>(std::lround(twipsToPixels(BoardModel::kLabelWidth, screenDpi())));
        const QString shown = spanLabelText(caption, inner, metrics, width);
        QVERIFY(metrics.horizontalAdvance(shown) <= width);
        QVERIFY2(inner ? shown.endsWith(number) : shown.startsWith(number), qPrintable(shown));
        QVERIFY(shown.size() > number.size());
    }
};

QTEST_MAIN(BoardViewTest)
#include "test_board_view.moc"
