#include "alarms/AlarmList.h"
#include "app/Monitor.h"
#include "common/LegacyText.h"
#include "link/LinkSettings.h"
#include "link/UdpEngineLink.h"
#include "stats/Schedule.h"
#include "stats/Statistics.h"
#include "support/EngineSimProcess.h"
#include "support/ManualClock.h"
#include "support/ScriptedDialogs.h"

#include <QtTest>

using namespace corvane;
using namespace corvane::test;

namespace {

// Patterns are written with "#" for "?" here, so that no "?" pair can be read as a trigraph.
QString P(const char* pattern) {
    return QString::fromLatin1(pattern).replace(u'#', u'?');
}

QDateTime at(int day, int h, int m, int s, int ms = 0) {
    return QDateTime(QDate(2026, 3, day), QTime(h, m, s, ms));
}

// A monitor whose minute timer first ticks one minute after `start`.
struct ScheduledMonitor {
    explicit ScheduledMonitor(const QDateTime& start) : clock(start) {
        monitor.ui().setMenuChecked(MenuItem::AllowSounds, true);
    }
    void schedule(int k, const QString& pattern, const QString& command) {
        config.schedule[static_cast<std::size_t>(k)] = {pattern, command};
    }
    // The scheduler's lines among the alarm list's (the watchdogs add theirs meanwhile).
    QStringList lines() const {
        static const QRegularExpression scheduled(
            QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d --- "));
        return monitor.alarms().lines().filter(scheduled);
    }
    ManualClock clock;
    ScriptedDialogs dialogs;
    RecordingLauncher launcher;
    RecordingTones tones;
    Platform platform{clock, dialogs, launcher, tones};
    MonitorConfig config;
    Monitor monitor{config, platform, QStringLiteral("TESTBOX")};
};

} // namespace

class ScheduleTest : public QObject {
    Q_OBJECT
private slots:
    void questionMarksTakeTheCharactersOfTheStamp() {
        QCOMPARE(fillSchedulePattern(P("##/##/## 08:00:00"), u"03/07/26 07:59:40"),
                 QString("03/07/26 08:00:00"));
        QCOMPARE(fillSchedulePattern(P("12/##/26 ##:3#:05"), u"03/07/26 07:59:40"),
                 QString("12/07/26 07:39:05"));
        // A "?" past the stamp's end has nothing to take.
        QCOMPARE(fillSchedulePattern(P("##/##/## 08:00:00 ##"), u"03/07/26 07:59:40"),
                 QString("03/07/26 08:00:00 "));
    }

    void dueInTheMinuteAfterTheMoment() {
        const QString daily = P("##/##/## 08:00:00");
        QVERIFY(!isScheduleDue(daily, at(7, 7, 59, 40)));
        QVERIFY(isScheduleDue(daily, at(7, 8, 0, 40)));
        QVERIFY(isScheduleDue(daily, at(7, 8, 0, 0))); // the moment itself
        QVERIFY(isScheduleDue(daily, at(7, 8, 0, 59, 999)));
        QVERIFY(!isScheduleDue(daily, at(7, 8, 1, 0))); // one whole minute later is the next tick's
        QVERIFY(isScheduleDue(daily, at(8, 8, 0, 30))); // and the next day again

        const QString once = QStringLiteral("03/07/26 13:45:00");
        QVERIFY(!isScheduleDue(once, at(7, 13, 44, 59)));
        QVERIFY(isScheduleDue(once, at(7, 13, 45, 12)));
        QVERIFY(!isScheduleDue(once, at(7, 13, 46, 12)));
        QVERIFY(!isScheduleDue(once, at(8, 13, 45, 12)));
    }

    void momentsJustBeforeAChangeOfMinuteHourOrDayAreNotLost() {
        // The tick after the moment already shows the next minute, hour or day.
        QVERIFY(isScheduleDue(P("##/##/## 23:59:50"), at(8, 0, 0, 20)));
        QVERIFY(!isScheduleDue(P("##/##/## 23:59:50"), at(8, 0, 0, 51)));
        QVERIFY(isScheduleDue(P("##/##/## ##:##:50"), at(7, 8, 1, 10)));
        QVERIFY(isScheduleDue(P("##/##/## ##:59:30"), at(7, 10, 0, 5)));
        QVERIFY(isScheduleDue(P("##/##/## ##:##:##"), at(7, 10, 0, 5)));
        QVERIFY(isScheduleDue(P("03/##/26 12:00:00"), at(7, 12, 0, 59)));
    }

    void patternsThatAreNoDateAndTimeAreNeverDue() {
        for (const char* pattern :
             {"08:00:00", "##/##/## 25:00:00", "tomorrow", "##/##/## ##:##", "13/01/26 08:00:00"})
            QVERIFY2(!isScheduleDue(P(pattern), at(7, 8, 0, 30)), pattern);
        // The year is read month/day/year whatever the locale.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY(isScheduleDue(u"03/07/26 08:00:00", at(7, 8, 0, 30)));
        QLocale::setDefault(QLocale::c());
    }

    void minuteTimerSendsAtTheTickAfterTheMomentOnly() {
        ScheduledMonitor m(at(7, 7, 58, 40));
        m.schedule(0, P("##/##/## 08:00:00"), QStringLiteral("K0000"));
        const int before = m.lines().size();
        m.clock.advance(60000); // 07:59:40
        QCOMPARE(m.lines().size(), before);
        QVERIFY(m.tones.tones.isEmpty());
        m.clock.advance(60000); // 08:00:40
        QCOMPARE(m.lines().size(), before + 1);
        QCOMPARE(m.lines().last(), QString("03/07/26 08:00:40 --- K0000"));
        QCOMPARE(m.monitor.ui().element(Element::LastAlarm).caption, QString("03/07/26 08:00:40 --- K0000"));
        QCOMPARE(m.tones.tones, (QList<QPair<int, int>>{{1000, 250}, {800, 400}}));
        m.clock.advance(10 * 60000);
        QCOMPARE(m.lines().size(), before + 1);
        // The next day at the same time again.
        m.clock.advanceTo(at(8, 8, 0, 41));
        QCOMPARE(m.lines().size(), before + 2);
        QCOMPARE(m.lines().last(), QString("03/08/26 08:00:40 --- K0000"));
    }

    void patternWithoutQuestionMarksIsSentOnce() {
        ScheduledMonitor m(at(7, 9, 0, 0));
        m.schedule(3, QStringLiteral("03/07/26 09:30:00"), QStringLiteral("SSSSS"));
        m.schedule(4, QStringLiteral("not a time"), QStringLiteral("NEVER"));
        m.schedule(5, QString(), QStringLiteral("EMPTY"));
        m.monitor.ui().setMenuChecked(MenuItem::AllowSounds, false);
        m.clock.advance(3 * 3600 * 1000);
        QCOMPARE(m.lines(), QStringList{QStringLiteral("03/07/26 09:30:00 --- SSSSS")});
        QVERIFY(m.tones.tones.isEmpty()); // sounds off
        // The timer kept running past the entry that does not read as a time.
        QVERIFY(m.monitor.stats().timer().isEnabled());
    }

    void dueCommandReachesTheEngine() {
        EngineSimProcess sim;
        QVERIFY2(sim.start(), qPrintable(sim.errors()));
        ScheduledMonitor m(at(7, 6, 29, 30));
        m.schedule(0, P("##/##/## 06:30:00"), QStringLiteral("H"));
        m.monitor.link().reset(std::make_unique<UdpEngineLink>(
            m.clock, m.monitor.queue(), LinkSettings{QStringLiteral("127.0.0.1"), sim.udpPort(), 0, {}}));
        m.monitor.link()->connectEngine();
        m.clock.advance(60000);
        const auto cmd = sim.waitForCommand(QStringLiteral("H"));
        QVERIFY(cmd);
        QCOMPARE(cmd->address, QString("127.0.0.1"));
    }
};

QTEST_GUILESS_MAIN(ScheduleTest)
#include "test_schedule.moc"
