#pragma once
// The statistics window: one label per group, placed as StatsWindowModel says, captions from the
// board's row labels. StatsWindowHost creates the window when the minute timer or the menu loads it.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <map>

class QLabel;

namespace corvane {

class Monitor;

class StatsWindow : public QWidget {
    Q_OBJECT
public:
    explicit StatsWindow(Monitor& monitor, QWidget* parent = nullptr);
    // The label of a group's row, null when the group has none.
    QLabel* rowLabel(int group) const;
    // Draws the model: the window's caption, place and size, and every row.
    void refresh();
    void refreshRow(int group);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    int px(int twips) const;
    Monitor& m_monitor;
    std::map<int, QLabel*> m_rows;
};

class StatsWindowHost : public QObject {
    Q_OBJECT
public:
    // `mainWindow` is the window the statistics window is placed beside.
    StatsWindowHost(Monitor& monitor, QWidget* mainWindow);
    ~StatsWindowHost() override;
    StatsWindow* window() const { return m_window; }

private:
    void update();
    Monitor& m_monitor;
    QPointer<QWidget> m_mainWindow;
    QPointer<StatsWindow> m_window;
    bool m_updating = false;
};

} // namespace corvane
