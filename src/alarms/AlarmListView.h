#pragma once
// The alarm list on the main window: a list with multiple selection over AlarmList. Delete runs
// "Clear"; the Ctrl key copies the selected lines to the clipboard (so Ctrl+C and any other Ctrl
// combination copy them).
//
// New lines are followed only while the view is at the bottom, as in a terminal. Once the operator
// has scrolled up, the line at the top of the view stays there whatever arrives below or is trimmed
// above, and a small button over the list's corner counts the lines that arrived below; clicking it
// goes to the bottom and follows again.

#include <QListView>
#include <QPersistentModelIndex>

class QPushButton;

namespace corvane {

class AlarmList;

class AlarmListView : public QListView {
    Q_OBJECT
public:
    explicit AlarmListView(AlarmList& alarms, QWidget* parent = nullptr);

    // Whether new lines are followed (the view was at the bottom when the operator last scrolled).
    bool follows() const { return m_follow; }
    // Lines that arrived below since the operator scrolled up.
    int unseenCount() const { return m_unseen; }
    // The "N new alarms below" button, hidden while following.
    QPushButton* newLinesButton() const { return m_newLines; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void copySelection();
    // Before the list changes: remember the place once for the whole burst and restore it after.
    void holdPlace();
    void restorePlace();
    QModelIndex topIndex() const;
    void scrolled();
    void showUnseen();
    void placeNewLinesButton();
    AlarmList& m_alarms;
    QPushButton* m_newLines;
    QPersistentModelIndex m_anchor;
    int m_unseen = 0;
    bool m_follow = true;
    bool m_restorePending = false;
    bool m_restoring = false;
};

// Makes leaving the MaxListCount box select the lines over the maximum (no box, nothing to watch).
void watchMaxCountBox(AlarmList& alarms, QWidget* box);

} // namespace corvane
