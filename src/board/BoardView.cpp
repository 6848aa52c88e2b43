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
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace corvane {

namespace {
// A margin around every repainted rectangle for borders and line ends that round outward.
constexpr int kSlackPx = 2;

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
    : QWidget(parent), m_board(board), m_heldTimer(board.clock().createTimer()), m_cursor(board) {
    m_heldTimer->setSingleShot(true);
    m_heldTimer->setCallback([this] { update(std::exchange(m_held, QRect())); });
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
    fitExtent();
}

BoardCanvas::~BoardCanvas() = default;

double BoardCanvas::dpi() const {
    return (logicalDpiY() > 0 ? logicalDpiY() : 96.0) * m_zoom;
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
    m_held = QRect();
    m_pendingRects = 0;
    m_wholePending = false;
    update();
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

void BoardCanvas::invalidate(const QRect& twips) {
    if (m_wholePending)
        return;
    const QRect visible = visibleArea();
    const QRect px = toPixels(twips).adjusted(-kSlackPx, -kSlackPx, kSlackPx, kSlackPx) & visible;
    if (px.isEmpty())
        return;
    if (++m_pendingRects > 32) {
        m_wholePending = true;
        request(visible);
        return;
    }
    request(px);
}

void BoardCanvas::request(const QRect& px) {
    // A flood of reports over a large board would otherwise spend its time repainting: after a costly
    // paint, changes are gathered until three times its cost has passed and then painted together.
    // Cheap paints (a few cells) cost nothing measurable and go out at once.
    if (!m_heldTimer->isEnabled()) {
        const qint64 wait = m_lastPaintEnd + 3 * m_lastPaintCost - m_board.clock().tickMs();
        if (wait <= 0) {
            update(px);
            return;
        }
        m_heldTimer->setInterval(static_cast<int>(std::min<qint64>(wait, 1000)));
        m_heldTimer->setEnabled(true);
    }
    m_held |= px;
}

void BoardCanvas::paintEvent(QPaintEvent* event) {
    m_pendingRects = 0;
    m_wholePending = false;
    const qint64 start = m_board.clock().tickMs();
    QPainter painter(this);
    paintBoard(painter, event->rect());
    paintCursor(painter, event->rect());
    painter.end();
    m_lastPaintEnd = m_board.clock().tickMs();
    m_lastPaintCost = m_lastPaintEnd - start;
}

void BoardCanvas::paintBoard(QPainter& p, const QRect& exposed) const {
    p.fillRect(exposed, toQColor(m_board.boardColour()));
    const QPointF topLeft = toTwips(exposed.topLeft());
    const QPointF bottomRight = toTwips(exposed.bottomRight() + QPoint(1, 1));
    const QRect area = QRect(QPoint(static_cast<int>(topLeft.x()) - 30, static_cast<int>(topLeft.y()) - 30),
                             QPoint(static_cast<int>(bottomRight.x()) + 30, static_cast<int>(bottomRight.y()) + 30));
    const auto& cells = m_board.cells();
    // The rows that reach into the exposed area, each cell in the order of its creation.
    std::vector<const ChannelCell*> shown;
    for (const auto& row : m_board.rows()) {
        if (row.empty())
            continue;
        const ChannelCell& first = cells[static_cast<std::size_t>(row.front())];
        if (first.back.top() > area.bottom() || first.back.bottom() < area.top())
            continue;
        for (int index : row) {
            const ChannelCell& c = cells[static_cast<std::size_t>(index)];
            if (c.back.intersects(area))
                shown.push_back(&c);
        }
    }
    std::sort(shown.begin(), shown.end());

    p.setRenderHint(QPainter::Antialiasing, false);
    // Background squares first, then the state labels and the connected markers above them.
    for (const ChannelCell* c : shown) {
        if (!c->backVisible)
            continue;
        const QRect r = toPixels(c->back);
        // The border is the square's outermost logical pixel, filled rather than stroked: a stroked
        // one-pixel outline straddles the square's edge once a logical pixel is several device pixels.
        if (c->borderStyle == 0) {
            if (c->opaque)
                p.fillRect(r, toQColor(c->groupColor));
        } else if (c->opaque) {
            p.fillRect(r, toQColor(c->borderColor));
            // Most borders have the square's own colour: one fill then paints both.
            if (c->groupColor != c->borderColor)
                p.fillRect(r.adjusted(1, 1, -1, -1), toQColor(c->groupColor));
        } else {
            const QColor border = toQColor(c->borderColor);
            p.fillRect(QRect(r.left(), r.top(), r.width(), 1), border);
            p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), border);
            p.fillRect(QRect(r.left(), r.top() + 1, 1, r.height() - 2), border);
            p.fillRect(QRect(r.right(), r.top() + 1, 1, r.height() - 2), border);
        }
    }
    // The mark is 9 pixels at 96 dots per inch and keeps that share of the cell at any density.
    QFont markFont(QStringLiteral("Arial"));
    markFont.setPixelSize(std::max(1, static_cast<int>(std::lround(9 * dpi() / 96.0))));
    markFont.setBold(true);
    p.setFont(markFont);
    // The few marks there are, laid out once for each size.
    static std::map<std::pair<int, QString>, QStaticText> marks;
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
            p.drawStaticText(
                QPointF(r.center().x() + 0.5 - size.width() / 2, r.center().y() + 0.5 - size.height() / 2),
                it->second);
        }
    }
    for (const ChannelCell* c : shown)
        if (c->connected)
            p.fillRect(toPixels(c->markerRect), toQColor(c->markerColor));

    // Span labels.
    const QFont labelFont = spanLabelFont();
    p.setFont(labelFont);
    const QFontMetrics labelMetrics(labelFont, this);
    const QColor windowBack = palette().color(QPalette::Window);
    const QColor windowText = palette().color(QPalette::WindowText);
    for (int s = 0; s <= BoardModel::kMaxSpan; ++s) {
        for (const SpanLabel* l : {&m_board.innerLabel(s), &m_board.outerLabel(s)}) {
            if (!l->exists || !l->visible || !l->rect.intersects(area))
                continue;
            const QRect r = toPixels(l->rect);
            p.fillRect(r, l->back ? toQColor(*l->back) : windowBack);
            p.setPen(windowText);
            const bool inner = l == &m_board.innerLabel(s);
            p.drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                       spanLabelText(l->caption, inner, labelMetrics, r.width()));
        }
    }

    // Route lines run across other cells, so every visible one is considered, not only the row's.
    p.setPen(QPen(Qt::black, 1));
    for (const ChannelCell& c : cells) {
        if (!c.routeVisible || !c.routeBounds().intersects(area))
            continue;
        const QRect a = toPixels(QRect(c.routeStart, QSize(1, 1)));
        const QRect b = toPixels(QRect(c.routeEnd, QSize(1, 1)));
        p.drawLine(a.topLeft(), b.topLeft());
    }

    const BandRect& band = m_board.band();
    if (band.visible) {
        QPen pen(windowText, 1, Qt::DotLine);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(toPixels(QRectF(band.left, band.top, band.width, band.height).toAlignedRect()));
    }
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
    return QWidget::event(event);
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
