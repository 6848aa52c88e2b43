#include "windows/StatsWindow.h"

#include "board/BoardModel.h"
#include "board/BoardView.h"
#include "common/MainWindowModel.h"
#include "common/Units.h"
#include "stats/Statistics.h"
#include "windows/WorkArea.h"

#include <QCloseEvent>
#include <QEvent>
#include <QLabel>
#include <QScopedValueRollback>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace corvane {

// At the screen's logical dots per inch, as the main window and the board are.
int StatsWindow::px(int twips) const {
    return qRound(twipsToPixels(twips, logicalDpiY() > 0 ? logicalDpiY() : 96.0));
}

// Rounded as the board rounds its cells' edges, so that a row moves exactly as its cell does; nothing
// at zoom 1.
int StatsWindow::zoomShift(int twips) const {
    const double dpi = logicalDpiY() > 0 ? logicalDpiY() : 96.0;
    return static_cast<int>(std::lround(twipsToPixels(twips, dpi * m_boardZoom)) -
                            std::lround(twipsToPixels(twips, dpi)));
}

// The board's place in the main window is not zoomed, only the heights on the board.
int StatsWindow::rowShift(int top) const {
    return zoomShift(top - m_board.statsRowsOrigin());
}

StatsWindow::StatsWindow(Statistics& stats, const BoardModel& board, QWidget* parent)
    : QWidget(parent, parent ? Qt::Tool : Qt::Window), m_stats(stats), m_board(board),
      m_area(new QScrollArea(this)), m_page(new QWidget) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_area);
    m_area->setFrameShape(QFrame::NoFrame);
    m_area->setWidget(m_page);
    new WorkAreaKeeper(*this, [this] { place(); });
    refresh();
}

QLabel* StatsWindow::rowLabel(int group) const {
    const auto it = m_rows.find(group);
    return it == m_rows.end() ? nullptr : it->second;
}

void StatsWindow::refresh() {
    setWindowTitle(m_stats.window().caption());
    place();
    for (const auto& [group, row] : m_board.statsRows())
        refreshRow(group);
}

void StatsWindow::place() {
    const StatsWindowModel& model = m_stats.window();
    const QRect g = model.geometry();
    // The zoom moves the rows apart as it moves the board's; the page grows by what the lowest moved.
    int lowest = model.rowsTop();
    for (const auto& [group, row] : m_board.statsRows())
        lowest = std::max(lowest, row.top);
    const QSize design(px(g.width()), px(g.height()) + rowShift(lowest) - rowShift(model.rowsTop()));
    m_page->resize(design);
    // Kept inside the screen's work area, however tall the board it stands beside.
    const QPoint at(px(g.left()), px(g.top()) + rowShift(model.rowsTop()));
    const QRect r = fittedToWorkArea(*this, at, design, design.height());
    move(r.topLeft());
    resize(r.size());
}

void StatsWindow::scrollRowsTo(int twips) {
    m_area->verticalScrollBar()->setValue(px(twips) + zoomShift(twips));
}

void StatsWindow::setBoardZoom(double zoom) {
    if (zoom == m_boardZoom)
        return;
    m_boardZoom = zoom;
    refresh();
}

void StatsWindow::refreshRow(int group) {
    const auto it = m_board.statsRows().find(group);
    if (it == m_board.statsRows().end())
        return;
    QLabel*& label = m_rows[group];
    if (!label) {
        label = new QLabel(m_page);
        QFont font(QStringLiteral("Arial Narrow"));
        font.setPointSizeF(9);
        label->setFont(font);
        label->show();
    }
    label->setText(it->second.caption);
    const StatsWindowModel& model = m_stats.window();
    const QPoint at = model.rowPosition(group, it->second);
    // Where the row stands at zoom 1, moved as far as the zoom moves its board row from the highest.
    const int y = px(at.y()) + rowShift(it->second.top) - rowShift(model.rowsTop());
    label->setGeometry(px(at.x()), y, px(StatsWindowModel::kRowWidth),
                       px(StatsWindowModel::kRowHeight));
}

bool StatsWindow::event(QEvent* event) {
    // Showing counts as an activation too, for displays that never activate a window.
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::Show)
        m_stats.windowActivated();
    return QWidget::event(event);
}

void StatsWindow::closeEvent(QCloseEvent* event) {
    // The window stays loaded; closing hides it.
    event->ignore();
    m_stats.windowClosed();
}

StatsWindowHost::StatsWindowHost(Statistics& stats, const BoardModel& board, const MainWindowModel& ui,
                                 QWidget* mainWindow)
    : QObject(mainWindow), m_stats(stats), m_boardModel(board), m_ui(ui), m_mainWindow(mainWindow) {
    m_stats.setMainWindowGeometry([this] {
        if (!m_mainWindow)
            return QRect(QPoint(0, 0), m_ui.clientSize());
        const QRect f = m_mainWindow->frameGeometry();
        const double dpi = m_mainWindow->logicalDpiY() > 0 ? m_mainWindow->logicalDpiY() : 96.0;
        const auto tw = [dpi](int pixels) { return qRound(pixelsToTwips(pixels, dpi)); };
        return QRect(tw(f.left()), tw(f.top()), tw(f.width()), tw(f.height()));
    });
    connect(&m_stats.window(), &StatsWindowModel::changed, this, &StatsWindowHost::update);
    connect(&m_boardModel, &BoardModel::statsRowChanged, this, [this](int group) {
        if (m_window)
            m_window->refreshRow(group);
    });
    update();
}

StatsWindowHost::~StatsWindowHost() {
    m_stats.setMainWindowGeometry({});
    delete m_window.data();
}

void StatsWindowHost::update() {
    const StatsWindowModel& model = m_stats.window();
    if (!model.isLoaded() || m_updating)
        return;
    // Showing the window activates it, which changes the model again.
    const QScopedValueRollback guard(m_updating, true);
    if (!m_window)
        // A tool window of the main window: it stays above it when the board is clicked.
        m_window = new StatsWindow(m_stats, m_boardModel, m_mainWindow);
    if (model.isVisible() && !m_window->isVisible())
        m_window->show();
    else if (!model.isVisible() && m_window->isVisible())
        m_window->hide();
    m_window->refresh();
    followBoardScrolling();
}

void StatsWindowHost::followBoard(BoardView& board) {
    m_board = &board;
    connect(board.verticalScrollBar(), &QScrollBar::valueChanged, this, &StatsWindowHost::followBoardScrolling);
    connect(board.verticalScrollBar(), &QScrollBar::rangeChanged, this, &StatsWindowHost::followBoardScrolling);
    connect(board.canvas(), &BoardCanvas::zoomChanged, this, &StatsWindowHost::followBoardScrolling);
    followBoardScrolling();
}

void StatsWindowHost::followBoardScrolling() {
    if (!m_window || !m_board)
        return;
    m_window->setBoardZoom(m_board->canvas()->zoom());
    m_window->scrollRowsTo(
        qRound(m_board->canvas()->toTwips(QPointF(0, m_board->verticalScrollBar()->value())).y()));
}

} // namespace corvane
