#include "windows/StatsWindow.h"

#include "app/Monitor.h"
#include "board/BoardModel.h"
#include "common/Units.h"
#include "stats/Statistics.h"

#include <QCloseEvent>
#include <QEvent>
#include <QLabel>
#include <QScreen>
#include <QScopedValueRollback>

namespace corvane {

// At the screen's logical dots per inch, as the main window and the board are.
int StatsWindow::px(int twips) const {
    return qRound(twipsToPixels(twips, logicalDpiY() > 0 ? logicalDpiY() : 96.0));
}

StatsWindow::StatsWindow(Monitor& monitor, QWidget* parent)
    : QWidget(parent, parent ? Qt::Tool : Qt::Window), m_monitor(monitor) {
    refresh();
}

QLabel* StatsWindow::rowLabel(int group) const {
    const auto it = m_rows.find(group);
    return it == m_rows.end() ? nullptr : it->second;
}

void StatsWindow::refresh() {
    const StatsWindowModel& model = m_monitor.stats->window();
    setWindowTitle(model.caption());
    const QRect g = model.geometry();
    QRect wanted(px(g.left()), px(g.top()), px(g.width()), px(g.height()));
    // Kept inside the screen's work area, however tall the board it stands beside.
    if (const QScreen* s = screen()) {
        const QSize decoration = isVisible() ? frameGeometry().size() - size() : QSize(0, 0);
        const QRect avail = s->availableGeometry().adjusted(0, 0, -decoration.width(), -decoration.height());
        wanted.setSize(wanted.size().boundedTo(avail.size()));
        wanted.moveRight(std::min(wanted.right(), avail.right()));
        wanted.moveBottom(std::min(wanted.bottom(), avail.bottom()));
        wanted.moveTopLeft(QPoint(std::max(wanted.left(), avail.left()), std::max(wanted.top(), avail.top())));
    }
    move(wanted.topLeft());
    resize(wanted.size());
    if (m_monitor.board)
        for (const auto& [group, row] : m_monitor.board->statsRows())
            refreshRow(group);
}

void StatsWindow::refreshRow(int group) {
    const BoardModel* board = m_monitor.board.get();
    if (!board)
        return;
    const auto it = board->statsRows().find(group);
    if (it == board->statsRows().end())
        return;
    QLabel*& label = m_rows[group];
    if (!label) {
        label = new QLabel(this);
        QFont font(QStringLiteral("Arial Narrow"));
        font.setPointSizeF(9);
        label->setFont(font);
        label->show();
    }
    label->setText(it->second.caption);
    const QPoint at = m_monitor.stats->window().rowPosition(group, it->second);
    label->setGeometry(px(at.x()), px(at.y()), px(StatsWindowModel::kRowWidth),
                       px(StatsWindowModel::kRowHeight));
}

bool StatsWindow::event(QEvent* event) {
    // Showing counts as an activation too, for displays that never activate a window.
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::Show)
        m_monitor.stats->windowActivated();
    return QWidget::event(event);
}

void StatsWindow::closeEvent(QCloseEvent* event) {
    // The window stays loaded; closing hides it.
    event->ignore();
    m_monitor.stats->windowClosed();
}

StatsWindowHost::StatsWindowHost(Monitor& monitor, QWidget* mainWindow)
    : QObject(mainWindow), m_monitor(monitor), m_mainWindow(mainWindow) {
    if (!m_monitor.stats)
        return;
    m_monitor.stats->setMainWindowGeometry([this] {
        if (!m_mainWindow)
            return QRect(QPoint(0, 0), m_monitor.ui.clientSize());
        const QRect f = m_mainWindow->frameGeometry();
        const double dpi = m_mainWindow->logicalDpiY() > 0 ? m_mainWindow->logicalDpiY() : 96.0;
        const auto tw = [dpi](int pixels) { return qRound(pixelsToTwips(pixels, dpi)); };
        return QRect(tw(f.left()), tw(f.top()), tw(f.width()), tw(f.height()));
    });
    connect(&m_monitor.stats->window(), &StatsWindowModel::changed, this, &StatsWindowHost::update);
    if (m_monitor.board)
        connect(m_monitor.board.get(), &BoardModel::statsRowChanged, this, [this](int group) {
            if (m_window)
                m_window->refreshRow(group);
        });
    update();
}

StatsWindowHost::~StatsWindowHost() {
    if (m_monitor.stats)
        m_monitor.stats->setMainWindowGeometry({});
    delete m_window.data();
}

void StatsWindowHost::update() {
    const StatsWindowModel& model = m_monitor.stats->window();
    if (!model.isLoaded() || m_updating)
        return;
    // Showing the window activates it, which changes the model again.
    const QScopedValueRollback guard(m_updating, true);
    if (!m_window)
        // A tool window of the main window: it stays above it when the board is clicked.
        m_window = new StatsWindow(m_monitor, m_mainWindow);
    if (model.isVisible() && !m_window->isVisible())
        m_window->show();
    else if (!model.isVisible() && m_window->isVisible())
        m_window->hide();
    m_window->refresh();
}

} // namespace corvane
