#pragma once
// The board's keyboard cursor: one channel cell at a time, moved with the arrow keys over the board's
// own geometry. Left and Right go from cell to cell along a span row and stop at its ends; Up and Down
// go to the nearest cell of the next row that shows any, keeping the column the cursor came from so a
// short row on the way does not pull it to the left. Positions without a shown cell (the gaps between
// blocks of six, channels never reported, spans without channels) are passed over. Shift with an arrow
// spans a band from the cell where Shift was first held to the cursor; Space toggles the cursor cell.
// What the keys mean for marks and pointer feedback is the selection logic's: the cursor tells it
// through the board's key handler.

#include <QRect>
#include <Qt>
#include <optional>
#include <vector>

namespace corvane {

class BoardModel;

// What the keyboard tells the operator's selection logic, the counterpart of BoardMouseHandler.
class BoardKeyHandler {
public:
    virtual ~BoardKeyHandler() = default;
    // The cursor reached cell id: the feedback of the pointer entering it.
    virtual void cursorEntered(int id) = 0;
    // Space on cell id: what a click on it does.
    virtual void cursorToggled(int id) = 0;
    // The band now covers `ids` (ascending), inside `twips`; empty ids end the band.
    virtual void cursorBand(const std::vector<int>& ids, const QRect& twips) = 0;
};

class BoardCursor {
public:
    enum class Move { Left, Right, Up, Down };

    explicit BoardCursor(const BoardModel& board);

    // The cursor cell, 0 when there is none yet.
    int current() const { return m_current; }
    // Where the band started, 0 while there is no band.
    int anchor() const { return m_anchor; }

    // Puts the cursor on a shown channel cell; ends any band. False (and nothing changes) for anything
    // else.
    bool setCurrent(int id);
    // Gives the cursor the first shown cell of the board (top row, leftmost) when it has none.
    bool ensureCurrent();
    // One step; with `extend` the band grows from the anchor (set now when there is none). True when
    // the cursor moved.
    bool move(Move move, bool extend);
    void endBand();

    // The shown cells between the anchor and the cursor: the rows from one to the other, each from the
    // left of the two to the right of the two. Ascending ids; empty without a band.
    std::vector<int> bandCells() const;
    // The squares of the anchor and the cursor together, empty without a band.
    QRect bandTwips() const;

    // The keys the board understands, handled through the board's key handler (when one is installed).
    // False for any other key, which goes on to the scroll area.
    bool key(int key, Qt::KeyboardModifiers modifiers);

private:
    // Shown channel cells of one span row, left to right: dense indices into the board's cells.
    std::vector<int> rowCells(int span) const;
    // The span of the nearest row after (step 1) or before (step -1) `span` that shows a cell.
    std::optional<int> nextRow(int span, int step) const;
    bool isShown(int id) const;
    int left(int id) const;

    const BoardModel& m_board;
    int m_current = 0;
    int m_anchor = 0;
    // The column that Up and Down aim at: the left edge where the last sideways move ended.
    std::optional<int> m_goalLeft;
};

} // namespace corvane
