// The alarm list and the "A" message: the line format, the size rule, selecting the lines over the
// maximum, "Clear", the copy text, the chime, the raise on events and the hand-over to the pager.

#include "alarms/AlarmHandler.h"
#include "alarms/AlarmList.h"
#include "alarms/Pager.h"
#include "alarms/Sounds.h"
#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"
#include "link/LinkSocket.h"
#include "platform/SmtpMail.h"
#include "support/ManualClock.h"
#include "support/ScriptedDialogs.h"

#include <QSignalSpy>
#include <QTest>

using namespace corvane;

class TestAlarmList : public QObject {
    Q_OBJECT

    // The alarm classes alone; the pager's throttle stays closed, so its mail layer is never reached.
    struct Alarms {
        MonitorConfig config;
        test::ManualClock clock;
        test::ScriptedDialogs dialogs;
        test::RecordingTones tones;
        MainWindowModel ui;
        Sounds sounds{ui, tones};
        LinkSocket link;
        AlarmList list{ui, clock};
        Pager pager{ui, config, clock, dialogs, mailLayer(), link, list};
        AlarmHandler handler{ui, config, list, sounds, pager};
        std::unique_ptr<Mail> mailLayer() {
            return std::make_unique<SmtpMail>(config, dialogs, clock, QString());
        }
    };

private slots:
    void lineFormat() {
        Alarms t;
        t.clock.advance(59 * 1000);
        t.handler.handle(QStringLiteral("Trunk 305 down, span 3"));
        t.handler.handle(QString());
        QCOMPARE(t.list.lines(),
                 (QStringList{"03/07/26 08:00 AM ---Trunk 305 down, span 3", "03/07/26 08:00 AM ---"}));
        QCOMPARE(t.ui.element(Element::LastAlarm).caption, QStringLiteral("03/07/26 08:00 AM ---"));
        t.clock.advance(1000);
        QCOMPARE(t.list.alarmLine(QStringLiteral("x")), QStringLiteral("03/07/26 08:01 AM ---x"));
    }

    void sizeRuleChecksBeforeAppending() {
        Alarms t;
        AlarmList& list = t.list;
        for (int i = 0; i < 200; ++i)
            list.addAlarmLine(QString::number(i));
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
        AlarmList& list = t.list;
        for (int i = 0; i < 201; ++i)
            list.addAlarmLine(QString::number(i));
        t.ui.setCaption(Element::MaxListCount, QStringLiteral("50"));
        list.maxCountLeft();
        const QList<int> selected = list.selectedRows();
        QCOMPARE(selected.size(), 151);
        QCOMPARE(selected.first(), 0);
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

        // "Clear" removes the selected lines, or every line when none is selected.
        list.setSelected(1, true);
        list.setSelected(2, true);
        list.setSelected(4, true);
        QCOMPARE(list.copyText(), QStringLiteral("152\r\n153\r\n155"));
        list.clear();
        QCOMPARE(list.lines().mid(0, 4), (QStringList{"151", "154", "156", "157"}));
        QCOMPARE(list.count(), 47);
        QCOMPARE(list.copyText(), QString());
        list.clear();
        QCOMPARE(list.count(), 0);
        QCOMPARE(t.ui.element(Element::LastAlarm).caption, QStringLiteral("200")); // LastAlarm stays

        // A maximum of 0 keeps one line: 0 < 1 removes the one line before each append.
        t.ui.setCaption(Element::MaxListCount, QStringLiteral("abc"));
        for (int i = 0; i < 5; ++i)
            t.handler.handle(QStringLiteral("line %1").arg(i));
        QCOMPARE(list.lines(), QStringList{"03/07/26 08:00 AM ---line 4"});
    }

    void chimeAndRaise() {
        Alarms t;
        QSignalSpy raised(&t.ui, &MainWindowModel::raiseRequested);
        const auto& tones = t.tones.tones;

        // Sounds off: listed, no sound, no raise.
        t.handler.handle(QStringLiteral("Event 7 on span 2"));
        QCOMPARE(t.list.count(), 1);
        QCOMPARE(raised.size(), 0);
        QVERIFY(tones.isEmpty());

        t.ui.trigger(MenuItem::AllowSounds);
        t.handler.handle(QStringLiteral("Event 7 on span 2"));
        QCOMPARE(raised.size(), 1);
        const QList<QPair<int, int>> chime{{880, 100}, {660, 100}, {880, 100},
                                           {660, 100}, {880, 100}, {660, 100}};
        QCOMPARE(tones, chime);

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
        QCOMPARE(t.list.count(), 5);
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
};

QTEST_GUILESS_MAIN(TestAlarmList)
#include "test_alarm_list.moc"
