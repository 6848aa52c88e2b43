#include "board/BoardAccessible.h"

#include "board/BoardModel.h"
#include "board/BoardView.h"
#include "common/LegacyText.h"

#include <QWidget>
#include <QWindow>

namespace corvane {

namespace {

// One channel cell as a list item. It holds no state of its own: every answer is read from the board
// at the moment it is asked.
class BoardCellAccessible final : public QAccessibleInterface {
public:
    BoardCellAccessible(BoardCanvas* canvas, int id) : m_canvas(canvas), m_id(id) {}

    int channel() const { return m_id; }
    bool isValid() const override { return cell() != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_canvas ? m_canvas->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return m_canvas ? QAccessible::queryAccessibleInterface(m_canvas.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text t) const override {
        const ChannelCell* c = cell();
        if (!c)
            return {};
        switch (t) {
        case QAccessible::Name:
            return cellAccessibleName(*c);
        case QAccessible::Description:
            return cellAccessibleDescription(*c);
        case QAccessible::Help:
            return c->toolTip().trimmed();
        default:
            return {};
        }
    }

    QRect rect() const override {
        const ChannelCell* c = cell();
        if (!c)
            return {};
        const QRect r = m_canvas->toPixels(c->back);
        return QRect(m_canvas->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        const ChannelCell* c = cell();
        if (!c) {
            s.invalid = true;
            return s;
        }
        // Marking is the board's selection: per-channel commands act on the marked cells.
        s.selectable = true;
        s.multiSelectable = true;
        s.selected = c->isMarked();
        s.focusable = true;
        s.focused = m_canvas->hasFocus() && m_canvas->cursor().current() == m_id;
        s.invisible = !c->backVisible || !m_canvas->isVisible();
        s.offscreen = s.invisible || !m_canvas->visibleRegion().intersects(m_canvas->toPixels(c->back));
        return s;
    }

private:
    const ChannelCell* cell() const { return m_canvas ? m_canvas->board().cell(m_id) : nullptr; }

    QPointer<BoardCanvas> m_canvas;
    int m_id;
};

QAccessibleInterface* boardFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("corvane::BoardCanvas") && object && object->isWidgetType())
        return new BoardAccessible(static_cast<BoardCanvas*>(object));
    return nullptr;
}

ReaderChannel& readerChannel() {
    static ReaderChannel channel;
    return channel;
}

bool readerActive() {
    const ReaderChannel& c = readerChannel();
    return c.active ? c.active() : QAccessible::isActive();
}

void deliver(QAccessibleEvent* event) {
    const ReaderChannel& c = readerChannel();
    if (c.deliver)
        c.deliver(event);
    else
        QAccessible::updateAccessibility(event);
}

QString markText(const QString& mark) {
    if (mark.compare(QLatin1String("X"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("marked");
    if (mark == QLatin1String("?"))
        return QStringLiteral("route lost");
    if (mark == QLatin1String("!"))
        return QStringLiteral("blocked");
    return mark.isEmpty() ? QString() : QStringLiteral("mark ") + mark;
}

} // namespace

QString colourName(LegacyColor colour) {
    switch (colour & 0xFFFFFF) {
    case 0x000000:
        return QStringLiteral("black");
    case 0x0000FF:
        return QStringLiteral("red");
    case 0x00FF00:
        return QStringLiteral("green");
    case 0x00FFFF:
        return QStringLiteral("yellow");
    case 0xFF0000:
        return QStringLiteral("blue");
    case 0xCCCCCC:
        return QStringLiteral("light grey");
    case 0xC0C0C0:
    case 0x808080:
        return QStringLiteral("grey");
    case 0xFFFF00:
        return QStringLiteral("cyan");
    case 0xFFFFFF:
        return QStringLiteral("white");
    case 0xFF00FF:
        return QStringLiteral("magenta");
    case 0x00CC00:
        return QStringLiteral("mid green");
    default:
        return toQColor(colour).name();
    }
}

QString cellAccessibleName(const ChannelCell& c) {
    // What the eye takes in at once: which channel, its state colour and whether it is marked.
    QString name = QStringLiteral("Channel %1, span %2 position %3: %4")
                       .arg(c.id)
                       .arg(span(c.id))
                       .arg(position(c.id))
                       .arg(colourName(c.stateColor));
    if (c.side)
        name += QStringLiteral(", %1 side").arg(QChar(c.side));
    const QString mark = markText(c.mark);
    if (!mark.isEmpty())
        name += QStringLiteral(", ") + mark;
    return name;
}

QString cellAccessibleDescription(const ChannelCell& c) {
    QStringList parts;
    if (c.connected && c.peerNumber() > 0)
        parts << QStringLiteral("connected to %1").arg(c.peerNumber());
    else
        parts << QStringLiteral("not connected");
    parts << QStringLiteral("group %1").arg(c.group);
    if (const QString tip = c.toolTip().trimmed(); !tip.isEmpty())
        parts << tip;
    if (!c.callInfo.isEmpty())
        parts << QStringLiteral("call information: ") + c.callInfo;
    return parts.join(QStringLiteral("; "));
}

void setReaderChannel(ReaderChannel channel) {
    readerChannel() = std::move(channel);
}

void tellCursorFocus(BoardCanvas& canvas) {
    if (!readerActive())
        return;
    auto* board = dynamic_cast<BoardAccessible*>(QAccessible::queryAccessibleInterface(&canvas));
    QAccessibleInterface* item = board ? board->cellInterface(canvas.cursor().current()) : nullptr;
    if (!item)
        return;
    QAccessibleEvent event(item, QAccessible::Focus);
    deliver(&event);
}

void installBoardAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(boardFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

BoardAccessible::BoardAccessible(BoardCanvas* canvas)
    : QAccessibleWidget(canvas, QAccessible::List), m_board(canvas->board()) {
    // This interface exists only once a reader (or a test) has asked for the board, so the board's
    // own work is not slowed by listening for it before.
    m_connections << QObject::connect(&m_board, &BoardModel::channelReported, canvas,
                                      [this](int id) { cellMayHaveChanged(id); });
    m_connections << QObject::connect(&m_board, &BoardModel::callInfoArrived, canvas,
                                      [this](int id, int, const QString&) { cellMayHaveChanged(id); });
    m_connections << QObject::connect(&m_board, &BoardModel::areaChanged, canvas,
                                      [this](const QRect& twips) { areaMayHaveChanged(twips); });
}

BoardAccessible::~BoardAccessible() {
    for (const QMetaObject::Connection& c : m_connections)
        QObject::disconnect(c);
    for (const Told& told : std::as_const(m_items))
        QAccessible::deleteAccessibleInterface(told.id);
}

BoardCanvas* BoardAccessible::canvas() const {
    return static_cast<BoardCanvas*>(widget());
}

int BoardAccessible::firstChannel() const {
    const auto& cells = m_board.cells();
    return !cells.empty() && cells.front().id == 1 ? 1 : 0;
}

int BoardAccessible::childCount() const {
    return static_cast<int>(m_board.cells().size()) - firstChannel();
}

QAccessibleInterface* BoardAccessible::child(int index) const {
    const auto& cells = m_board.cells();
    const int dense = index + firstChannel();
    if (index < 0 || dense >= static_cast<int>(cells.size()))
        return nullptr;
    return cellInterface(cells[static_cast<std::size_t>(dense)].id);
}

int BoardAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const auto* item = dynamic_cast<const BoardCellAccessible*>(child);
    const ChannelCell* c = item ? m_board.cell(item->channel()) : nullptr;
    if (!c)
        return -1;
    return static_cast<int>(c - m_board.cells().data()) - firstChannel();
}

QAccessibleInterface* BoardAccessible::childAt(int x, int y) const {
    const QPoint local = canvas()->mapFromGlobal(QPoint(x, y));
    const BoardHit hit = m_board.hitTest(canvas()->toTwips(QPointF(local)));
    if (hit.kind == BoardHit::Kind::StateLabel || hit.kind == BoardHit::Kind::GroupSquare)
        return cellInterface(hit.id);
    return nullptr;
}

QAccessibleInterface* BoardAccessible::focusChild() const {
    if (canvas()->hasFocus())
        if (QAccessibleInterface* item = cellInterface(canvas()->cursor().current()))
            return item;
    return QAccessibleWidget::focusChild();
}

QString BoardAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Name) {
        const QString own = QAccessibleWidget::text(t);
        return own.isEmpty() ? QStringLiteral("Channel board") : own;
    }
    if (t == QAccessible::Description) {
        int marked = 0;
        const auto& cells = m_board.cells();
        for (std::size_t i = static_cast<std::size_t>(firstChannel()); i < cells.size(); ++i)
            marked += cells[i].isMarked() ? 1 : 0;
        return QStringLiteral("%1 channels, %2 marked").arg(childCount()).arg(marked);
    }
    return QAccessibleWidget::text(t);
}

QAccessibleInterface* BoardAccessible::cellInterface(int id) const {
    if (id == 1 || !m_board.hasCell(id))
        return nullptr;
    if (const auto it = m_items.constFind(id); it != m_items.cend())
        return QAccessible::accessibleInterface(it->id);
    auto* item = new BoardCellAccessible(canvas(), id);
    Told told;
    told.id = QAccessible::registerAccessibleInterface(item);
    const ChannelCell& c = *m_board.cell(id);
    told.name = cellAccessibleName(c);
    told.description = cellAccessibleDescription(c);
    told.marked = c.isMarked();
    m_items.insert(id, told);
    return item;
}

void BoardAccessible::cellMayHaveChanged(int id) {
    if (m_items.isEmpty() || !readerActive())
        return;
    if (const auto it = m_items.find(id); it != m_items.end())
        tell(id, *it);
    // The peer's route tag changed with it.
    if (const ChannelCell* c = m_board.cell(id); c && c->peerNumber() > 0)
        if (const auto it = m_items.find(c->peerNumber()); it != m_items.end())
            tell(c->peerNumber(), *it);
}

void BoardAccessible::areaMayHaveChanged(const QRect& twips) {
    if (m_items.isEmpty() || !readerActive())
        return;
    for (auto it = m_items.begin(); it != m_items.end(); ++it)
        if (const ChannelCell* c = m_board.cell(it.key()); c && c->back.intersects(twips))
            tell(it.key(), *it);
}

void BoardAccessible::tell(int channel, Told& told) {
    const ChannelCell* c = m_board.cell(channel);
    QAccessibleInterface* item = QAccessible::accessibleInterface(told.id);
    if (!c || !item)
        return;
    if (QString name = cellAccessibleName(*c); name != told.name) {
        told.name = std::move(name);
        QAccessibleEvent event(item, QAccessible::NameChanged);
        deliver(&event);
    }
    if (QString description = cellAccessibleDescription(*c); description != told.description) {
        told.description = std::move(description);
        QAccessibleEvent event(item, QAccessible::DescriptionChanged);
        deliver(&event);
    }
    if (c->isMarked() != told.marked) {
        told.marked = c->isMarked();
        QAccessible::State changed;
        changed.selected = true;
        QAccessibleStateChangeEvent event(item, changed);
        deliver(&event);
    }
}

} // namespace corvane
