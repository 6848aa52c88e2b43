#pragma once
// The alarm list on the main window: a list with multiple selection over AlarmList. Delete runs
// "Clear"; the Ctrl key copies the selected lines to the clipboard (so Ctrl+C and any other Ctrl
// combination copy them).

#include <QListView>

namespace corvane {

class AlarmList;
class Monitor;
class MonitorMain;

class AlarmListView : public QListView {
    Q_OBJECT
public:
    explicit AlarmListView(AlarmList& alarms, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void copySelection();
    AlarmList& m_alarms;
    bool m_follow = true;
    bool m_scrollPending = false;
};

// Puts the alarm list view into the main window and makes leaving the MaxListCount box select the
// lines over the maximum.
void installAlarmViews(Monitor& monitor, MonitorMain& window);

} // namespace corvane
