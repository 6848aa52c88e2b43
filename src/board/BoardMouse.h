#pragma once
// What the board tells the operator's selection logic about the mouse, in board twips (the coordinates
// of Picture1, as cells and span labels are placed). The board view forwards every mouse event on the
// board to the installed handler; the handler asks BoardModel::hitTest what lies under the pointer.

#include <QPointF>
#include <QRectF>
#include <Qt>

namespace corvane {

struct BoardMouseEvent {
    QPointF twips;                         // pointer position on the board
    Qt::MouseButton button = Qt::NoButton; // the button that changed (press, release, double click)
    Qt::MouseButtons buttons;              // the buttons held after the event
    Qt::KeyboardModifiers modifiers;
};

class BoardMouseHandler {
public:
    virtual ~BoardMouseHandler() = default;
    virtual void press(const BoardMouseEvent& event) = 0;
    virtual void move(const BoardMouseEvent& event) = 0;
    virtual void release(const BoardMouseEvent& event) = 0;
    virtual void doubleClick(const BoardMouseEvent& event) = 0;
    // The pointer left the board (into the rest of the window).
    virtual void leave() = 0;
    // The cell being dragged, 0 when none; the board shows the cell's drag picture at the pointer
    // meanwhile.
    virtual int dragSource() const { return 0; }
};

// The topmost element at a board point. Group squares and markers are shapes: they take no mouse events
// of their own, so a point on them belongs to the board background for the selection logic; the
// hit still names the cell for whoever wants it.
struct BoardHit {
    enum class Kind {
        Background,  // the board itself
        GroupSquare, // a cell's background square (id)
        StateLabel,  // a cell's state label (id)
        InnerLabel,  // inner span label (span)
        OuterLabel,  // outer span label (span)
    };
    Kind kind = Kind::Background;
    int id = 0;        // the cell's ChannelId for GroupSquare and StateLabel
    int span = 0;      // the span number for InnerLabel and OuterLabel
    QRectF labelTwips; // the span label's rectangle, to turn label-relative positions around
};

// The selection band (the shape "Grouper"): a dotted outline in the window text colour, no fill, drawn
// above every other board element.
struct BandRect {
    double left = 0;
    double top = 0;
    double width = 1080;
    double height = 735;
    bool visible = false;
};

} // namespace corvane
