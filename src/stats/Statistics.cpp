#include "stats/Statistics.h"

#include "app/Monitor.h"
#include "board/BoardModel.h"
#include "board/GroupTables.h"
#include "common/LegacyText.h"
#include "platform/Clock.h"

#include <QSize>

namespace corvane {

Statistics::Statistics(Monitor& monitor)
    : m_monitor(monitor), m_timer(monitor.platform.clock.createTimer()), m_scheduler(monitor) {
    m_timer->setInterval(kIntervalMs);
    m_timer->setCallback([this] { minuteTick(); });
    m_timer->setEnabled(true);
    m_monitor.ui.setElementAction(Element::StatsButton, MainWindowModel::Gesture::Click,
                                  [this] { showTotals(); });
    m_monitor.ui.setMenuAction(MenuItem::StatsWin, [this] { toggleWindow(); });
}

Statistics::~Statistics() = default;

QRect Statistics::mainWindowGeometry() const {
    if (m_mainGeometry)
        return m_mainGeometry();
    return QRect(QPoint(0, 0), m_monitor.ui.clientSize());
}

void Statistics::minuteTick() {
    GroupTables* groups = m_monitor.groups.get();
    BoardModel* board = m_monitor.board.get();
    if (groups) {
        const int count = groups->groupCount();
        for (int g = 1; g <= count; ++g)
            groups->setConnectedNow(g, 0);
        // O-side channels now connected, by group; groups outside the table are not counted.
        if (board) {
            for (const ChannelCell& c : board->cells()) {
                if (!c.connected || c.side == 'R' || c.group < 1 || c.group > count)
                    continue;
                groups->setConnectedNow(c.group,
                                        static_cast<std::int16_t>(groups->connectedNow(c.group) + 1));
            }
        }
        for (int g = 1; g <= count; ++g) {
            if (board && board->statsRows().count(g))
                board->setStatsCaption(g, QStringLiteral("G") + numberText(g) + QStringLiteral("-") +
                                              numberText(groups->connectedNow(g)) + QStringLiteral("c,") +
                                              numberText(groups->oConnectCount(g)) + QStringLiteral("cpm"));
            groups->setOConnectCount(g, 0);
        }
        m_window.load(mainWindowGeometry());
    }
    m_scheduler.run();
}

void Statistics::showTotals() {
    const BoardModel* board = m_monitor.board.get();
    if (!board)
        return;
    int r = 0;
    int o = 0;
    for (const ChannelCell& c : board->cells()) {
        if (!c.connected)
            continue;
        if (c.side == 'R' || c.side == 'r')
            ++r;
        else
            ++o;
    }
    const auto notRouted = static_cast<std::int16_t>(r - o);
    m_monitor.ui.setCaption(Element::CallText, QStringLiteral("Total calls =") + numberText(r) +
                                                   QStringLiteral(" Non Routed = ") + numberText(notRouted));
}

void Statistics::toggleWindow() {
    const bool checked = !m_monitor.ui.isChecked(MenuItem::StatsWin);
    m_monitor.ui.setMenuChecked(MenuItem::StatsWin, checked);
    m_window.setVisible(checked, mainWindowGeometry());
}

void Statistics::windowClosed() {
    m_monitor.ui.setMenuChecked(MenuItem::StatsWin, false);
    m_window.setVisible(false, mainWindowGeometry());
}

void Statistics::windowActivated() {
    const BoardModel* board = m_monitor.board.get();
    static const std::map<int, StatsRow> none;
    m_window.activate(mainWindowGeometry(), m_monitor.config.title, board ? board->statsRows() : none);
}

} // namespace corvane
