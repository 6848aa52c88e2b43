#include "alarms/AlarmListView.h"

#include "alarms/AlarmList.h"
#include "app/Monitor.h"
#include "operator/MainWindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
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

AlarmListView::AlarmListView(AlarmList& alarms, QWidget* parent) : QListView(parent), m_alarms(alarms) {
    setModel(&alarms);
    // The list's selection lives with the alarm list, so "Clear" and the copy see what the operator sees.
    QItemSelectionModel* own = selectionModel();
    setSelectionModel(&alarms.selection());
    if (own && own != &alarms.selection())
        own->deleteLater();
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // New lines arrive at the bottom: follow them while the operator is looking at the bottom.
    // While a scroll is pending the view is following already; its scroll bar has not caught up yet.
    connect(&alarms, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        if (!m_scrollPending)
            m_follow = verticalScrollBar()->value() == verticalScrollBar()->maximum();
    });
    // One scroll for a burst of lines: scrolling lays the whole list out, too much to do for every line
    // of an alarm storm.
    connect(&alarms, &QAbstractItemModel::rowsInserted, this, [this] {
        if (!m_follow || m_scrollPending)
            return;
        m_scrollPending = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_scrollPending = false;
                scrollToBottom();
            },
            Qt::QueuedConnection);
    });
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

void installAlarmViews(Monitor& monitor, MonitorMain& window) {
    if (!monitor.alarms)
        return;
    window.setElementWidget(Element::AlarmsList, new AlarmListView(*monitor.alarms));
    if (QWidget* box = window.elementWidget(Element::MaxListCount))
        box->installEventFilter(new MaxCountWatcher(*monitor.alarms, box));
}

} // namespace corvane
