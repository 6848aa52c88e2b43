// The alarm list, its view and maximum box, the "A" message, the chime and the paging filter.

#include "alarms/AlarmListView.h"
#include "alarms/PageFilter.h"
#include "operator/MainWindow.h"
#include "support/PagerParts.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace corvane;
// The pager's throttle stays closed in these tests, so its mail layer is never reached.
using Alarms = corvane::test::PagerParts;

namespace {
MonitorConfig masks(const char* numbers, const char* allow = "", const char* deny = "") {
    MonitorConfig c;
    c.alarmNumberMask = QString::fromLatin1(numbers);
    c.alarmStringAllow = QString::fromLatin1(allow);
    c.alarmStringMask = QString::fromLatin1(deny);
    return c;
}
} // namespace

class TestAlarmList : public QObject {
    Q_OBJECT

private slots:
    void sizeRuleChecksBeforeAppending() {
        Alarms t;
        AlarmList& list = t.alarms;
        for (int i = 0; i <= 200; ++i)
            list.addAlarmLine(QString::number(i));
        QCOMPARE(list.count(), 201);
        list.addAlarmLine(QStringLiteral("201"));
        QCOMPARE(list.count(), 201);
        QCOMPARE(list.line(0), QStringLiteral("1"));
        QCOMPARE(list.line(200), QStringLiteral("201"));

        // Direct appends do not trim; the next alarm removes only one line.
        list.appendAlarmLine(QStringLiteral("w1"));
        list.appendAlarmLine(QStringLiteral("w2"));
        QCOMPARE(t.ui.element(Element::LastAlarm).caption, QStringLiteral("w2"));
        list.addAlarmLine(QStringLiteral("202"));
        QCOMPARE(list.count(), 203);
        QCOMPARE(list.line(0), QStringLiteral("2"));

        // Text that is not a number is 0: every alarm removes the oldest line, one at a time.
        t.ui.setCaption(Element::MaxListCount, QStringLiteral("many"));
        list.addAlarmLine(QStringLiteral("x"));
        QCOMPARE(list.count(), 203);
        // A maximum beyond 16 bits cannot be compared: nothing is removed.
        t.ui.setCaption(Element::MaxListCount, QStringLiteral("40000"));
        list.addAlarmLine(QStringLiteral("y"));
        QCOMPARE(list.count(), 204);
        t.ui.setCaption(Element::MaxListCount, QStringLiteral("7abc"));
        QCOMPARE(list.maxCount().value_or(-1), 7);
    }

    void leavingTheMaximumSelectsTheExcessAndClearRemovesIt() {
        Alarms t;
        AlarmList& list = t.alarms;
        MonitorMain window(t.ui);
        watchMaxCountBox(list, window.elementWidget(Element::MaxListCount));
        for (int i = 0; i < 201; ++i)
            list.addAlarmLine(QString::number(i));
        auto* box = qobject_cast<QLineEdit*>(window.elementWidget(Element::MaxListCount));
        QVERIFY(box);
        box->setText(QString());
        QTest::keyClicks(box, QStringLiteral("50"));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(box, &out);
        const QList<int> selected = list.selectedRows();
        QCOMPARE(selected.size(), 151);
        QCOMPARE(selected.last(), 150);
        QCOMPARE(list.count(), 201); // nothing deleted yet
        t.ui.gesture(Element::Command1, MainWindowModel::Gesture::Click);
        QCOMPARE(list.count(), 50);
        QCOMPARE(list.line(0), QStringLiteral("151"));
        QVERIFY(list.selectedRows().isEmpty());

        // Under the maximum nothing is selected.
        t.ui.setCaption(Element::MaxListCount, QStringLiteral("60"));
        list.maxCountLeft();
        QVERIFY(list.selectedRows().isEmpty());

        // "Clear" with nothing selected removes every line.
        list.clear();
        QCOMPARE(list.count(), 0);
        QCOMPARE(t.ui.element(Element::LastAlarm).caption, QStringLiteral("200")); // LastAlarm stays
    }

    void keysOnTheList() {
        Alarms t;
        AlarmList& list = t.alarms;
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

    void chimeAndRaise() {
        Alarms t;
        QSignalSpy raised(&t.ui, &MainWindowModel::raiseRequested);
        const auto& tones = t.tones.tones;

        // Sounds off: listed, no sound, no raise.
        t.handler.handle(QStringLiteral("Event 7 on span 2"));
        QCOMPARE(t.alarms.count(), 1);
        QCOMPARE(raised.size(), 0);
        QVERIFY(tones.isEmpty());

        t.ui.trigger(MenuItem::AllowSounds);
        t.handler.handle(QStringLiteral("Event 7 on span 2"));
        QCOMPARE(raised.size(), 1);
        QCOMPARE(tones, (QList<QPair<int, int>>{
                            {880, 100}, {660, 100}, {880, 100}, {660, 100}, {880, 100}, {660, 100}}));

        // Lower case is not an event.
        t.handler.handle(QStringLiteral("T1 Alarm: event logged"));
        QCOMPARE(raised.size(), 1);
        QCOMPARE(tones.size(), 12);

        // Masked (no type): listed and shown, no chime.
        t.handler.handle(QStringLiteral("CorvaneBox responded"));
        QCOMPARE(tones.size(), 12);
        QCOMPARE(t.ui.element(Element::LastAlarm).caption,
                 QStringLiteral("03/07/26 08:00 AM ---CorvaneBox responded"));
        // The filter sees the whole line, stamp included: "AM" is no type, but a mask on "08:00" is.
        t.config.alarmNumberMask = QStringLiteral("*0");
        t.config.alarmStringAllow = QStringLiteral("08:00");
        t.handler.handle(QStringLiteral("T1 Alarm"));
        QCOMPARE(tones.size(), 18);
        QCOMPARE(t.alarms.count(), 5);
    }

    void alarmsArePagedWhenThePagerIsOn() {
        Alarms t;
        t.handler.handle(QStringLiteral("T1 Alarm 1"));
        QCOMPARE(t.pager.pendingPage(), QString());
        t.ui.setMenuChecked(MenuItem::EnablePager, true);
        t.handler.handle(QStringLiteral("T1 Alarm 2"));
        t.handler.handle(QStringLiteral("no type, not paged"));
        // Within ten minutes of start-up the page waits.
        QCOMPARE(t.pager.pendingPage(), QStringLiteral("03/07/26 08:00 AM ---T1 Alarm 2\r\n"));
        QVERIFY(!t.pager.isBusy());
    }

    void typeNumbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("type"); // -1: no type
        QTest::newRow("alarm") << "T1 Alarm on span 3" << 0;
        QTest::newRow("alarm before event") << "Event: Alarm cleared" << 0;
        QTest::newRow("event") << "Event 12 raised" << 3;
        QTest::newRow("not responding") << "12/05/26 03:45 PM ---CorvaneBox not responding" << 4;
        QTest::newRow("relay is 14, not 4") << "UDP relay not responding" << 14;
        QTest::newRow("failures on a channel") << "3 failures on Ch 305" << 5;
        QTest::newRow("failures elsewhere") << "3 failures in group 2" << 6;
        QTest::newRow("short calls") << "many short calls" << 7;
        QTest::newRow("non routed") << "non routed call" << 11;
        QTest::newRow("lower-case alarm") << "alarm in lower case" << -1;
        QTest::newRow("recovery text") << "CorvaneBox responded" << -1;
        QTest::newRow("empty") << "" << -1;
    }
    void typeNumbers() {
        QFETCH(QString, text);
        QFETCH(int, type);
        QCOMPARE(alarmTypeNumber(text).value_or(-1), type);
    }

    void pageMasks() {
        // "*11" contains "*1": type 1 is masked along with 11.
        QVERIFY(isPageMasked(masks("*11"), u"Completion rate"));
        QVERIFY(!isPageMasked(masks("*11"), u"T1 Alarm"));
        QVERIFY(isPageMasked(masks("*30"), u"Event 5"));
        // Without a leading "*" the first number is not masked.
        QVERIFY(!isPageMasked(masks("3*7"), u"Event 5"));
        QVERIFY(isPageMasked(masks("3*7"), u"short calls"));
        QVERIFY(isPageMasked(masks("*14"), u"UDP relay not responding"));
        QVERIFY(!isPageMasked(masks("*14"), u"CorvaneBox not responding"));
        // Texts without a type are masked.
        QVERIFY(isPageMasked(masks(""), u"CorvaneBox responded"));
        QVERIFY(!isPageMasked(masks(""), u"T1 Alarm"));
        // The allow list lets through what the numbers masked; the deny list masks what they let through.
        QVERIFY(!isPageMasked(masks("*3", "span 7;Replic"), u"Event on span 7"));
        QVERIFY(isPageMasked(masks("*3", "span 7;Replic"), u"Event on span 8"));
        QVERIFY(!isPageMasked(masks("", "responded"), u"CorvaneBox responded"));
        QVERIFY(isPageMasked(masks("", "", "span 9;test"), u"Alarm on span 9"));
        // Pieces are not trimmed: " span 8" needs its blank.
        QVERIFY(isPageMasked(masks("*3", "x; span 8"), u"Event:span 8"));
        QVERIFY(!isPageMasked(masks("*3", "x; span 8"), u"Event on span 8"));
        // A trailing ";" leaves an empty piece, which every non-empty text contains.
        QVERIFY(!isPageMasked(masks("*3", "zzz;"), u"Event 1"));
        QVERIFY(isPageMasked(masks("", "", "zzz;"), u"Alarm on span 1"));
        // Case-sensitive.
        QVERIFY(isPageMasked(masks("*3", "SPAN"), u"Event on span 8"));
        QVERIFY(!isPageMasked(masks("", "", "ALARM"), u"Alarm on span 1"));
        // The deny list applies only to what the numbers let through, the allow list to what they masked.
        QVERIFY(!isPageMasked(masks("*3", "Event", "Event"), u"Event 1"));
        QVERIFY(isPageMasked(masks("", "Alarm", "span"), u"Alarm span 1"));
    }
};

QTEST_MAIN(TestAlarmList)
#include "test_alarm_list.moc"
