#include "stats/Statistics.h"

#include "board/BoardModel.h"
#include "board/GroupTables.h"
#include "common/LegacyText.h"
#include "common/MainWindowModel.h"
#include "platform/Clock.h"

#include <QSize>

namespace corvane {

Statistics::Statistics(MainWindowModel& ui, const MonitorConfig& config, Clock& clock, GroupTables& groups,
                       BoardModel& board, LinkSocket& link, AlarmList& alarms, const Sounds& sounds)
    : m_ui(ui), m_config(config), m_groups(groups), m_board(board), m_timer(clock.createTimer()),
      m_scheduler(config, clock, link, alarms, sounds) {
    m_timer->setInterval(kIntervalMs);
    m_timer->setCallback([this] { minuteTick(); });
    m_timer->setEnabled(true);
    m_ui.setElementAction(Element::StatsButton, MainWindowModel::Gesture::Click, [this] { showTotals(); });
    m_ui.setMenuAction(MenuItem::StatsWin, [this] { toggleWindow(); });
}

Statistics::~Statistics() = default;

QRect Statistics::mainWindowGeometry() const {
    if (m_mainGeometry)
        return m_mainGeometry();
    return QRect(QPoint(0, 0), m_ui.clientSize());
}

void Statistics::minuteTick() {
    const int count = m_groups.groupCount();
    for (int g = 1; g <= count; ++g)
        m_groups.setConnectedNow(g, 0);
    // O-side channels now connected, by group; groups outside the table are not counted.
    for (const ChannelCell& c : m_board.cells()) {
        if (!c.connected || c.side == 'R' || c.group < 1 || c.group > count)
            continue;
        m_groups.setConnectedNow(c.group, static_cast<std::int16_t>(m_groups.connectedNow(c.group) + 1));
    }
    for (int g = 1; g <= count; ++g) {
        if (m_board.statsRows().count(g))
            m_board.setStatsCaption(g, QStringLiteral("G") + numberText(g) + QStringLiteral("-") +
                                           numberText(m_groups.connectedNow(g)) + QStringLiteral("c,") +
                                           numberText(m_groups.oConnectCount(g)) + QStringLiteral("cpm"));
        m_groups.setOConnectCount(g, 0);
    }
    m_window.load(mainWindowGeometry());
    m_scheduler.run();
}

void Statistics::showTotals() {
    int r = 0;
    int o = 0;
    for (const ChannelCell& c : m_board.cells()) {
        if (!c.connected)
            continue;
        if (c.side == 'R' || c.side == 'r')
            ++r;
        else
            ++o;
    }
    const auto notRouted = static_cast<std::int16_t>(r - o);
    m_ui.setCaption(Element::CallText, QStringLiteral("Total calls =") + numberText(r) +
                                           QStringLiteral(" Non Routed = ") + numberText(notRouted));
}

void Statistics::toggleWindow() {
    const bool checked = !m_ui.isChecked(MenuItem::StatsWin);
    m_ui.setMenuChecked(MenuItem::StatsWin, checked);
    m_window.setVisible(checked, mainWindowGeometry());
}

void Statistics::windowClosed() {
    m_ui.setMenuChecked(MenuItem::StatsWin, false);
    m_window.setVisible(false, mainWindowGeometry());
}

void Statistics::windowActivated() {
    m_window.activate(mainWindowGeometry(), m_config.title, m_board.statsRows());
}

} // namespace corvane
