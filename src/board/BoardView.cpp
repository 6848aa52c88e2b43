#include "board/BoardView.h"

#include "board/BoardAccessible.h"
#include "board/BoardModel.h"
#include "board/BoardZoom.h"
#include "board/SpanLabelText.h"
#include "board/EdgeScroll.h"
#include "board/DragPicture.h"
#include "platform/Clock.h"

#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <utility>

namespace corvane {

namespace {
// A margin around every repainted rectangle for borders and line ends that round outward.
constexpr int kSlackPx = 2;

// The rectangles top to bottom, those side by side in one row of cells joined: a frame of the stream
// may carry a thousand cells, each reported many times.
std::vector<QRect> rowRuns(std::vector<QRect> rects) {
    std::sort(rects.begin(), rects.end(), [](const QRect& a, const QRect& b) {
        return std::tuple(a.top(), a.left(), a.bottom(), a.right()) <
               std::tuple(b.top(), b.left(), b.bottom(), b.right());
    });
    std::vector<QRect> runs;
    for (const QRect& r : rects) {
        QRect* last = runs.empty() ? nullptr : &runs.back();
        if (last && last->top() == r.top() && last->bottom() == r.bottom() && r.left() <= last->right() + 1)
            last->setRight(std::max(last->right(), r.right()));
        else
            runs.push_back(r);
    }
    return runs;
}

// The region of the row runs. Runs of cells in separate rows are already the bands a region is made
// of and are handed over as they are; anything else (labels, route lines, the band) is joined piece
// by piece.
QRegion regionOf(const std::vector<QRect>& runs) {
    bool banded = true;
    for (std::size_t i = 1; i < runs.size() && banded; ++i) {
        const QRect& a = runs[i - 1];
        const QRect& b = runs[i];
        banded = (a.top() == b.top() && a.bottom() == b.bottom() && a.right() + 1 < b.left()) ||
                 b.top() > a.bottom();
    }
    QRegion region;
    if (banded && !runs.empty()) {
        region.setRects(runs.data(), static_cast<int>(runs.size()));
        return region;
    }
    for (const QRect& r : runs)
        region += r;
    return region;
}

BoardMouseEvent mouseEvent(const BoardCanvas& canvas, const QMouseEvent* e) {
    BoardMouseEvent m;
    m.twips = canvas.toTwips(e->position());
    m.button = e->button();
    m.buttons = e->buttons();
    m.modifiers = e->modifiers();
    return m;
}
} // namespace

BoardCanvas::BoardCanvas(BoardModel& board, QWidget* parent)
    : QWidget(parent), m_board(board), m_frameTimer(board.clock().createTimer()), m_cursor(board) {
    m_frameTimer->setSingleShot(true);
    m_frameTimer->setCallback([this] { showRequested(); });
    m_edgeScroll = std::make_unique<EdgeScroll>(board.clock(), [this](QPoint global) {
        if (BoardMouseHandler* h = m_board.mouseHandler()) {
            BoardMouseEvent m;
            m.twips = toTwips(mapFromGlobal(QPointF(global)));
            m.buttons = Qt::LeftButton;
            m.modifiers = QGuiApplication::keyboardModifiers();
            h->move(m);
        }
    });
    installBoardAccessibility();
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&m_board, &BoardModel::areaChanged, this, &BoardCanvas::invalidate);
    connect(&m_board, &BoardModel::boardChanged, this, [this] { request(rect()); });
    connect(&m_board, &BoardModel::labelsChanged, this, [this] { request(rect()); });
    connect(&m_board, &BoardModel::extentChanged, this, [this] { fitExtent(); });
    readScreen();
    fitExtent();
}

BoardCanvas::~BoardCanvas() = default;

double BoardCanvas::dpi() const {
    return m_dpi * m_zoom;
}

void BoardCanvas::readScreen() {
    // The look-ups go through the window and its screen, and the conversion runs for every cell of
    // every frame: they are read when the canvas comes to a screen, not each time.
    const double hz = screen() ? screen()->refreshRate() : 60.0;
    m_frameMs = static_cast<int>(std::clamp(1000.0 / std::max(hz, 1.0), 4.0, 50.0));
    const double d = logicalDpiY() > 0 ? logicalDpiY() : 96.0;
    if (d == m_dpi)
        return;
    m_dpi = d;
    fitExtent();
    request(rect());
}

QRect BoardCanvas::toPixels(const QRect& twips) const {
    return twipsToPixels(twips, dpi());
}

QPointF BoardCanvas::toTwips(const QPointF& pixels) const {
    const double d = dpi();
    return QPointF(pixelsToTwips(pixels.x(), d), pixelsToTwips(pixels.y(), d));
}

void BoardCanvas::fitExtent() {
    const QRect e = toPixels(m_board.extent());
    const int margin = static_cast<int>(std::lround(20 * m_zoom));
    const QSize wanted(std::max(e.right() + margin, 0), std::max(e.bottom() + margin, 0));
    if (wanted != minimumSize())
        setMinimumSize(wanted);
    // The canvas fills the view and grows beyond it when the board is larger; a smaller zoom shrinks it
    // back to that.
    const QWidget* viewport = parentWidget();
    const QSize fitted = wanted.expandedTo(viewport ? viewport->size() : size());
    if (fitted != size())
        resize(fitted);
}

void BoardCanvas::geometryChanged() {
    fitExtent();
    request(rect());
}

QScrollArea* BoardCanvas::scrollArea() const {
    return qobject_cast<QScrollArea*>(parentWidget() ? parentWidget()->parentWidget() : nullptr);
}

void BoardCanvas::setZoom(double zoom) {
    const double wanted = std::clamp(zoom, kMinBoardZoomPercent / 100.0, kMaxBoardZoomPercent / 100.0);
    if (!std::isfinite(zoom) || wanted == m_zoom)
        return;
    const QPointF centre = toTwips(QRectF(visibleArea()).center());
    m_zoom = wanted;
    geometryChanged();
    if (QScrollArea* view = scrollArea()) {
        const QWidget* viewport = view->viewport();
        const double d = dpi();
        view->horizontalScrollBar()->setValue(
            static_cast<int>(std::lround(twipsToPixels(centre.x(), d) - viewport->width() / 2.0)));
        view->verticalScrollBar()->setValue(
            static_cast<int>(std::lround(twipsToPixels(centre.y(), d) - viewport->height() / 2.0)));
    }
    emit zoomChanged(m_zoom);
}

QRect BoardCanvas::visibleArea() const {
    const QWidget* viewport = parentWidget();
    return viewport ? QRect(-pos(), viewport->size()) & rect() : rect();
}

int BoardCanvas::lineWidth() const {
    return std::max(1, static_cast<int>(std::lround(m_zoom)));
}

void BoardCanvas::invalidate(const QRect& twips) {
    // What the image holds counts as well as what is in view: scrolled away and back before the next
    // paint, the image would otherwise show a cell as it was before. A wide line reaches half its
    // width beyond the rectangle it runs along.
    const int slack = kSlackPx + lineWidth() / 2;
    request(toPixels(twips).adjusted(-slack, -slack, slack, slack) & (visibleArea() | m_imageArea));
}

void BoardCanvas::request(const QRect& px) {
    if (px.isEmpty())
        return;
    // Hidden, nothing is painted: the image is drawn anew when the canvas shows again.
    if (!isVisible()) {
        m_image = QImage();
        m_requested.clear();
        m_shown = 0;
        return;
    }
    // Past this many pieces drawing all of it again is cheaper; and a minimised window, which is not
    // painted, keeps no more than this.
    constexpr std::size_t kMaxRequests = 16384;
    if (m_requested.size() >= kMaxRequests) {
        m_requested.assign(1, rect());
        m_shown = 0;
    }
    m_requested.push_back(px);
    ++m_requestCount;
    // The engine may change thousands of cells a second: they wait for the next frame and are shown
    // together. Everything else is the operator's doing (or a timer's) and is shown at once, with
    // whatever of the stream is waiting.
    if (m_board.applyingMessages()) {
        const qint64 wait = m_lastPaintEnd + m_frameMs - m_board.clock().tickMs();
        if (wait > 0) {
            if (!m_frameTimer->isEnabled()) {
                m_frameTimer->setInterval(static_cast<int>(wait));
                m_frameTimer->setEnabled(true);
            }
            return;
        }
    }
    showRequested();
}

void BoardCanvas::showRequested() {
    if (m_shown == m_requested.size())
        return;
    std::vector<QRect> fresh(m_requested.begin() + static_cast<std::ptrdiff_t>(m_shown), m_requested.end());
    m_shown = m_requested.size();
    const QRegion region = regionOf(rowRuns(std::move(fresh)));
    m_shownRegion += region;
    update(region);
}

void BoardCanvas::updateImage() {
    const QRect area = visibleArea();
    const qreal ratio = devicePixelRatioF();
    // A hundred inches of board, so that a scale change of a fraction of a per cent shows as well.
    const QRect scale = toPixels(QRect(0, 0, 144000, 144000));
    const auto shownEnd = m_requested.begin() + static_cast<std::ptrdiff_t>(m_shown);
    std::vector<QRect> areas(m_requested.begin(), shownEnd);
    m_requested.erase(m_requested.begin(), shownEnd);
    m_shown = 0;
    bool all = m_image.isNull() || m_image.devicePixelRatio() != ratio || scale != m_imageScale ||
               area.size() != m_imageArea.size();
    if (!all && area.topLeft() != m_imageArea.topLeft()) {
        // Scrolled: what stays in view moves along, what came into view is drawn. A shift that falls
        // between device pixels cannot be copied exactly, so then all is drawn.
        const QPointF shift = QPointF(m_imageArea.topLeft() - area.topLeft()) * ratio;
        all = shift.x() != std::round(shift.x()) || shift.y() != std::round(shift.y()) ||
              !area.intersects(m_imageArea);
        if (!all) {
            QImage moved(m_image.size(), m_image.format());
            moved.setDevicePixelRatio(ratio);
            QPainter p(&moved);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.drawImage(QPointF(m_imageArea.topLeft() - area.topLeft()), m_image);
            p.end();
            m_image = std::move(moved);
            for (const QRect& r : QRegion(area).subtracted(m_imageArea))
                areas.push_back(r);
            m_imageArea = area;
        }
    }
    if (all) {
        m_image = QImage((QSizeF(area.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        m_image.setDevicePixelRatio(ratio);
        m_imageArea = area;
        m_imageScale = scale;
        areas.assign(1, area);
    }
    for (QRect& r : areas)
        r &= m_imageArea;
    areas.erase(std::remove_if(areas.begin(), areas.end(), [](const QRect& r) { return r.isEmpty(); }),
                areas.end());
    if (std::any_of(areas.begin(), areas.end(), [this](const QRect& r) { return r == m_imageArea; }))
        areas.assign(1, m_imageArea);
    const std::vector<QRect> merged = rowRuns(std::move(areas));
    if (merged.empty() || m_image.isNull())
        return;
    QPainter p(&m_image);
    p.translate(-m_imageArea.topLeft());
    paintAreas(p, merged);
}

void BoardCanvas::paintEvent(QPaintEvent* event) {
    updateImage();
    m_shownRegion = QRegion();
    QPainter painter(this);
    const qreal ratio = m_image.devicePixelRatio();
    for (const QRect& r : event->region()) {
        const QRect fromImage = r & m_imageArea;
        if (!fromImage.isEmpty())
            painter.drawImage(fromImage, m_image,
                              QRectF(QPointF(fromImage.topLeft() - m_imageArea.topLeft()) * ratio,
                                     QSizeF(fromImage.size()) * ratio));
    }
    // Beyond the visible area (a grab of the whole canvas) the board is drawn directly.
    if (!m_imageArea.contains(event->region().boundingRect()))
        for (const QRect& rest : event->region().subtracted(m_imageArea))
            paintBoard(painter, rest);
    paintCursor(painter, event->rect());
    painter.end();
    m_lastPaintEnd = m_board.clock().tickMs();
}

void BoardCanvas::paintBoard(QPainter& p, const QRect& exposed) const {
    paintAreas(p, {exposed});
}

namespace {
// Things of one height class sorted by their top (twips), to find those that reach into an area
// without looking at the others.
template <typename T> class ByTop {
public:
    void add(int top, int height, T item) {
        m_items.emplace_back(top, item);
        m_tallest = std::max(m_tallest, height);
    }
    void sort() {
        std::stable_sort(m_items.begin(), m_items.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    // Calls f for each item whose top lies where a thing of the tallest height could reach `area`.
    template <typename F> void near(const QRect& area, F f) const {
        auto it = std::lower_bound(m_items.begin(), m_items.end(), area.top() - m_tallest,
                                   [](const auto& a, int top) { return a.first < top; });
        for (; it != m_items.end() && it->first <= area.bottom(); ++it)
            f(it->second);
    }

private:
    std::vector<std::pair<int, T>> m_items;
    int m_tallest = 0;
};

// Route lines by the bands of board height they cross: one line may cross the whole board, and a
// frame may look for thousands of small areas among thousands of lines.
class RoutesByBand {
public:
    static constexpr int kBand = 1024;
    explicit RoutesByBand(const std::vector<ChannelCell>& cells) {
        for (const ChannelCell& c : cells) {
            if (!c.routeVisible)
                continue;
            const QRect b = c.routeBounds();
            for (int band = bandOf(b.top()); band <= bandOf(b.bottom()); ++band)
                m_bands[band].push_back(&c);
        }
    }
    // The lines that reach into `area`, each once.
    void near(const QRect& area, std::vector<const ChannelCell*>& out) const {
        out.clear();
        for (auto it = m_bands.lower_bound(bandOf(area.top()));
             it != m_bands.end() && it->first <= bandOf(area.bottom()); ++it)
            for (const ChannelCell* c : it->second)
                if (c->routeBounds().intersects(area))
                    out.push_back(c);
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
    }

private:
    static int bandOf(int y) { return y >= 0 ? y / kBand : -((-y + kBand - 1) / kBand); }
    std::map<int, std::vector<const ChannelCell*>> m_bands;
};
} // namespace

void BoardCanvas::paintAreas(QPainter& p, const std::vector<QRect>& areas) const {
    const auto& cells = m_board.cells();
    // Rows, span labels and route lines are looked up once for all the areas.
    ByTop<const std::vector<int>*> rows;
    for (const auto& row : m_board.rows()) {
        if (row.empty())
            continue;
        const QRect& first = cells[static_cast<std::size_t>(row.front())].back;
        rows.add(first.top(), first.height(), &row);
    }
    rows.sort();
    // Labels keep their drawing order, span by span, the inner one first.
    using OrderedLabel = std::pair<int, const SpanLabel*>;
    ByTop<OrderedLabel> labels;
    for (int s = 0; s <= BoardModel::kMaxSpan; ++s) {
        int order = 2 * s;
        for (const SpanLabel* l : {&m_board.innerLabel(s), &m_board.outerLabel(s)}) {
            if (l->exists && l->visible)
                labels.add(l->rect.top(), l->rect.height(), OrderedLabel(order, l));
            ++order;
        }
    }
    labels.sort();
    const RoutesByBand routes(cells);

    // The mark is 9 pixels at 96 dots per inch and keeps that share of the cell at any density.
    QFont markFont(QStringLiteral("Arial"));
    markFont.setPixelSize(std::max(1, static_cast<int>(std::lround(9 * dpi() / 96.0))));
    markFont.setBold(true);
    const QFont labelFont = spanLabelFont();
    const QFontMetrics labelMetrics(labelFont, this);
    const QColor windowBack = palette().color(QPalette::Window);
    const QColor windowText = palette().color(QPalette::WindowText);
    // The few marks there are, laid out once for each size.
    static std::map<std::pair<int, QString>, QStaticText> marks;

    const QColor boardColour = toQColor(m_board.boardColour());
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    std::vector<const ChannelCell*> shown;
    std::vector<OrderedLabel> nearLabels;
    std::vector<const ChannelCell*> nearRoutes;
    const int line = lineWidth();
    for (const QRect& exposed : areas) {
        p.setClipRect(exposed);
        p.fillRect(exposed, boardColour);
        const QPointF topLeft = toTwips(exposed.topLeft());
        const QPointF bottomRight = toTwips(exposed.bottomRight() + QPoint(1, 1));
        const QRect area =
            QRect(QPoint(static_cast<int>(topLeft.x()) - 30, static_cast<int>(topLeft.y()) - 30),
                  QPoint(static_cast<int>(bottomRight.x()) + 30, static_cast<int>(bottomRight.y()) + 30));
        // The rows that reach into the exposed area, each cell in the order of its creation.
        shown.clear();
        rows.near(area, [&](const std::vector<int>* row) {
            const ChannelCell& first = cells[static_cast<std::size_t>(row->front())];
            if (first.back.top() > area.bottom() || first.back.bottom() < area.top())
                return;
            for (int index : *row) {
                const ChannelCell& c = cells[static_cast<std::size_t>(index)];
                if (c.back.intersects(area))
                    shown.push_back(&c);
            }
        });
        std::sort(shown.begin(), shown.end());

        // Background squares first, then the state labels and the connected markers above them.
        for (const ChannelCell* c : shown) {
            if (!c->backVisible)
                continue;
            const QRect r = toPixels(c->back);
            // The border is the square's outermost line, filled rather than stroked: a stroked
            // one-pixel outline straddles the square's edge once a logical pixel is several device
            // pixels.
            if (c->borderStyle == 0) {
                if (c->opaque)
                    p.fillRect(r, toQColor(c->groupColor));
            } else if (c->opaque) {
                p.fillRect(r, toQColor(c->borderColor));
                // Most borders have the square's own colour: one fill then paints both.
                if (c->groupColor != c->borderColor)
                    p.fillRect(r.adjusted(line, line, -line, -line), toQColor(c->groupColor));
            } else {
                const QColor border = toQColor(c->borderColor);
                p.fillRect(QRect(r.left(), r.top(), r.width(), line), border);
                p.fillRect(QRect(r.left(), r.bottom() - line + 1, r.width(), line), border);
                p.fillRect(QRect(r.left(), r.top() + line, line, r.height() - 2 * line), border);
                p.fillRect(QRect(r.right() - line + 1, r.top() + line, line, r.height() - 2 * line), border);
            }
        }
        p.setFont(markFont);
        for (const ChannelCell* c : shown) {
            if (!c->stateVisible)
                continue;
            const QRect r = toPixels(c->stateRect);
            p.fillRect(r, toQColor(c->stateColor));
            if (!c->mark.isEmpty()) {
                const auto key = std::make_pair(markFont.pixelSize(), c->mark);
                auto it = marks.find(key);
                if (it == marks.end()) {
                    it = marks.emplace(key, QStaticText(c->mark)).first;
                    it->second.prepare(QTransform(), markFont);
                }
                const QSizeF size = it->second.size();
                p.setPen(toQColor(c->textColor));
                p.drawStaticText(QPointF(r.center().x() + 0.5 - size.width() / 2,
                                         r.center().y() + 0.5 - size.height() / 2),
                                 it->second);
            }
        }
        for (const ChannelCell* c : shown)
            if (c->connected)
                p.fillRect(toPixels(c->markerRect), toQColor(c->markerColor));

        // Span labels, in the order of their spans, inner before outer.
        p.setFont(labelFont);
        nearLabels.clear();
        labels.near(area, [&](const OrderedLabel& l) {
            if (l.second->rect.intersects(area))
                nearLabels.push_back(l);
        });
        std::sort(nearLabels.begin(), nearLabels.end());
        for (const auto& [order, l] : nearLabels) {
            const QRect r = toPixels(l->rect);
            p.fillRect(r, l->back ? toQColor(*l->back) : windowBack);
            p.setPen(windowText);
            const bool inner = order % 2 == 0;
            p.drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                       spanLabelText(l->caption, inner, labelMetrics, r.width()));
        }

        // Route lines run across other cells, so every visible one is considered, not only the row's.
        p.setPen(QPen(Qt::black, line));
        routes.near(area, nearRoutes);
        for (const ChannelCell* c : nearRoutes) {
            const QRect a = toPixels(QRect(c->routeStart, QSize(1, 1)));
            const QRect b = toPixels(QRect(c->routeEnd, QSize(1, 1)));
            p.drawLine(a.topLeft(), b.topLeft());
        }

        const BandRect& band = m_board.band();
        if (band.visible) {
            QPen pen(windowText, line, Qt::DotLine);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            p.drawRect(toPixels(QRectF(band.left, band.top, band.width, band.height).toAlignedRect()));
        }
    }
    p.restore();
}

void BoardCanvas::mousePressEvent(QMouseEvent* event) {
    cursorFollowsPress(toTwips(event->position()));
    if (BoardMouseHandler* h = m_board.mouseHandler())
        h->press(mouseEvent(*this, event));
    followDrag();
}

void BoardCanvas::followDrag() {
    const BoardMouseHandler* h = m_board.mouseHandler();
    const int source = h ? h->dragSource() : 0;
    if (source == m_dragShown)
        return;
    m_dragShown = source;
    if (const ChannelCell* c = source != 0 ? m_board.cell(source) : nullptr)
        setCursor(dragCursor(*c));
    else
        unsetCursor();
}

void BoardCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (BoardMouseHandler* h = m_board.mouseHandler())
        h->move(mouseEvent(*this, event));
    // A band dragged past the visible edge brings the board along, also while the pointer rests there.
    if (event->buttons() & Qt::LeftButton)
        m_edgeScroll->dragAt(scrollArea(), event->globalPosition().toPoint());
    else
        m_edgeScroll->stop();
}

void BoardCanvas::mouseReleaseEvent(QMouseEvent* event) {
    m_edgeScroll->stop();
    if (BoardMouseHandler* h = m_board.mouseHandler())
        h->release(mouseEvent(*this, event));
    followDrag();
}

void BoardCanvas::mouseDoubleClickEvent(QMouseEvent* event) {
    const BoardMouseEvent m = mouseEvent(*this, event);
    if (BoardMouseHandler* h = m_board.mouseHandler())
        h->doubleClick(m);
    followDrag();
    // A double click on the bare board asks the engine for its description; span labels and cells
    // have their own meanings.
    const BoardHit hit = m_board.hitTest(m.twips);
    if (hit.kind == BoardHit::Kind::Background || hit.kind == BoardHit::Kind::GroupSquare)
        m_board.requestDescription();
}

void BoardCanvas::leaveEvent(QEvent* event) {
    if (BoardMouseHandler* h = m_board.mouseHandler())
        h->leave();
    QWidget::leaveEvent(event);
}

bool BoardCanvas::event(QEvent* event) {
    if (event->type() == QEvent::Show || event->type() == QEvent::ScreenChangeInternal)
        readScreen();
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const BoardHit hit = m_board.hitTest(toTwips(help->pos()));
        const ChannelCell* c = hit.kind == BoardHit::Kind::StateLabel ? m_board.cell(hit.id) : nullptr;
        const QString tip = c ? c->toolTip() : spanLabelToolTip(hit);
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this,
                               toPixels(c ? c->stateRect : hit.labelTwips.toAlignedRect()));
        return true;
    }
    const std::uint64_t requestsBefore = m_requestCount;
    const bool handled = QWidget::event(event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
        if (m_requestCount != requestsBefore)
            paintOperatorChanges();
        break;
    default:
        break;
    }
    return handled;
}

void BoardCanvas::paintOperatorChanges() {
    // Painted before the event loop moves on, where the next tick of the engine's stream could come
    // first; whatever of the stream waits goes with it.
    showRequested();
    if (!m_shownRegion.isEmpty())
        repaint(m_shownRegion);
}

QFont BoardCanvas::spanLabelFont() const {
    const LabelFont& lf = m_board.labelFont();
    QFont font(lf.family);
    font.setBold(lf.bold);
    font.setPointSizeF(lf.pointSize * m_zoom);
    return font;
}

QString BoardCanvas::spanLabelToolTip(const BoardHit& hit) const {
    const bool inner = hit.kind == BoardHit::Kind::InnerLabel;
    if (!inner && hit.kind != BoardHit::Kind::OuterLabel)
        return {};
    const SpanLabel& label = inner ? m_board.innerLabel(hit.span) : m_board.outerLabel(hit.span);
    const int width = toPixels(label.rect).width();
    const bool cut =
        spanLabelText(label.caption, inner, QFontMetrics(spanLabelFont(), this), width) != label.caption;
    return cut ? label.caption : QString();
}

void BoardCanvas::paintCursor(QPainter& p, const QRect& exposed) const {
    const ChannelCell* c = hasFocus() && m_frameShown ? m_board.cell(m_cursor.current()) : nullptr;
    const QRect r = c ? toPixels(c->back) : QRect();
    if (!r.intersects(exposed))
        return;
    // Two rings inside the square's edge, dark around light, so the frame shows on every colour and
    // needs no repaint beyond the cell's own.
    const int w = std::max(1, static_cast<int>(std::lround(dpi() / 96.0)));
    const auto ring = [&p, w](const QRect& at, const QColor& colour) {
        p.fillRect(QRect(at.left(), at.top(), at.width(), w), colour);
        p.fillRect(QRect(at.left(), at.bottom() - w + 1, at.width(), w), colour);
        p.fillRect(QRect(at.left(), at.top() + w, w, at.height() - 2 * w), colour);
        p.fillRect(QRect(at.right() - w + 1, at.top() + w, w, at.height() - 2 * w), colour);
    };
    ring(r, Qt::black);
    ring(r.adjusted(w, w, -w, -w), Qt::white);
}

void BoardCanvas::invalidateCell(int id) {
    if (const ChannelCell* c = m_board.cell(id))
        invalidate(c->back);
}

void BoardCanvas::cursorChanged(int before, bool scroll) {
    const int now = m_cursor.current();
    if (now == before)
        return;
    invalidateCell(before);
    invalidateCell(now);
    if (!hasFocus())
        return;
    tellCursorFocus(*this);
    if (const ChannelCell* c = m_board.cell(now); c && scroll)
        emit cursorMoved(toPixels(c->back));
}

void BoardCanvas::cursorFollowsPress(QPointF twips) {
    // A press on a cell puts the cursor there and ends a keyboard band; nothing scrolls under the
    // pointer, so the release still finds the pressed cell.
    const int before = m_cursor.current();
    m_cursor.endBand();
    if (std::exchange(m_frameShown, false))
        invalidateCell(before);
    const BoardHit hit = m_board.hitTest(twips);
    if (hit.kind == BoardHit::Kind::StateLabel)
        m_cursor.setCurrent(hit.id);
    cursorChanged(before, false);
}

void BoardCanvas::keyPressEvent(QKeyEvent* event) {
    const int before = m_cursor.current();
    if (!m_cursor.key(event->key(), event->modifiers())) {
        // Paging, Home and End belong to the view around the canvas.
        QWidget::keyPressEvent(event);
        return;
    }
    if (!std::exchange(m_frameShown, true))
        invalidateCell(m_cursor.current());
    cursorChanged(before, true);
}

void BoardCanvas::focusInEvent(QFocusEvent* event) {
    // Not QWidget's own, which repaints the whole board: only the cursor cell's frame appears.
    // Reached with the keyboard, the cursor cell is framed and shows what a pointer on it would. A
    // press on the board puts the cursor where it points instead, and the window coming to the front
    // leaves the cursor as it was; without one, the first arrow shows where it starts.
    const Qt::FocusReason reason = event->reason();
    const bool byKeyboard =
        reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
    if (byKeyboard)
        m_cursor.ensureCurrent();
    const ChannelCell* c = m_board.cell(m_cursor.current());
    if (!c)
        return;
    tellCursorFocus(*this);
    if (!byKeyboard) {
        if (m_frameShown)
            invalidate(c->back);
        return;
    }
    m_frameShown = true;
    invalidate(c->back);
    if (BoardKeyHandler* h = m_board.keyHandler())
        h->cursorEntered(c->id);
    emit cursorMoved(toPixels(c->back));
}

void BoardCanvas::focusOutEvent(QFocusEvent*) {
    m_cursor.endBand();
    invalidateCell(m_cursor.current());
}

BoardView::BoardView(BoardModel& board, QWidget* parent)
    : QScrollArea(parent), m_canvas(new BoardCanvas(board)) {
    setFrameShape(QFrame::NoFrame);
    setWidget(m_canvas);
    setWidgetResizable(false);
    // The canvas takes the focus in the view's place: the cursor is its business, paging the view's.
    setFocusPolicy(Qt::NoFocus);
    // The cursor cell comes into view with a cell's width of its neighbours around it.
    connect(m_canvas, &BoardCanvas::cursorMoved, this, [this](const QRect& px) {
        ensureVisible(px.center().x(), px.center().y(), px.width() * 3 / 2, px.height() * 3 / 2);
    });
}

void BoardView::keyPressEvent(QKeyEvent* event) {
    // Page Up and Page Down come from the scroll area; Home and End go to the board's two ends.
    QScrollBar* bar = verticalScrollBar();
    if (event->key() == Qt::Key_Home && event->modifiers() == Qt::NoModifier) {
        bar->setValue(bar->minimum());
        horizontalScrollBar()->setValue(horizontalScrollBar()->minimum());
    } else if (event->key() == Qt::Key_End && event->modifiers() == Qt::NoModifier) {
        bar->setValue(bar->maximum());
    } else {
        QScrollArea::keyPressEvent(event);
    }
}

void BoardView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    // The canvas fills the view and grows beyond it when the board is larger.
    const QSize min = m_canvas->minimumSize();
    m_canvas->resize(std::max(min.width(), viewport()->width()),
                     std::max(min.height(), viewport()->height()));
}

} // namespace corvane
