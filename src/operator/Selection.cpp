#include "operator/Selection.h"

#include "board/BoardModel.h"
#include "board/Colors.h"
#include "common/LegacyText.h"
#include "common/MainWindowModel.h"
#include "operator/SwitchCommands.h"

#include <algorithm>
#include <cmath>

namespace corvane {

namespace {
constexpr int kHighlightBorderStyle = 1;

bool isBackground(BoardHit::Kind kind) {
    // Group squares are shapes: a point on them belongs to the board background.
    return kind == BoardHit::Kind::Background || kind == BoardHit::Kind::GroupSquare;
}
bool isSpanLabel(BoardHit::Kind kind) {
    return kind == BoardHit::Kind::InnerLabel || kind == BoardHit::Kind::OuterLabel;
}
} // namespace

Selection::Selection(BoardModel& board, MainWindowModel& ui, SwitchCommands& commands)
    : m_board(board), m_ui(ui), m_commands(commands) {
    m_board.setMouseHandler(this);
    m_board.setKeyHandler(this);
    m_markedCount = QObject::connect(&m_board, &BoardModel::markedCountChanged, &m_ui, [this](int count) {
        m_ui.setCaption(Element::MarkedCount, markedCaption(count));
    });
    m_ui.setCaption(Element::MarkedCount, markedCaption(m_board.markedCount()));
    m_ui.setElementAction(Element::SSTab1, MainWindowModel::Gesture::MouseMove, [this] { tabMouseMove(); });
}

Selection::~Selection() {
    QObject::disconnect(m_markedCount);
    if (m_board.mouseHandler() == this)
        m_board.setMouseHandler(nullptr);
    if (m_board.keyHandler() == this)
        m_board.setKeyHandler(nullptr);
}

QString Selection::markedCaption(int count) {
    return QStringLiteral("%1 marked").arg(count);
}

void Selection::toggleMark(int id) {
    const ChannelCell* c = m_board.cell(id);
    if (!c)
        return;
    m_board.setMark(id, c->mark.toUpper() == QLatin1String("X") ? QString() : QStringLiteral("X"));
}

void Selection::press(const BoardMouseEvent& event) {
    const BoardHit hit = m_board.hitTest(event.twips);
    if (hit.kind == BoardHit::Kind::StateLabel) {
        m_capture = Capture::Cell;
        m_pressedCell = hit.id;
        // Only the left button drags a cell; the drop on itself is the click that toggles it.
        if (event.button == Qt::LeftButton)
            m_dragSource = hit.id;
        return;
    }
    if (isBackground(hit.kind)) {
        m_capture = Capture::Background;
        startBand(event.twips);
        return;
    }
    // A span label keeps the mouse until the release even when the press starts no band.
    m_capture = Capture::SpanLabel;
    if (hit.kind == BoardHit::Kind::OuterLabel || event.button == Qt::LeftButton)
        startBand(event.twips);
}

void Selection::move(const BoardMouseEvent& event) {
    if (m_dragSource != 0) {
        dragOver(event.twips);
        return;
    }
    const bool held = event.buttons != Qt::NoButton;
    if (m_capture == Capture::Cell) {
        // The cell that received the press keeps the mouse: its moves are moves over that cell.
        enterCell(m_pressedCell);
        return;
    }
    if (m_capture == Capture::SpanLabel || m_capture == Capture::Background) {
        if (held)
            resizeBand(event.twips);
        return;
    }
    const BoardHit hit = m_board.hitTest(event.twips);
    if (hit.kind == BoardHit::Kind::StateLabel) {
        enterCell(hit.id);
    } else if (isBackground(hit.kind)) {
        if (held)
            resizeBand(event.twips);
        else
            leaveCells();
    }
    // Over a span label without having pressed on it: the highlight stays.
}

void Selection::release(const BoardMouseEvent& event) {
    if (m_dragSource != 0) {
        if (event.button == Qt::LeftButton) {
            drop(event.twips);
            m_dragSource = 0;
        }
    } else if (m_capture == Capture::Background || m_capture == Capture::SpanLabel) {
        endBand(event.button);
    } else if (m_capture == Capture::None && isBackground(m_board.hitTest(event.twips).kind)) {
        endBand(event.button);
    }
    if (event.buttons == Qt::NoButton)
        m_capture = Capture::None;
}

void Selection::doubleClick(const BoardMouseEvent& event) {
    // The window system reports the second press of a double click as the double click itself: it is
    // a press like the first, so a cell clicked twice is toggled twice and a band starts as usual.
    // The span labels also have a double click of their own.
    press(event);
    if (isSpanLabel(m_board.hitTest(event.twips).kind))
        m_commands.spanLabelDoubleClick();
}

void Selection::leave() {
    // A drag leaving the board takes the rectangle with it; the highlight stays until the pointer
    // reaches the background or the tab control.
    if (m_dragSource != 0) {
        BandRect band = m_board.band();
        band.visible = false;
        m_board.setBand(band);
    }
}

void Selection::cursorEntered(int id) {
    enterCell(id);
}

void Selection::cursorToggled(int id) {
    toggleMark(id);
}

void Selection::cursorBand(const std::vector<int>& ids, const QRect& twips) {
    if (ids.empty()) {
        // The band is over: its toggles stay, as those of a mouse band do.
        m_keyBand.clear();
        if (m_keyBandShown) {
            BandRect band = m_board.band();
            band.visible = false;
            m_board.setBand(band);
            m_keyBandShown = false;
        }
        return;
    }
    // A cell the band no longer covers gets its mark back, unless something else changed it since.
    for (auto it = m_keyBand.begin(); it != m_keyBand.end();) {
        if (std::binary_search(ids.begin(), ids.end(), it->first)) {
            ++it;
            continue;
        }
        const ChannelCell* c = m_board.cell(it->first);
        const bool before = it->second.toUpper() == QLatin1String("X");
        if (c && c->isMarked() != before)
            m_board.setMark(it->first, it->second);
        it = m_keyBand.erase(it);
    }
    for (int id : ids) {
        const ChannelCell* c = m_board.cell(id);
        if (!c || m_keyBand.count(id))
            continue;
        m_keyBand.emplace(id, c->mark);
        toggleMark(id);
    }
    BandRect band = m_board.band();
    band.left = twips.left();
    band.top = twips.top();
    band.width = twips.width();
    band.height = twips.height();
    band.visible = true;
    m_board.setBand(band);
    m_keyBandShown = true;
}

void Selection::tabMouseMove() {
    leaveCells();
}

void Selection::startBand(QPointF at) {
    BandRect band = m_board.band();
    band.left = at.x();
    band.top = at.y();
    m_anchorX = toInt16(std::nearbyint(at.x())).value_or(m_anchorX);
    m_anchorY = toInt16(std::nearbyint(at.y())).value_or(m_anchorY);
    band.width = 0;
    band.height = 0;
    band.visible = true;
    m_board.setBand(band);
}

void Selection::resizeBand(QPointF at) {
    BandRect band = m_board.band();
    band.width = std::abs(at.x() - m_anchorX);
    band.height = std::abs(at.y() - m_anchorY);
    band.left = std::min<double>(at.x(), m_anchorX);
    band.top = std::min<double>(at.y(), m_anchorY);
    m_board.setBand(band);
}

void Selection::endBand(Qt::MouseButton button) {
    BandRect band = m_board.band();
    if (button == Qt::LeftButton) {
        band.visible = false;
        m_board.setBand(band);
    }
    const float left = static_cast<float>(band.left);
    const float top = static_cast<float>(band.top);
    const float right = left + static_cast<float>(band.width);
    const float bottom = top + static_cast<float>(band.height);
    for (int id : m_board.cellIds()) {
        const ChannelCell* c = m_board.cell(id);
        if (!c)
            continue;
        const auto lx = static_cast<float>(c->stateRect.left());
        const auto ly = static_cast<float>(c->stateRect.top());
        if (left < lx && lx < right && top < ly && ly < bottom)
            toggleMark(id);
    }
}

void Selection::dragOver(QPointF at) {
    BandRect band = m_board.band();
    if (m_board.hitTest(at).kind == BoardHit::Kind::StateLabel) {
        // Over a cell the drag shows nothing; the element it left hid the rectangle.
        band.visible = false;
    } else {
        band.left = at.x();
        band.top = at.y();
        band.visible = true;
    }
    m_board.setBand(band);
}

void Selection::drop(QPointF at) {
    const BoardHit hit = m_board.hitTest(at);
    if (hit.kind == BoardHit::Kind::StateLabel) {
        if (hit.id == m_dragSource)
            toggleMark(hit.id);
        return;
    }
    BandRect band = m_board.band();
    band.visible = false;
    m_board.setBand(band);
}

void Selection::highlight(int id) {
    if (const ChannelCell* c = m_board.cell(id))
        m_board.setBorder(id, borderColorFor(c->groupColor), kHighlightBorderStyle);
}

void Selection::normalBorder(int id) {
    if (const ChannelCell* c = m_board.cell(id))
        m_board.setBorder(id, c->groupColor, m_board.normalBorderStyle());
}

void Selection::enterCell(int id) {
    const ChannelCell* c = m_board.cell(id);
    if (!c || id == m_board.gblidx())
        return;
    const int peer = toInt16(c->peerNumber()).value_or(0);
    if (peer != 0)
        highlight(peer);
    if (m_ui.isChecked(MenuItem::ShowRouteLines))
        m_board.dimColor(id, true);
    highlight(id);
    // The new cell is lit before the old one is restored: moving from a cell to its own peer therefore
    // leaves both without a highlight.
    if (const int h = m_board.gblidx(); h != 0) {
        normalBorder(h);
        if (const ChannelCell* hc = m_board.cell(h); hc && hc->connected)
            normalBorder(hc->peerNumber());
        m_board.dimColor(h, false);
    }
    m_board.setGblidx(id);
    c = m_board.cell(id);
    const TextColors colours = textSetColors(c->stateColor);
    m_ui.setBack(Element::CallText, colours.back);
    m_ui.setFore(Element::CallText, colours.fore);
    m_ui.setCaption(Element::CallText, c->callInfo);
}

void Selection::leaveCells() {
    const int h = m_board.gblidx();
    if (h == 0)
        return;
    normalBorder(h);
    if (const ChannelCell* hc = m_board.cell(h))
        normalBorder(hc->peerNumber());
    m_board.dimColor(h, false);
    m_board.setGblidx(0);
}

} // namespace corvane
