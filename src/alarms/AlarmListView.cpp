#include "alarms/AlarmListView.h"

#include "alarms/AlarmList.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>

namespace corvane {

namespace {

// Watches the MaxListCount box for the moment it loses the focus.
class MaxCountWatcher final : public QObject {
public:
    MaxCountWatcher(AlarmList& alarms, QObject* parent) : QObject(parent), m_alarms(alarms) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusOut)
            m_alarms.maxCountLeft();
        return QObject::eventFilter(watched, event);
    }

private:
    AlarmList& m_alarms;
};

} // namespace

AlarmListView::AlarmListView(AlarmList& alarms, QWidget* parent)
    : QListView(parent), m_alarms(alarms), m_newLines(new QPushButton(this)) {
    setModel(&alarms);
    // The list's selection lives with the alarm list, so "Clear" and the copy see what the operator sees.
    QItemSelectionModel* own = selectionModel();
    setSelectionModel(&alarms.selection());
    if (own && own != &alarms.selection())
        own->deleteLater();
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Whether to follow is the operator's choice, made by scrolling: only the operator's scrolls (and
    // the list shrinking under a view at its bottom) change it, never the lines arriving.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { scrolled(); });
    connect(&alarms, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] { holdPlace(); });
    connect(&alarms, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] { holdPlace(); });
    connect(&alarms, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                if (!m_follow) {
                    m_unseen += last - first + 1;
                    showUnseen();
                }
            });
    m_newLines->setObjectName(QStringLiteral("newAlarmsBelow"));
    m_newLines->setFocusPolicy(Qt::NoFocus);
    m_newLines->setCursor(Qt::PointingHandCursor);
    m_newLines->hide();
    connect(m_newLines, &QPushButton::clicked, this, [this] {
        m_follow = true;
        scrollToBottom();
        scrolled();
    });
}

void AlarmListView::holdPlace() {
    // One scroll for a burst of lines: scrolling lays the whole list out, too much to do for every line
    // of an alarm storm.
    if (m_restorePending)
        return;
    m_restorePending = true;
    QMetaObject::invokeMethod(
        this, [this] { restorePlace(); }, Qt::QueuedConnection);
}

QModelIndex AlarmListView::topIndex() const {
    // Scrolling by whole lines, the scroll bar's value is the top line; it stays right while the
    // layout waits to be redone, when the view cannot yet say what lies at its top.
    return m_alarms.index(verticalScrollBar()->value());
}

void AlarmListView::restorePlace() {
    m_restorePending = false;
    m_restoring = true;
    if (m_follow)
        scrollToBottom();
    else if (m_anchor.isValid())
        scrollTo(m_anchor, QAbstractItemView::PositionAtTop);
    else {
        // The line the operator read was trimmed: the oldest line left is where the reading goes on.
        scrollToTop();
        m_anchor = QPersistentModelIndex(m_alarms.index(0));
    }
    m_restoring = false;
}

void AlarmListView::scrolled() {
    if (m_restoring)
        return;
    const QScrollBar* bar = verticalScrollBar();
    // The line at the top is the operator's place; as a persistent index it moves with its line while
    // lines arrive below and the oldest are trimmed above.
    m_follow = bar->value() >= bar->maximum();
    m_anchor = m_follow ? QPersistentModelIndex() : QPersistentModelIndex(topIndex());
    if (m_follow) {
        m_unseen = 0;
        m_newLines->hide();
    }
}

void AlarmListView::showUnseen() {
    m_newLines->setText(m_unseen == 1 ? QStringLiteral("1 new alarm below")
                                      : QStringLiteral("%1 new alarms below").arg(m_unseen));
    m_newLines->adjustSize();
    placeNewLinesButton();
    m_newLines->show();
    m_newLines->raise();
}

void AlarmListView::placeNewLinesButton() {
    const QRect area = viewport()->geometry();
    const QSize size = m_newLines->sizeHint();
    m_newLines->setGeometry(
        QRect(QPoint(area.right() - size.width() - 4, area.bottom() - size.height() - 4), size));
}

void AlarmListView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    placeNewLinesButton();
}

void AlarmListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete) {
        m_alarms.clear();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Control) {
        copySelection();
        event->accept();
        return;
    }
    // The list's own copy would put only the current line on the clipboard.
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void AlarmListView::copySelection() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    clipboard->clear();
    clipboard->setText(m_alarms.copyText());
}

void watchMaxCountBox(AlarmList& alarms, QWidget* box) {
    if (box)
        box->installEventFilter(new MaxCountWatcher(alarms, box));
}

} // namespace corvane
