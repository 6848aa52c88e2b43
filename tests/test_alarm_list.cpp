// The alarm list and the "A" message: the line format, the size rule, selecting the lines over the
// maximum, "Clear", the copy text, the chime, the raise on events and the hand-over to the pager.

#include "alarms/AlarmList.h"
#include "alarms/Pager.h"
#include "support/TestMonitor.h"
#include "watchdogs/HeartbeatWatchdog.h"
#include "watchdogs/RelayWatchdog.h"

#include <QSignalSpy>
#include <QTest>

using namespace corvane;

class TestAlarmList : public QObject {
    Q_OBJECT

    static std::unique_ptr<test::TestMonitor> makeMonitor() {
        auto t = std::make_unique<test::TestMonitor>();
        t->monitor.relay->stop();
        t->monitor.heartbeat->stop();
        return t;
    }
    static void alarm(test::TestMonitor& t, const QString& body) {
        t.monitor.dispatcher.dispatch(u'A' + body);
    }
    static void setMax(test::TestMonitor& t, const QString& text) {
        t.monitor.ui.setCaption(Element::MaxListCount, text);
    }

private slots:
    void lineFormat() {
        auto t = makeMonitor();
        t->services.clock.advance(59 * 1000);
        alarm(*t, QStringLiteral("Trunk 305 down, span 3"));
        alarm(*t, QString());
        const AlarmList& list = *t->monitor.alarms;
        QCOMPARE(list.lines(),
                 (QStringList{"03/07/26 08:00 AM ---Trunk 305 down, span 3", "03/07/26 08:00 AM ---"}));
        QCOMPARE(t->monitor.ui.element(Element::LastAlarm).caption, QStringLiteral("03/07/26 08:00 AM ---"));
        t->services.clock.advance(1000);
        QCOMPARE(list.alarmLine(QStringLiteral("x")), QStringLiteral("03/07/26 08:01 AM ---x"));
    }

    void sizeRuleChecksBeforeAppending() {
        auto t = makeMonitor();
        AlarmList& list = *t->monitor.alarms;
        for (int i = 0; i < 200; ++i)
            list.addAlarmLine(QString::number(i));
        QCOMPARE(list.count(), 200);
        list.addAlarmLine(QStringLiteral("200"));
        QCOMPARE(list.count(), 201);
        QCOMPARE(list.line(0), QStringLiteral("0"));
        list.addAlarmLine(QStringLiteral("201"));
        QCOMPARE(list.count(), 201);
        QCOMPARE(list.line(0), QStringLiteral("1"));
        QCOMPARE(list.line(200), QStringLiteral("201"));

        // Direct appends do not trim; the next alarm removes only one line.
        list.appendAlarmLine(QStringLiteral("w1"));
        list.appendAlarmLine(QStringLiteral("w2"));
        QCOMPARE(list.count(), 203);
        QCOMPARE(t->monitor.ui.element(Element::LastAlarm).caption, QStringLiteral("w2"));
        list.addAlarmLine(QStringLiteral("202"));
        QCOMPARE(list.count(), 203);
        QCOMPARE(list.line(0), QStringLiteral("2"));

        // Text that is not a number is 0: every alarm removes the oldest line, one at a time.
        setMax(*t, QStringLiteral("many"));
        list.addAlarmLine(QStringLiteral("x"));
        QCOMPARE(list.count(), 203);
        // A maximum beyond 16 bits cannot be compared: nothing is removed.
        setMax(*t, QStringLiteral("40000"));
        list.addAlarmLine(QStringLiteral("y"));
        QCOMPARE(list.count(), 204);
        setMax(*t, QStringLiteral("7abc"));
        QCOMPARE(list.maxCount().value_or(-1), 7);
    }

    void zeroMaximumKeepsOneLine() {
        auto t = makeMonitor();
        setMax(*t, QStringLiteral("abc"));
        for (int i = 0; i < 5; ++i)
            alarm(*t, QStringLiteral("line %1").arg(i));
        // 0 < 1 removes the one line before each append.
        QCOMPARE(t->monitor.alarms->lines(), QStringList{"03/07/26 08:00 AM ---line 4"});
    }

    void leavingTheMaximumSelectsTheExcessAndDeleteRemovesIt() {
        auto t = makeMonitor();
        AlarmList& list = *t->monitor.alarms;
        for (int i = 0; i < 201; ++i)
            list.addAlarmLine(QString::number(i));
        setMax(*t, QStringLiteral("50"));
        list.maxCountLeft();
        const QList<int> selected = list.selectedRows();
        QCOMPARE(selected.size(), 151);
        QCOMPARE(selected.first(), 0);
        QCOMPARE(selected.last(), 150);
        QCOMPARE(list.count(), 201); // nothing deleted yet
        t->monitor.ui.gesture(Element::Command1, MainWindowModel::Gesture::Click);
        QCOMPARE(list.count(), 50);
        QCOMPARE(list.line(0), QStringLiteral("151"));
        QVERIFY(list.selectedRows().isEmpty());

        // Under the maximum nothing is selected.
        setMax(*t, QStringLiteral("60"));
        list.maxCountLeft();
        QVERIFY(list.selectedRows().isEmpty());
    }

    void clearRemovesTheSelectionOrEverything() {
        auto t = makeMonitor();
        AlarmList& list = *t->monitor.alarms;
        for (const char* s : {"a", "b", "c", "d", "e"})
            list.addAlarmLine(QString::fromLatin1(s));
        list.setSelected(1, true);
        list.setSelected(2, true);
        list.setSelected(4, true);
        QCOMPARE(list.copyText(), QStringLiteral("b\r\nc\r\ne"));
        list.clear();
        QCOMPARE(list.lines(), (QStringList{"a", "d"}));
        QCOMPARE(list.copyText(), QString());
        list.clear();
        QCOMPARE(list.count(), 0);
        // LastAlarm keeps the last line shown.
        QCOMPARE(t->monitor.ui.element(Element::LastAlarm).caption, QStringLiteral("e"));
    }

    void chimeAndRaise() {
        auto t = makeMonitor();
        MainWindowModel& ui = t->monitor.ui;
        QSignalSpy raised(&ui, &MainWindowModel::raiseRequested);
        const auto& tones = t->services.tones.tones;

        // Sounds off: listed, no sound, no raise.
        alarm(*t, QStringLiteral("Event 7 on span 2"));
        QCOMPARE(t->monitor.alarms->count(), 1);
        QCOMPARE(raised.size(), 0);
        QVERIFY(tones.isEmpty());

        ui.trigger(MenuItem::AllowSounds);
        alarm(*t, QStringLiteral("Event 7 on span 2"));
        QCOMPARE(raised.size(), 1);
        const QList<QPair<int, int>> chime{{880, 100}, {660, 100}, {880, 100},
                                           {660, 100}, {880, 100}, {660, 100}};
        QCOMPARE(tones, chime);

        // Lower case is not an event.
        alarm(*t, QStringLiteral("T1 Alarm: event logged"));
        QCOMPARE(raised.size(), 1);
        QCOMPARE(tones.size(), 12);

        // Masked (no type): listed and shown, no chime.
        alarm(*t, QStringLiteral("CorvaneBox responded"));
        QCOMPARE(tones.size(), 12);
        QCOMPARE(t->monitor.ui.element(Element::LastAlarm).caption,
                 QStringLiteral("03/07/26 08:00 AM ---CorvaneBox responded"));
        // The filter sees the whole line, stamp included: "AM" is no type, but a mask on "08:00" is.
        t->config.alarmNumberMask = QStringLiteral("*0");
        t->config.alarmStringAllow = QStringLiteral("08:00");
        alarm(*t, QStringLiteral("T1 Alarm"));
        QCOMPARE(tones.size(), 18);
        QCOMPARE(t->monitor.alarms->count(), 5);
    }

    void alarmsArePagedWhenThePagerIsOn() {
        auto t = makeMonitor();
        alarm(*t, QStringLiteral("T1 Alarm 1"));
        QCOMPARE(t->monitor.pager->pendingPage(), QString());
        t->monitor.ui.setMenuChecked(MenuItem::EnablePager, true);
        alarm(*t, QStringLiteral("T1 Alarm 2"));
        alarm(*t, QStringLiteral("no type, not paged"));
        // Within ten minutes of start-up the page waits.
        QCOMPARE(t->monitor.pager->pendingPage(), QStringLiteral("03/07/26 08:00 AM ---T1 Alarm 2\r\n"));
        QVERIFY(!t->monitor.pager->isBusy());
    }
};

QTEST_GUILESS_MAIN(TestAlarmList)
#include "test_alarm_list.moc"
