#pragma once
// The alarm list: the operator's running record of alarms and events, newest line at the bottom, with
// the most recent line repeated in the LastAlarm label. The list and its selection live here so that
// handlers and tests work without a display; AlarmListView shows them.

#include <QAbstractListModel>
#include <QItemSelectionModel>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace corvane {

class Clock;
class MainWindowModel;
class Sounds;

class AlarmList : public QAbstractListModel {
    Q_OBJECT
public:
    AlarmList(MainWindowModel& ui, const Clock& clock);
    ~AlarmList() override;

    // The stamp of the current local time followed by the text: "mm/dd/yy hh:mm AMPM ---text".
    QString alarmLine(const QString& text) const;

    // Adds a complete alarm line (stamp included) the way alarm messages do: when the list already holds
    // more lines than the maximum, the oldest one line goes first. The check comes before the append, so
    // the list settles at the maximum plus one. The line is shown in LastAlarm.
    void addAlarmLine(const QString& line);
    // Appends a complete alarm line without the size check (the watchdogs' and the scheduler's lines)
    // and shows it in LastAlarm.
    void appendAlarmLine(const QString& line);
    // Stamps the text and appends it: what another part of the monitor reports in a line of its own.
    void raise(const QString& text) { appendAlarmLine(alarmLine(text)); }

    int count() const { return static_cast<int>(m_lines.size()); }
    const QString& line(int row) const { return m_lines.at(row); }
    const QStringList& lines() const { return m_lines; }

    // The numeric value of the MaxListCount text box; nothing when it does not fit in 16 bits.
    std::optional<std::int16_t> maxCount() const;

    QItemSelectionModel& selection() { return m_selection; }
    bool isSelected(int row) const;
    void setSelected(int row, bool selected);
    QList<int> selectedRows() const;

    // "Clear": removes the selected lines, or every line when none is selected. LastAlarm stays.
    void clear();
    // The selected lines in list order joined by CR LF, no line end after the last.
    QString copyText() const;
    // Leaving MaxListCount: selects the oldest lines beyond the maximum so the operator sees what
    // exceeds it. Nothing is deleted.
    void maxCountLeft();

    // QAbstractListModel
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    void allowSoundsClicked();
    MainWindowModel& m_ui;
    const Clock& m_clock;
    QStringList m_lines;
    QItemSelectionModel m_selection;
};

// AlarmChime: three rising and falling pairs of tones, each only while sounds are allowed.
void alarmChime(const Sounds& sounds);

} // namespace corvane
