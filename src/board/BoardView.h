#pragma once
// The board on screen: one custom-painted widget inside a scroll area. It draws the cells, markers,
// span labels, route lines and the selection band from BoardModel into an image of the visible area,
// draws again only the rectangles the model reports as changed, at most once a frame for the engine's
// stream and at once for the operator's own actions, shows each state label's tool tip and forwards
// the mouse, in board twips, to the board's mouse handler. The canvas takes the keyboard focus and
// shows its cursor cell framed while it has it; the cursor's keys go to the board's key handler.

#include "board/BoardCursor.h"

#include <QImage>
#include <QRegion>
#include <QScrollArea>
#include <QStaticText>
#include <cstdint>
#include <memory>
#include <vector>

namespace corvane {

class BoardModel;
class EdgeScroll;
class Timer;
struct BoardHit;

class BoardCanvas final : public QWidget {
    Q_OBJECT
public:
    explicit BoardCanvas(BoardModel& board, QWidget* parent = nullptr);
    ~BoardCanvas() override;
    BoardModel& board() const { return m_board; }

    // Pixel and twips conversions of the board at the screen's logical dots per inch times the zoom,
    // the one mapping that painting, hit-testing, tool tips and accessibility share.
    QRect toPixels(const QRect& twips) const;
    QPointF toTwips(const QPointF& pixels) const;
    // The density the board is drawn at: the screen's logical dots per inch times the zoom.
    double dpi() const;

    // The board's zoom (see BoardZoom.h); 1 draws the twips geometry as designed. A new zoom is kept to
    // the zoom range, refits the board's extent, repaints everything and keeps the board point at the
    // centre of the view in the centre.
    double zoom() const { return m_zoom; }
    void setZoom(double zoom);

    // Paints the board area `exposed` (pixels) with `painter`; used by paintEvent and by benchmarks.
    void paintBoard(QPainter& painter, const QRect& exposed) const;
    const BoardCursor& cursor() const { return m_cursor; }

signals:
    // The keyboard moved the cursor to the cell at `px`, which should come into view.
    void cursorMoved(const QRect& px);

signals:
    void zoomChanged(double zoom);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // The frame around the cursor cell while the canvas has the focus.
    void paintCursor(QPainter& painter, const QRect& exposed) const;
    // Repaints the frames the cursor left and reached, tells a reader and, for the keyboard, scrolls.
    void cursorChanged(int before, bool scroll);
    void invalidateCell(int id);
    void cursorFollowsPress(QPointF twips);
    void fitExtent();
    // The geometry changed as a whole (the zoom): the extent is fitted anew and everything repainted.
    void geometryChanged();
    // The scroll area that shows the canvas, if any.
    QScrollArea* scrollArea() const;
    // The span labels' font at the zoom, and the whole caption of a label that is drawn cut short.
    QFont spanLabelFont() const;
    // The width of the board's one-pixel lines (cell borders, route lines, the band's outline) at the
    // zoom: the zoom rounded, at least 1.
    int lineWidth() const;
    QString spanLabelToolTip(const BoardHit& hit) const;
    // Shows the dragged cell's picture at the pointer while the mouse handler drags a cell.
    void followDrag();
    void invalidate(const QRect& twips);
    // Asks for `px` to be drawn again from the board and shown: the operator's own changes at once, the
    // engine's stream at the next frame, all that came since the last one together.
    void request(const QRect& px);
    // The part of the canvas the scroll area shows.
    QRect visibleArea() const;
    // Hands what has been requested to the widget's repaint.
    void showRequested();
    // Paints at once what the operator's input changed.
    void paintOperatorChanges();
    // Draws into the image what has been handed to the repaint, or all of it when the scale, the pixel
    // ratio or the size of the visible area changed; after a scroll, only what came into view.
    void updateImage();
    // Paints each of `areas` (pixels), clipped to it.
    void paintAreas(QPainter& painter, const std::vector<QRect>& areas) const;
    // Takes the density and the frame interval of the canvas's screen.
    void readScreen();
    BoardModel& m_board;
    double m_zoom = 1.0;
    double m_dpi = 0;
    int m_frameMs = 16;
    // The visible area of the board as drawn, at the device's pixel ratio: a paint copies from it, and
    // only what changed is drawn into it again.
    QImage m_image;
    QRect m_imageArea;
    // A fixed board square in pixels when the image was drawn: any change of scale draws it anew.
    QRect m_imageScale;
    // Pixel rectangles to draw again, oldest first; the first m_shown of them are handed to the repaint.
    std::vector<QRect> m_requested;
    std::size_t m_shown = 0;
    // All that was handed to the repaint since the last paint.
    QRegion m_shownRegion;
    // Requests ever made, to tell whether an input event changed the board.
    std::uint64_t m_requestCount = 0;
    // When the last paint ended (the clock's ms), and the frame that shows the stream's changes.
    qint64 m_lastPaintEnd = 0;
    std::unique_ptr<Timer> m_frameTimer;
    BoardCursor m_cursor;
    // The frame shows once the keyboard is in use on the board, not after a mere click on it.
    bool m_frameShown = false;
    std::unique_ptr<EdgeScroll> m_edgeScroll;
    int m_dragShown = 0; // the cell whose drag picture the pointer carries, 0 for none
};

class BoardView final : public QScrollArea {
    Q_OBJECT
public:
    explicit BoardView(BoardModel& board, QWidget* parent = nullptr);
    BoardCanvas* canvas() const { return m_canvas; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    BoardCanvas* m_canvas;
};

} // namespace corvane
