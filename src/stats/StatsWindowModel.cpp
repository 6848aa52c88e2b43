#include "stats/StatsWindowModel.h"

#include "common/LegacyText.h"

#include <algorithm>
#include <vector>

namespace corvane {

QPoint StatsWindowModel::rowPosition(int group, const StatsRow& row) const {
    const auto it = m_rowLeft.find(group);
    // Rows that came after the layout keep the template's left; every row stays level with its group.
    return {it == m_rowLeft.end() ? kRowLeft : it->second, row.top - m_smallestTop};
}

void StatsWindowModel::place(const QRect& mainWindow) {
    m_geometry.moveTo(mainWindow.left() + mainWindow.width() - 500, mainWindow.top() + 255);
}

void StatsWindowModel::load(const QRect& mainWindow) {
    if (m_loaded)
        return;
    m_loaded = true;
    place(mainWindow);
    emit changed();
}

void StatsWindowModel::setVisible(bool visible, const QRect& mainWindow) {
    load(mainWindow);
    if (m_visible == visible)
        return;
    m_visible = visible;
    emit changed();
}

void StatsWindowModel::activate(const QRect& mainWindow, const QString& title,
                                const std::map<int, StatsRow>& rows) {
    load(mainWindow);
    place(mainWindow);
    // Laid out once the board has given at least one row; with none there is nothing to line up with,
    // and the window stays where it was placed instead of being pushed a million twips down.
    if (!m_laidOut && !rows.empty())
        layOut(title, rows);
    m_geometry.translate(0, m_smallestTop);
    emit changed();
}

void StatsWindowModel::layOut(const QString& title, const std::map<int, StatsRow>& rows) {
    int smallest = 1000000;
    int largest = 0;
    for (const auto& [group, r] : rows) {
        smallest = std::min(smallest, r.top);
        largest = std::max(largest, r.top);
    }
    // Groups on the same board row side by side, in increasing order of their highest channel.
    std::map<int, std::vector<std::pair<double, int>>> byTop;
    for (const auto& [group, r] : rows)
        byTop[r.top].push_back({leadingNumber(r.tag), group});
    for (auto& [top, shared] : byTop) {
        std::stable_sort(shared.begin(), shared.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        int left = kRowLeft;
        for (const auto& [tag, group] : shared) {
            m_rowLeft[group] = left;
            if (left + kRowWidth + kRowLeft > m_geometry.width())
                m_geometry.setWidth(left + kRowWidth + kRowLeft);
            left += kRowWidth;
        }
    }
    m_smallestTop = smallest;
    m_geometry.setHeight(largest - smallest + kRowHeight + 500);
    m_caption = QStringLiteral("Stats ") + title;
    m_laidOut = true;
}

void StatsWindowModel::setSize(const QSize& twips) {
    if (m_geometry.size() == twips)
        return;
    m_geometry.setSize(twips);
    emit changed();
}

} // namespace corvane
