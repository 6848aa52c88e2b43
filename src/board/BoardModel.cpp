#include "board/BoardModel.h"

#include "board/Colors.h"
#include "board/GroupTables.h"
#include "common/LegacyText.h"
#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"
#include "platform/PollingWait.h"
#include "link/LinkSocket.h"

#include <algorithm>
#include <limits>

namespace corvane {

namespace {
const QString kMarkX = QStringLiteral("X");
const QString kMarkSmallX = QStringLiteral("x");
const QString kMarkQuestion = QStringLiteral("?");

// round(value) \ 2 with the value first rounded to 32 bits, as every halving of the layout does.
int halfOf(double value) {
    return toInt32(value).value_or(0) / 2;
}

constexpr MenuItem kGroupColorItems[] = {MenuItem::GroupColors0, MenuItem::GroupColors1,
                                         MenuItem::GroupColors2, MenuItem::GroupColors3};
constexpr MenuItem kSizeItems[] = {MenuItem::SizeF8, MenuItem::SizeF9, MenuItem::SizeF10, MenuItem::SizeF11,
                                   MenuItem::SizeF12};
} // namespace

QString ChannelCell::peerText() const {
    return hasPeerTag() ? numberText(static_cast<long long>(m_peerTag)) : QString();
}

QString ChannelCell::toolTip() const {
    if (!m_tipSide)
        return {};
    return numberText(static_cast<long long>(m_tipGroup)) +
           (m_tipSide == 'R' ? QLatin1String(" - R ") : QLatin1String(" - O ")) + m_tipName +
           numberText(static_cast<long long>(id));
}

void ChannelCell::setToolTip(std::int16_t group_, char side_, const QString& name) {
    m_tipGroup = group_;
    m_tipSide = side_;
    m_tipName = name;
}

QRect ChannelCell::routeBounds() const {
    return QRect(QPoint(std::min(routeStart.x(), routeEnd.x()), std::min(routeStart.y(), routeEnd.y())),
                 QPoint(std::max(routeStart.x(), routeEnd.x()), std::max(routeStart.y(), routeEnd.y())))
        .adjusted(-30, -30, 30, 30);
}

QRect ChannelCell::bounds() const {
    return back | stateRect | markerRect;
}

BoardModel::BoardModel(MainWindowModel& ui, MonitorConfig& config, GroupTables& groups, Clock& clock,
                       LinkSocket& link, std::function<bool()> applyingMessages)
    : m_ui(ui), m_config(config), m_groups(groups), m_clock(clock), m_link(link),
      m_applyingMessages(std::move(applyingMessages)), m_slot(kSlots, -1), m_rows(kMaxSpan + 1),
      m_inner(kMaxSpan + 1), m_outer(kMaxSpan + 1), m_descriptionWait(std::make_unique<PollingWait>(clock)) {
    // The design-time board: the template cell at the origin, black state label with white text, a green
    // marker, and span label 1 of each kind.
    m_x0 = static_cast<std::int16_t>(toInt32(100.0 + kLabelWidth).value_or(0));
    m_y0 = 100;
    ChannelCell t;
    t.id = 1;
    t.back = QRect(m_x0, m_y0, kCellSize, kCellSize);
    t.groupColor = groupColor(1, true, config.groupColorScheme);
    t.borderColor = t.groupColor;
    t.backVisible = true;
    t.stateRect = QRect(m_x0 + halfOf(kCellSize - kStateSize), m_y0 + halfOf(kCellSize - kStateSize),
                        kStateSize, kStateSize);
    t.stateVisible = true;
    t.markerRect = QRect(m_x0 + halfOf(kCellSize - kMarkerSize), m_y0 + halfOf(kCellSize - kMarkerSize),
                         kMarkerSize, kMarkerSize);
    t.routeStart = t.routeEnd = QPoint(m_x0 + halfOf(kCellSize), m_y0 + halfOf(kCellSize));
    m_slot[1] = 0;
    m_cells.push_back(t);
    m_rows[0].push_back(0);

    SpanLabel& inner = m_inner[1];
    inner.exists = true;
    inner.rect = QRect(50, m_y0, kLabelWidth, kLabelHeight);
    inner.visible = true;
    inner.back = kWhite;
    SpanLabel& outer = m_outer[1];
    outer.exists = true;
    outer.rect = QRect(m_x0, m_y0, kLabelWidth, kLabelHeight);
    outer.visible = false;
    m_extent = t.back | inner.rect | outer.rect;

    for (int i = 0; i < 4; ++i)
        ui.setMenuAction(kGroupColorItems[i], [this, i] { setGroupColorMode(i); });
    for (int i = 0; i < 5; ++i)
        ui.setMenuAction(kSizeItems[i], [this, i] { chooseFontSize(8 + i); });
    ui.setMenuAction(MenuItem::FontNarrow, [this] { setFontNarrow(!m_ui.isChecked(MenuItem::FontNarrow)); });
    ui.setMenuAction(MenuItem::BoldFont, [this] { setBoldFont(!m_ui.isChecked(MenuItem::BoldFont)); });
    ui.setMenuAction(MenuItem::ShowRouteLines, [this] { toggleShowRouteLines(); });
}

BoardModel::~BoardModel() = default;

const ChannelCell* BoardModel::cell(int id) const {
    return hasCell(id) ? &m_cells[static_cast<std::size_t>(m_slot[static_cast<std::size_t>(id)])] : nullptr;
}

ChannelCell* BoardModel::cell(int id) {
    return hasCell(id) ? &m_cells[static_cast<std::size_t>(m_slot[static_cast<std::size_t>(id)])] : nullptr;
}

std::vector<int> BoardModel::cellIds() const {
    std::vector<int> ids;
    ids.reserve(m_cells.size());
    for (const ChannelCell& c : m_cells)
        ids.push_back(c.id);
    std::sort(ids.begin(), ids.end());
    return ids;
}

const SpanLabel& BoardModel::innerLabel(int s) const {
    return s >= 0 && s <= kMaxSpan ? m_inner[static_cast<std::size_t>(s)] : m_none;
}

const SpanLabel& BoardModel::outerLabel(int s) const {
    return s >= 0 && s <= kMaxSpan ? m_outer[static_cast<std::size_t>(s)] : m_none;
}

void BoardModel::grow(const QRect& r) {
    if (m_extent.contains(r))
        return;
    m_extent |= r;
    emit extentChanged(m_extent);
}

void BoardModel::changedCell(const ChannelCell& c) {
    // The state label and the marker keep the template's offsets inside the square.
    emit areaChanged(c.back);
}

void BoardModel::cellChanged(int id) {
    if (const ChannelCell* c = cell(id))
        changedCell(*c);
}

void BoardModel::ensureLabel(std::vector<SpanLabel>& labels, int s) {
    SpanLabel& l = labels[static_cast<std::size_t>(s)];
    if (l.exists)
        return;
    l = labels[1];
    l.visible = true;
    l.caption.clear();
}

void BoardModel::placeTemplate(std::int16_t state, std::int16_t group) {
    ChannelCell& t = m_cells[static_cast<std::size_t>(m_slot[1])];
    const int w = t.back.width();
    const int h = t.back.height();
    m_x0 = static_cast<std::int16_t>(toInt32(100.0 + m_inner[1].rect.width()).value_or(m_x0));
    t.stateRect.moveLeft(m_x0 + halfOf(w - t.stateRect.width()));
    t.markerRect.moveLeft(m_x0 + halfOf(w - t.markerRect.width()));
    t.routeStart.setX(m_x0 + halfOf(w));
    t.routeEnd.setX(t.routeStart.x());
    m_y0 = 100;
    t.group = group;
    m_inner[1].rect.moveTop(m_y0);
    t.stateRect.moveTop(m_y0 + halfOf(h - t.stateRect.height()));
    t.markerRect.moveTop(m_y0 + halfOf(h - t.markerRect.height()));
    t.routeStart.setY(m_y0 + halfOf(h));
    t.routeEnd.setY(t.routeStart.y());
    t.routeVisible = false;
    t.connected = false;
    if (isRSide(state))
        m_inner[1].rect.moveLeft(50);
    emit boardChanged();
}

void BoardModel::placeCell(int id, std::int16_t state, std::int16_t group) {
    if (id == 1) {
        placeTemplate(state, group);
        return;
    }
    if (id < 101 || id >= kSlots || hasCell(id))
        return;
    const bool rSide = isRSide(state);
    const int s = span(id);

    ChannelCell& t = m_cells[static_cast<std::size_t>(m_slot[1])];
    const int w = t.back.width();
    const int h = t.back.height();
    // A new cell copies the template in everything but visibility.
    ChannelCell c = t;
    t.connected = false;
    c.id = static_cast<ChannelId>(id);
    c.backVisible = c.stateVisible = c.connected = c.routeVisible = false;

    const int k = position(id) - 1;
    const int dx = toInt32(static_cast<double>(k + k / 6) * w).value_or(0);
    c.back.moveLeft(m_x0 + dx);
    const QSize client = m_ui.clientSize();
    if (c.back.left() + m_outer[1].rect.width() > client.width())
        m_ui.setClientSize(QSize(client.width() + 9 * w, client.height()));
    c.group = group;

    const QRect labelsBefore =
        m_inner[static_cast<std::size_t>(s)].rect | m_outer[static_cast<std::size_t>(s)].rect;
    const int right = c.back.left() + c.back.width();
    if (!rSide) {
        ensureLabel(m_outer, s);
        if (s == 1)
            m_outer[1].visible = true;
        SpanLabel& o = m_outer[static_cast<std::size_t>(s)];
        if (right > o.rect.left())
            o.rect.moveLeft(right);
    } else {
        SpanLabel& o = m_outer[static_cast<std::size_t>(s)];
        if (o.exists && right > o.rect.left())
            o.rect.moveLeft(right);
        ensureLabel(m_inner, s);
        m_inner[static_cast<std::size_t>(s)].rect.moveLeft(50);
    }

    c.stateRect.moveLeft(t.stateRect.left() + dx);
    c.markerRect.moveLeft(t.markerRect.left() + dx);
    c.routeStart.setX(t.routeStart.x() + dx);
    c.routeEnd.setX(t.routeEnd.x() + dx);

    // Rows are DELTA_Y cell heights apart; the product is taken in single precision.
    const float rowOffset = static_cast<float>(h) * m_config.deltaY * static_cast<float>(s - 1);
    std::optional<std::int32_t> dy = toInt32(static_cast<double>(rowOffset));
    // A row so far away that its rectangles' edges would not fit in 32 bits fails like an offset that
    // does not fit at all: the cell keeps the template's row.
    constexpr std::int32_t kFarthestRow = std::numeric_limits<std::int32_t>::max() / 2;
    if (dy && (*dy > kFarthestRow || *dy < -kFarthestRow))
        dy.reset();
    if (dy) {
        c.back.moveTop(m_y0 + *dy);
        (rSide ? m_inner : m_outer)[static_cast<std::size_t>(s)].rect.moveTop(c.back.top());
    }
    if (id > m_highestBuilt)
        m_highestBuilt = id;
    m_lastBuilt = id;
    if (dy) {
        c.stateRect.moveTop(t.stateRect.top() + *dy);
        c.markerRect.moveTop(t.markerRect.top() + *dy);
        c.routeStart.setY(t.routeStart.y() + *dy);
        c.routeEnd.setY(t.routeEnd.y() + *dy);
    }

    c.stateColor = stateColor(state);
    c.groupColor = groupColor(group, rSide, m_config.groupColorScheme);
    c.borderColor = c.groupColor;
    c.side = rSide ? 'R' : 'O';
    if (!rSide && group > 0)
        updateStatsRow(c);
    if (s > m_brdMax)
        m_brdMax = static_cast<std::int16_t>(s);
    if (s < m_brdMin)
        m_brdMin = static_cast<std::int16_t>(s);

    const int index = static_cast<int>(m_cells.size());
    m_slot[static_cast<std::size_t>(id)] = static_cast<std::int16_t>(index);
    m_cells.push_back(std::move(c));
    m_rows[static_cast<std::size_t>(s)].push_back(index);
    const ChannelCell& placed = m_cells.back();
    if (placed.isMarked()) {
        ++m_markedCount;
        emit markedCountChanged(m_markedCount);
    }
    grow(placed.bounds() | m_inner[static_cast<std::size_t>(s)].rect |
         m_outer[static_cast<std::size_t>(s)].rect | m_outer[1].rect);
    emit areaChanged(labelsBefore | m_inner[static_cast<std::size_t>(s)].rect |
                     m_outer[static_cast<std::size_t>(s)].rect);
    emit areaChanged(m_outer[1].rect);
    emit cellPlaced(id);
}

int BoardModel::statsRowsOrigin() const {
    const MainWindowModel& ui = m_ui;
    return ui.element(Element::SSTab1).twips.top() + ui.element(Element::Picture1).twips.top();
}

void BoardModel::updateStatsRow(const ChannelCell& c) {
    auto [it, created] = m_statsRows.try_emplace(c.group);
    StatsRow& row = it->second;
    if (created)
        row.caption = QStringLiteral("G") + numberText(static_cast<long long>(c.group));
    const int y = statsRowsOrigin() + c.back.top();
    if (y > row.top)
        row.top = y;
    if (leadingNumber(row.tag) < c.id)
        row.tag = numberText(static_cast<long long>(c.id));
    emit statsRowChanged(c.group);
}

void BoardModel::setStatsCaption(int group, const QString& caption) {
    auto it = m_statsRows.find(group);
    if (it == m_statsRows.end() || it->second.caption == caption)
        return;
    it->second.caption = caption;
    emit statsRowChanged(group);
}

void BoardModel::paintChannel(int id, std::int16_t state, std::int16_t group, int peer) {
    if (id != 1 && id < 101)
        return;
    if (peer < 0 || peer % 100 > 31)
        peer = 1;
    if (!hasCell(id))
        placeCell(id, state, group);
    const bool rSide = isRSide(state);
    // A peer without a cell gets one on the other side, with group 0; peers 2 to 100 have none and the
    // route steps that need them are left out.
    if (peer > 0 && !hasCell(peer) && (peer == 1 || peer >= 101))
        placeCell(peer, rSide ? 0 : 8, 0);
    ChannelCell* c = cell(id);
    if (!c)
        return;
    const bool routeShown = c->routeVisible;
    const QRect routeBefore = routeShown ? c->routeBounds() : QRect();

    c->stateColor = stateColor(state);
    c->textColor = cellTextColor(c->stateColor);
    c->groupColor = groupColor(group, rSide, m_config.groupColorScheme);
    // The selected channel and its peer keep the border the selection gave them. With nothing selected
    // (gblidx 0) a disconnected report (peer 0) is not "the selected peer".
    if (m_gblidx == 0 || (id != m_gblidx && peer != m_gblidx))
        c->borderColor = c->groupColor;
    c->group = group;
    if (rSide) {
        c->side = 'R';
        if (m_groups.inR(group))
            c->setToolTip(group, 'R', m_groups.nameR(group));
    } else {
        c->side = 'O';
        if (m_groups.inO(group))
            c->setToolTip(group, 'O', m_groups.nameO(group));
    }
    c->backVisible = true;
    c->stateVisible = true;

    if (peer > 0) {
        c->setPeerTag(peer);
        if (ChannelCell* p = cell(peer)) {
            p->setPeerTag(id);
            c->routeEnd =
                QPoint(p->back.left() + halfOf(p->back.width()), p->back.top() + halfOf(p->back.height()));
        }
        if (!c->connected && !rSide)
            m_groups.countConnection(group);
        c->connected = true;
        c->mark = c->isMarked() ? kMarkX : QString();
        if (c->side == 'R')
            c->markerColor = c->stateColor;
    } else {
        if (state == 14 && c->hasPeerTag())
            c->mark = c->isMarked() ? kMarkSmallX : kMarkQuestion;
        c->clearPeerTag();
        c->routeEnd = c->routeStart;
        c->connected = false;
    }
    changedCell(*c);
    if (routeShown && routeBefore != c->routeBounds())
        emit areaChanged(routeBefore | c->routeBounds());
}

void BoardModel::dimColor(int id, bool on) {
    ChannelCell* c = cell(id);
    if (!c || c->routeVisible == on)
        return;
    c->routeVisible = on;
    emit areaChanged(c->routeBounds());
}

void BoardModel::setMark(int id, const QString& mark) {
    ChannelCell* c = cell(id);
    if (!c || c->mark == mark)
        return;
    const bool was = c->isMarked();
    c->mark = mark;
    changedCell(*c);
    // Painting only changes a mark's case or an unmarked sign, so whether a cell counts as marked
    // changes here and when a cell copies a marked template.
    if (c->isMarked() != was) {
        m_markedCount += was ? -1 : 1;
        emit markedCountChanged(m_markedCount);
    }
}

void BoardModel::setBorder(int id, LegacyColor colour, int style) {
    ChannelCell* c = cell(id);
    if (!c || (c->borderColor == colour && c->borderStyle == style))
        return;
    c->borderColor = colour;
    c->borderStyle = style;
    changedCell(*c);
}

void BoardModel::setCallInfo(int id, const QString& text) {
    if (ChannelCell* c = cell(id))
        c->callInfo = text;
}

void BoardModel::setPositionTag(int id, const QString& tag) {
    if (ChannelCell* c = cell(id))
        c->positionTag = tag;
}

void BoardModel::fillTheLabels() {
    const GroupTables& groups = m_groups;
    for (int s = 1; s <= 32; ++s) {
        SpanLabel& inner = m_inner[static_cast<std::size_t>(s)];
        SpanLabel& outer = m_outer[static_cast<std::size_t>(s)];
        // Captions of a label that does not exist are not kept anywhere.
        QString in;
        QString out = numberText(static_cast<long long>(s));
        int lastR = 0;
        int lastO = 0;
        for (int p = 1; p <= 32; ++p) {
            const ChannelCell* c = cell(s * 100 + p);
            if (!c)
                break;
            const int g = c->group;
            if (c->side == 'O') {
                if (g != lastO) {
                    if (!groups.inO(g))
                        break;
                    out += QLatin1Char('-') + groups.nameO(g);
                    lastO = g;
                }
            } else if (g != lastR) {
                if (!groups.inR(g))
                    break;
                in += groups.nameR(g) + QLatin1Char('-');
                lastR = g;
            }
        }
        in += numberText(static_cast<long long>(s));
        if (inner.exists)
            inner.caption = in;
        if (outer.exists)
            outer.caption = out;
    }
    emit labelsChanged();
}

void BoardModel::setGroupColorMode(int index) {
    MainWindowModel& ui = m_ui;
    const int current = m_config.groupColorScheme;
    if (current >= 0 && current <= 3)
        ui.setMenuChecked(kGroupColorItems[current], false);
    m_config.groupColorScheme = static_cast<std::int16_t>(index);
    if (index >= 0 && index <= 3)
        ui.setMenuChecked(kGroupColorItems[index], true);
    if (index != 0) {
        m_boardColour = kBoardColour;
        m_normalBorderStyle = 6;
        for (ChannelCell& c : m_cells) {
            c.opaque = true;
            c.borderStyle = 6;
            c.groupColor = groupColor(c.group, c.side == 'R', static_cast<std::int16_t>(index));
            c.borderColor = c.groupColor;
        }
    } else {
        m_boardColour = kNoColourBoard;
        m_normalBorderStyle = 0;
        for (ChannelCell& c : m_cells) {
            c.opaque = false;
            c.borderStyle = 0;
        }
    }
    emit boardChanged();
}

void BoardModel::applyToLabels() {
    emit labelsChanged();
    emit boardChanged();
}

void BoardModel::setFontNarrow(bool on) {
    m_ui.setMenuChecked(MenuItem::FontNarrow, on);
    m_config.fontNarrow = on ? 1 : 0;
    m_font.family = on ? QStringLiteral("Arial Narrow") : QStringLiteral("Arial");
    applyToLabels();
}

void BoardModel::setBoldFont(bool on) {
    m_ui.setMenuChecked(MenuItem::BoldFont, on);
    m_config.fontBold = on ? 1 : 0;
    m_font.bold = on;
    applyToLabels();
}

void BoardModel::chooseFontSize(int points) {
    MainWindowModel& ui = m_ui;
    for (MenuItem m : kSizeItems)
        ui.setMenuChecked(m, false);
    if (points >= 8 && points <= 12)
        ui.setMenuChecked(kSizeItems[points - 8], true);
    m_config.fontSize = static_cast<std::int16_t>(points);
    m_font.pointSize = points;
    applyToLabels();
}

void BoardModel::toggleShowRouteLines() {
    MainWindowModel& ui = m_ui;
    const bool checked = !ui.isChecked(MenuItem::ShowRouteLines);
    ui.setMenuChecked(MenuItem::ShowRouteLines, checked);
    if (checked)
        return;
    for (ChannelCell& c : m_cells)
        c.routeVisible = false;
    emit boardChanged();
}

void BoardModel::requestDescription() {
    m_link.sendCommand(QStringLiteral("SSSSS"));
    m_descriptionWait->start(
        100, 51, [this] { return m_ui.element(Element::AckLbl).caption == QLatin1String("S"); }, [](bool) {});
}

bool BoardModel::descriptionWaitRunning() const {
    return m_descriptionWait->isRunning();
}

void BoardModel::setLabelBack(bool inner, int s, std::optional<LegacyColor> colour) {
    if (s < 0 || s > kMaxSpan)
        return;
    SpanLabel& l = (inner ? m_inner : m_outer)[static_cast<std::size_t>(s)];
    if (!l.exists || l.back == colour)
        return;
    l.back = colour;
    emit areaChanged(l.rect);
}

void BoardModel::setBand(const BandRect& band) {
    // Only the band's outline is drawn: its four sides change, not the cells inside, which may be
    // most of the board.
    auto outline = [this](const BandRect& b) {
        constexpr int m = 30;
        const QRect r = QRectF(b.left, b.top, b.width, b.height).toAlignedRect().adjusted(-m, -m, m, m);
        emit areaChanged(QRect(r.left(), r.top(), r.width(), 2 * m));
        emit areaChanged(QRect(r.left(), r.bottom() + 1 - 2 * m, r.width(), 2 * m));
        emit areaChanged(QRect(r.left(), r.top(), 2 * m, r.height()));
        emit areaChanged(QRect(r.right() + 1 - 2 * m, r.top(), 2 * m, r.height()));
    };
    const BandRect before = m_band;
    m_band = band;
    if (before.visible)
        outline(before);
    if (band.visible)
        outline(band);
    emit bandChanged();
}

BoardHit BoardModel::hitTest(QPointF pt) const {
    BoardHit hit;
    // Span labels lie above the cells; inner labels were drawn first, so outer ones win a tie.
    for (int pass = 0; pass < 2; ++pass) {
        const auto& labels = pass == 0 ? m_outer : m_inner;
        for (int s = 0; s <= kMaxSpan; ++s) {
            const SpanLabel& l = labels[static_cast<std::size_t>(s)];
            if (l.exists && l.visible && QRectF(l.rect).contains(pt)) {
                hit.kind = pass == 0 ? BoardHit::Kind::OuterLabel : BoardHit::Kind::InnerLabel;
                hit.span = s;
                hit.labelTwips = QRectF(l.rect);
                return hit;
            }
        }
    }
    // Cells: the state label above every group square; among cells, the one created last is on top.
    int bestState = -1;
    int bestBack = -1;
    for (const auto& row : m_rows) {
        if (row.empty())
            continue;
        const ChannelCell& first = m_cells[static_cast<std::size_t>(row.front())];
        if (pt.y() < first.back.top() || pt.y() >= first.back.top() + first.back.height() + 1)
            continue;
        for (int index : row) {
            const ChannelCell& c = m_cells[static_cast<std::size_t>(index)];
            if (c.stateVisible && QRectF(c.stateRect).contains(pt))
                bestState = std::max(bestState, index);
            else if (c.backVisible && QRectF(c.back).contains(pt))
                bestBack = std::max(bestBack, index);
        }
    }
    if (bestState >= 0) {
        hit.kind = BoardHit::Kind::StateLabel;
        hit.id = m_cells[static_cast<std::size_t>(bestState)].id;
    } else if (bestBack >= 0) {
        hit.kind = BoardHit::Kind::GroupSquare;
        hit.id = m_cells[static_cast<std::size_t>(bestBack)].id;
    }
    return hit;
}

} // namespace corvane
