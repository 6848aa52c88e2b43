#pragma once
// What a screen reader finds on the board: the board is a list whose items are the channel cells, in
// the order of their creation (so an item keeps its index for the whole run). Each item says its
// channel, span and position, its state colour and side, its mark, its route peer, its tool tip and
// its call information. Item interfaces are made only for the cells a reader asks about, so a board
// of ten thousand cells costs nothing until then; changes are told to the reader only while one is
// active, and only for those items.

#include "common/Units.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <functional>

namespace corvane {

class BoardCanvas;
class BoardModel;
struct ChannelCell;

// The name of a colour of the board's and the indicators' palettes ("green", "light grey"), or its
// #rrggbb text for any other colour.
QString colourName(LegacyColor colour);

// What a reader says of one cell.
QString cellAccessibleName(const ChannelCell& cell);
QString cellAccessibleDescription(const ChannelCell& cell);

// Where the board tells a reader of changes: Qt's accessibility, and only while a reader is active.
// Tests put their own here to hear what a reader would (Qt's own stays silent without a reader).
struct ReaderChannel {
    std::function<bool()> active;
    std::function<void(QAccessibleEvent*)> deliver;
};
// An empty member puts Qt's own back.
void setReaderChannel(ReaderChannel channel);

// Tells a reader that the canvas's cursor cell has the focus (the canvas has it and the cursor moved).
void tellCursorFocus(BoardCanvas& canvas);

// Makes Qt's accessibility use BoardAccessible for every BoardCanvas; once per program, further calls
// do nothing.
void installBoardAccessibility();

class BoardAccessible final : public QAccessibleWidget {
public:
    explicit BoardAccessible(BoardCanvas* canvas);
    ~BoardAccessible() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    // The cursor cell while the board has the focus.
    QAccessibleInterface* focusChild() const override;
    QString text(QAccessible::Text t) const override;

    // The item of a channel, made on first use; nullptr when the board has no such cell.
    QAccessibleInterface* cellInterface(int id) const;
    BoardCanvas* canvas() const;
    BoardModel& board() const { return m_board; }

private:
    struct Told {
        QAccessible::Id id = 0;
        QString name;
        QString description;
        bool marked = false;
    };
    // The index of the first channel cell among the board's cells (the template cell is no channel).
    int firstChannel() const;
    void cellMayHaveChanged(int id);
    void areaMayHaveChanged(const QRect& twips);
    void tell(int channel, Told& told);

    BoardModel& m_board;
    QList<QMetaObject::Connection> m_connections;
    // The items made so far, by channel, with what the reader was last told of each.
    mutable QHash<int, Told> m_items;
};

} // namespace corvane
