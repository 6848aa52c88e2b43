#pragma once
// The statistics window: one label per group, placed as StatsWindowModel says, captions from the
// board's row labels. StatsWindowHost creates the window when the minute timer or the menu loads it.
// The rows keep their places on a page of the window's design size, which scrolls when the screen's
// work area is smaller, and follows the board's scrolling and zoom so that the rows stay level with the
// board's.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <map>

class QLabel;
class QScrollArea;

namespace corvane {

class BoardModel;
class BoardView;
class MainWindowModel;
class Statistics;

class StatsWindow : public QWidget {
    Q_OBJECT
public:
    StatsWindow(Statistics& stats, const BoardModel& board, QWidget* parent = nullptr);
    // The label of a group's row, null when the group has none.
    QLabel* rowLabel(int group) const;
    // Draws the model: the window's caption, place and size, and every row.
    void refresh();
    void refreshRow(int group);
    // Scrolls the rows to show the board's rows from `twips` down first, as far as they reach.
    void scrollRowsTo(int twips);
    // The zoom the board is drawn at: the rows keep level with the board's rows at it.
    void setBoardZoom(double zoom);
    QScrollArea* rowsArea() const { return m_area; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    int px(int twips) const;
    // How far the board's zoom moves the board height `twips` from where it is at zoom 1 (pixels).
    int zoomShift(int twips) const;
    // The same for a row standing at `top` (twips from the main window's top).
    int rowShift(int top) const;
    // Sizes and places the window by the model, inside the screen's work area.
    void place();
    Statistics& m_stats;
    const BoardModel& m_board;
    QScrollArea* m_area;
    QWidget* m_page;
    std::map<int, QLabel*> m_rows;
    double m_boardZoom = 1.0;
};

class StatsWindowHost : public QObject {
    Q_OBJECT
public:
    // `mainWindow` is the window the statistics window is placed beside; without it, the form's client
    // area at the origin.
    StatsWindowHost(Statistics& stats, const BoardModel& board, const MainWindowModel& ui,
                    QWidget* mainWindow);
    ~StatsWindowHost() override;
    StatsWindow* window() const { return m_window; }
    // The rows follow the vertical scrolling of this board.
    void followBoard(BoardView& board);

private:
    void update();
    void followBoardScrolling();
    Statistics& m_stats;
    const BoardModel& m_boardModel;
    const MainWindowModel& m_ui;
    QPointer<QWidget> m_mainWindow;
    QPointer<StatsWindow> m_window;
    QPointer<BoardView> m_board;
    bool m_updating = false;
};

} // namespace corvane
