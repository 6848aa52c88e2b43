#include "alarms/AlarmList.h"

#include "alarms/PageFilter.h"
#include "alarms/Sounds.h"
#include "common/LegacyText.h"
#include "common/MainWindowModel.h"
#include "platform/Clock.h"

#include <algorithm>

namespace corvane {

AlarmList::AlarmList(MainWindowModel& ui, const Clock& clock) : m_ui(ui), m_clock(clock), m_selection(this) {
    m_ui.setElementAction(Element::Command1, MainWindowModel::Gesture::Click, [this] { clear(); });
    m_ui.setMenuAction(MenuItem::AllowSounds, [this] { allowSoundsClicked(); });
}

AlarmList::~AlarmList() = default;

QString AlarmList::alarmLine(const QString& text) const {
    return alarmStamp(m_clock.now()) + text;
}

void AlarmList::addAlarmLine(const QString& line) {
    // A maximum that does not fit in 16 bits cannot be compared: the trim is skipped, the line still goes in.
    // A negative one trims like 0; an empty list has nothing to drop.
    if (const auto max = maxCount(); max && *max < count() && count() > 0) {
        beginRemoveRows({}, 0, 0);
        m_lines.removeFirst();
        endRemoveRows();
    }
    appendAlarmLine(line);
}

void AlarmList::appendAlarmLine(const QString& line) {
    beginInsertRows({}, count(), count());
    m_lines.append(line);
    endInsertRows();
    m_ui.setCaption(Element::LastAlarm, line);
}

std::optional<std::int16_t> AlarmList::maxCount() const {
    return leadingInt16(m_ui.element(Element::MaxListCount).caption);
}

bool AlarmList::isSelected(int row) const {
    return m_selection.isSelected(index(row));
}

void AlarmList::setSelected(int row, bool selected) {
    if (row < 0 || row >= count())
        return;
    m_selection.select(index(row), selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

QList<int> AlarmList::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex& i : m_selection.selectedIndexes())
        rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void AlarmList::clear() {
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        beginResetModel();
        m_lines.clear();
        endResetModel();
        return;
    }
    // From the bottom up, so the rows still to go keep their numbers.
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        beginRemoveRows({}, *it, *it);
        m_lines.removeAt(*it);
        endRemoveRows();
    }
}

QString AlarmList::copyText() const {
    QStringList picked;
    for (int row : selectedRows())
        picked.append(m_lines.at(row));
    return picked.join(QStringLiteral("\r\n"));
}

void AlarmList::maxCountLeft() {
    const auto max = maxCount();
    if (!max || *max >= count())
        return;
    const int excess = count() - *max;
    // A negative maximum would ask for more lines than there are: every line is then over it.
    const int last = std::min(excess, count()) - 1;
    m_selection.select(QItemSelection(index(0), index(last)), QItemSelectionModel::Select);
}

int AlarmList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant AlarmList::data(const QModelIndex& i, int role) const {
    if (!i.isValid() || i.row() >= count())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return m_lines.at(i.row());
    return {};
}

void AlarmList::allowSoundsClicked() {
    const bool on = !m_ui.isChecked(MenuItem::AllowSounds);
    m_ui.setMenuChecked(MenuItem::AllowSounds, on);
    if (on)
        setMaskMenusEnabled(m_ui, true);
    else if (!m_ui.isChecked(MenuItem::EnablePager))
        setMaskMenusEnabled(m_ui, false);
}

void alarmChime(const Sounds& sounds) {
    for (int i = 0; i < 3; ++i) {
        sounds.play(880, 100);
        sounds.play(660, 100);
    }
}

} // namespace corvane
