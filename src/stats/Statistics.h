#pragma once
// The minute timer (StatsTimer) and what hangs on it: the per-group statistics of calls up and calls
// per minute shown in the statistics window, and the scheduled commands. Also the "Stats" button's
// totals and the "Stats Window" menu.

#include "stats/Schedule.h"
#include "stats/StatsWindowModel.h"

#include <QObject>
#include <QRect>
#include <functional>
#include <memory>

namespace corvane {

class AlarmList;
class BoardModel;
class Clock;
class GroupTables;
class LinkSocket;
class MainWindowModel;
class Sounds;
class Timer;

class Statistics : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 60000;

    // The scheduled commands go out through `link`, each with its alarm line and tones.
    Statistics(MainWindowModel& ui, const MonitorConfig& config, Clock& clock, GroupTables& groups,
               BoardModel& board, LinkSocket& link, AlarmList& alarms, const Sounds& sounds);
    ~Statistics() override;

    Timer& timer() { return *m_timer; }
    StatsWindowModel& window() { return m_window; }

    // One tick of the minute timer.
    void minuteTick();
    // The "Stats" button: the calls up on both sides and those not routed, in CallText.
    void showTotals();
    // The "Stats Window" menu: shows or hides the window.
    void toggleWindow();
    // The window was closed by its user: it is kept, hidden, and the menu unchecked.
    void windowClosed();
    // The window became the active window.
    void windowActivated();

    // The main window's outer rectangle in twips, for placing the statistics window beside it. The
    // window's view installs the real one; without it the main window's client area at the origin.
    void setMainWindowGeometry(std::function<QRect()> geometry) { m_mainGeometry = std::move(geometry); }
    QRect mainWindowGeometry() const;

private:
    MainWindowModel& m_ui;
    const MonitorConfig& m_config;
    GroupTables& m_groups;
    BoardModel& m_board;
    std::unique_ptr<Timer> m_timer;
    Scheduler m_scheduler;
    StatsWindowModel m_window;
    std::function<QRect()> m_mainGeometry;
};

} // namespace corvane
