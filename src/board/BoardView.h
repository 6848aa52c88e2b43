#pragma once
// The board on screen: one custom-painted widget inside a scroll area. It draws the cells, markers,
// span labels, route lines and the selection band from BoardModel, repaints only the rectangles the
// model reports as changed, shows each state label's tool tip and forwards the mouse, in board twips, to
// the board's mouse handler.

#include <QScrollArea>
#include <QStaticText>
#include <memory>

namespace corvane {

class BoardModel;
class Timer;

class BoardCanvas final : public QWidget {
    Q_OBJECT
public:
    explicit BoardCanvas(BoardModel& board, QWidget* parent = nullptr);
    ~BoardCanvas() override;
    BoardModel& board() const { return m_board; }

    // Pixel and twips conversions of the board at the screen's logical dots per inch, the one mapping
    // that painting, hit-testing, tool tips and accessibility share.
    QRect toPixels(const QRect& twips) const;
    QPointF toTwips(const QPointF& pixels) const;
    double dpi() const;

    // Paints the board area `exposed` (pixels) with `painter`; used by paintEvent and by benchmarks.
    void paintBoard(QPainter& painter, const QRect& exposed) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void fitExtent();
    // Shows the dragged cell's picture at the pointer while the mouse handler drags a cell.
    void followDrag();
    void invalidate(const QRect& twips);
    // Asks for a repaint of `px` now, or gathers it for a little later while painting is costly.
    void request(const QRect& px);
    // The part of the canvas the scroll area shows.
    QRect visibleArea() const;
    BoardModel& m_board;
    // Rectangles queued since the last paint; past a few dozen the whole visible area is repainted
    // instead, which is cheaper than a region of hundreds of pieces.
    int m_pendingRects = 0;
    bool m_wholePending = false;
    // What the last paint cost and when it ended (the clock's ms), and the changes held back since.
    qint64 m_lastPaintCost = 0;
    qint64 m_lastPaintEnd = 0;
    QRect m_held;
    std::unique_ptr<Timer> m_heldTimer;
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
