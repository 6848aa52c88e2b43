#include "board/BoardCursor.h"

#include "board/BoardModel.h"

#include <algorithm>
#include <cstdlib>

namespace corvane {

BoardCursor::BoardCursor(const BoardModel& board) : m_board(board) {}

bool BoardCursor::isShown(int id) const {
    // The template cell is no channel; a cell that was only named as a peer shows nothing yet.
    const ChannelCell* c = id != 1 ? m_board.cell(id) : nullptr;
    return c && c->stateVisible;
}

int BoardCursor::left(int id) const {
    return m_board.cell(id)->back.left();
}

std::vector<int> BoardCursor::rowCells(int s) const {
    std::vector<int> out;
    const auto& rows = m_board.rows();
    if (s < 1 || s >= static_cast<int>(rows.size()))
        return out;
    const auto& cells = m_board.cells();
    for (int index : rows[static_cast<std::size_t>(s)])
        if (isShown(cells[static_cast<std::size_t>(index)].id))
            out.push_back(index);
    std::sort(out.begin(), out.end(), [&cells](int a, int b) {
        const ChannelCell& ca = cells[static_cast<std::size_t>(a)];
        const ChannelCell& cb = cells[static_cast<std::size_t>(b)];
        return ca.back.left() != cb.back.left() ? ca.back.left() < cb.back.left() : ca.id < cb.id;
    });
    return out;
}

std::optional<int> BoardCursor::nextRow(int s, int step) const {
    const int rows = static_cast<int>(m_board.rows().size());
    for (int r = s + step; r >= 1 && r < rows; r += step)
        if (!rowCells(r).empty())
            return r;
    return std::nullopt;
}

bool BoardCursor::setCurrent(int id) {
    if (!isShown(id))
        return false;
    endBand();
    m_current = id;
    m_goalLeft.reset();
    return true;
}

bool BoardCursor::ensureCurrent() {
    if (isShown(m_current))
        return true;
    m_current = 0;
    m_anchor = 0;
    m_goalLeft.reset();
    const std::optional<int> first = nextRow(0, 1);
    if (!first)
        return false;
    m_current = m_board.cells()[static_cast<std::size_t>(rowCells(*first).front())].id;
    return true;
}

bool BoardCursor::move(Move m, bool extend) {
    if (!ensureCurrent())
        return false;
    if (!extend)
        endBand();
    const auto& cells = m_board.cells();
    const int from = m_current;
    int to = 0;
    if (m == Move::Left || m == Move::Right) {
        const std::vector<int> row = rowCells(span(from));
        const auto at = std::find_if(row.begin(), row.end(), [&](int index) {
            return cells[static_cast<std::size_t>(index)].id == from;
        });
        const std::ptrdiff_t i = (at - row.begin()) + (m == Move::Right ? 1 : -1);
        if (i >= 0 && i < static_cast<std::ptrdiff_t>(row.size()))
            to = cells[static_cast<std::size_t>(row[static_cast<std::size_t>(i)])].id;
        if (to != 0)
            m_goalLeft.reset();
    } else if (const std::optional<int> r = nextRow(span(from), m == Move::Down ? 1 : -1)) {
        const int goal = m_goalLeft.value_or(left(from));
        // The nearest cell to the column; of two as near, the left one.
        long best = -1;
        for (int index : rowCells(*r)) {
            const ChannelCell& c = cells[static_cast<std::size_t>(index)];
            const long distance = std::labs(static_cast<long>(c.back.left()) - goal);
            if (best < 0 || distance < best) {
                best = distance;
                to = c.id;
            }
        }
        m_goalLeft = goal;
    }
    if (to == 0)
        return false;
    if (extend && m_anchor == 0)
        m_anchor = from;
    m_current = to;
    return true;
}

void BoardCursor::endBand() {
    if (m_anchor == 0)
        return;
    m_anchor = 0;
    if (BoardKeyHandler* h = m_board.keyHandler())
        h->cursorBand({}, {});
}

std::vector<int> BoardCursor::bandCells() const {
    std::vector<int> out;
    if (m_anchor == 0 || !isShown(m_anchor) || !isShown(m_current))
        return out;
    const auto [top, bottom] = std::minmax({span(m_anchor), span(m_current)});
    const auto [from, to] = std::minmax({left(m_anchor), left(m_current)});
    const auto& cells = m_board.cells();
    for (int s = top; s <= bottom; ++s)
        for (int index : rowCells(s))
            if (const ChannelCell& c = cells[static_cast<std::size_t>(index)];
                c.back.left() >= from && c.back.left() <= to)
                out.push_back(c.id);
    std::sort(out.begin(), out.end());
    return out;
}

QRect BoardCursor::bandTwips() const {
    if (m_anchor == 0 || !isShown(m_anchor) || !isShown(m_current))
        return {};
    return m_board.cell(m_anchor)->back | m_board.cell(m_current)->back;
}

bool BoardCursor::key(int key, Qt::KeyboardModifiers modifiers) {
    // Shift spans the band; other modifiers leave the key to the scroll area and the shortcuts.
    const bool shift = modifiers.testFlag(Qt::ShiftModifier);
    if (modifiers & ~(Qt::ShiftModifier | Qt::KeypadModifier))
        return false;
    BoardKeyHandler* h = m_board.keyHandler();
    std::optional<Move> m;
    switch (key) {
    case Qt::Key_Left:
        m = Move::Left;
        break;
    case Qt::Key_Right:
        m = Move::Right;
        break;
    case Qt::Key_Up:
        m = Move::Up;
        break;
    case Qt::Key_Down:
        m = Move::Down;
        break;
    case Qt::Key_Space:
        if (shift)
            return false;
        endBand();
        if (ensureCurrent() && h)
            h->cursorToggled(m_current);
        return true;
    default:
        return false;
    }
    // The first arrow on a board without a cursor cell only puts it on the first cell.
    const bool had = isShown(m_current);
    if (!ensureCurrent())
        return true;
    if (had && !move(*m, shift))
        return true;
    if (h) {
        if (m_anchor != 0)
            h->cursorBand(bandCells(), bandTwips());
        h->cursorEntered(m_current);
    }
    return true;
}

} // namespace corvane
