// The alarm list on the window: keys on the list (Delete, the Ctrl copy) and leaving the maximum box.

#include "alarms/AlarmList.h"
#include "alarms/AlarmListView.h"
#include "operator/MainWindow.h"
#include "support/ManualClock.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QLineEdit>
#include <QTest>

using namespace corvane;

class TestAlarmListView : public QObject {
    Q_OBJECT

private slots:
    void keysOnTheList() {
        MainWindowModel ui;
        test::ManualClock clock;
        AlarmList list(ui, clock);
        AlarmListView view(list);
        view.show();
        for (const char* s : {"one", "two", "three", "four"})
            list.addAlarmLine(QString::fromLatin1(s));

        // What the operator selects in the view is what the list acts on.
        view.selectionModel()->select(list.index(0), QItemSelectionModel::Select);
        view.selectionModel()->select(list.index(2), QItemSelectionModel::Select);
        QCOMPARE(list.selectedRows(), (QList<int>{0, 2}));

        QGuiApplication::clipboard()->setText(QStringLiteral("stale"));
        QTest::keyClick(&view, Qt::Key_Control, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("one\r\nthree"));
        // Ctrl+C copies the whole selection too, not just the current line.
        view.selectionModel()->setCurrentIndex(list.index(3), QItemSelectionModel::NoUpdate);
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("one\r\nthree"));
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(list.lines(), (QStringList{"two", "four"}));

        // Nothing selected: the copy empties the clipboard, Delete empties the list.
        view.clearSelection();
        QTest::keyClick(&view, Qt::Key_Control, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString());
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(list.count(), 0);
    }

    void leavingTheMaximumBoxOnTheWindow() {
        MainWindowModel ui;
        test::ManualClock clock;
        AlarmList list(ui, clock);
        MonitorMain window(ui);
        watchMaxCountBox(list, window.elementWidget(Element::MaxListCount));
        for (int i = 0; i < 12; ++i)
            list.addAlarmLine(QString::number(i));
        auto* box = qobject_cast<QLineEdit*>(window.elementWidget(Element::MaxListCount));
        QVERIFY(box);
        box->setText(QString());
        QTest::keyClicks(box, QStringLiteral("9"));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(box, &out);
        QCOMPARE(list.selectedRows(), (QList<int>{0, 1, 2}));
    }
};

QTEST_MAIN(TestAlarmListView)
#include "test_alarm_list_view.moc"
