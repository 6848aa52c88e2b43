#pragma once
// Marking channels with the mouse and the pointer feedback on the board: a press and release on a cell
// toggles its mark; a band dragged over the background or from a span label toggles the cells whose
// state label corner lies strictly inside it; the band follows a dragged cell; the cell under the
// pointer and its route peer get a contrasting border, the route line shows and CallText shows the
// cell's call information. The keyboard cursor gives the same: Space is a click on its cell, the cursor
// entering a cell is the pointer entering it, and a band spanned with Shift and the arrows toggles the
// cells it covers, as a mouse band does, and gives a cell it leaves again its mark from before. The
// number of marked cells is shown beside the buttons.

#include "board/BoardCursor.h"
#include "board/BoardMouse.h"

#include <QMetaObject>
#include <QPointF>
#include <QString>
#include <cstdint>
#include <map>

namespace corvane {

class BoardModel;
class MainWindowModel;
class SwitchCommands;

class Selection final : public BoardMouseHandler, public BoardKeyHandler {
public:
    // Installs itself as the board's mouse and key handler, and the tab control's mouse move.
    Selection(BoardModel& board, MainWindowModel& ui, SwitchCommands& commands);
    ~Selection() override;

    void press(const BoardMouseEvent& event) override;
    void move(const BoardMouseEvent& event) override;
    void release(const BoardMouseEvent& event) override;
    void doubleClick(const BoardMouseEvent& event) override;
    void leave() override;

    void cursorEntered(int id) override;
    void cursorToggled(int id) override;
    void cursorBand(const std::vector<int>& ids, const QRect& twips) override;

    // The caption beside the buttons for `count` marked cells.
    static QString markedCaption(int count);

    // The mouse moved over the tab control around the board.
    void tabMouseMove();

    // Mark of a cell flipped: anything but "X"/"x" becomes "X", a marked cell becomes empty.
    void toggleMark(int id);
    // The cell under the pointer (gblidx) is no longer highlighted.
    void leaveCells();

    // The cell being dragged, 0 when none.
    int dragSource() const override { return m_dragSource; }
    QPointF anchor() const { return {double(m_anchorX), double(m_anchorY)}; }

private:
    // Who received the press and keeps the mouse until the release.
    enum class Capture { None, Background, SpanLabel, Cell };

    void startBand(QPointF at);
    void resizeBand(QPointF at);
    void endBand(Qt::MouseButton button);
    void dragOver(QPointF at);
    void drop(QPointF at);
    void enterCell(int id);
    void highlight(int id);
    void normalBorder(int id);

    BoardModel& m_board;
    MainWindowModel& m_ui;
    SwitchCommands& m_commands;
    Capture m_capture = Capture::None;
    int m_dragSource = 0;
    int m_pressedCell = 0; // the cell that received a press of another button
    std::int16_t m_anchorX = 0;
    std::int16_t m_anchorY = 0;
    // The cells the keyboard band covers, with the mark each had before the band reached it.
    std::map<int, QString> m_keyBand;
    bool m_keyBandShown = false;
    QMetaObject::Connection m_markedCount;
};

} // namespace corvane
