#include "alarms/AlarmList.h"
#include "stats/Schedule.h"
#include "stats/Statistics.h"
#include "support/TestMonitor.h"

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

} // namespace

class ScheduleTest : public QObject {
    Q_OBJECT
private slots:
    void questionMarksTakeTheCharactersOfTheStamp() {
        QCOMPARE(fillSchedulePattern(P("12/##/26 ##:3#:05"), u"03/07/26 07:59:40"),
                 QString("12/07/26 07:39:05"));
        // A "?" past the stamp's end has nothing to take.
        QCOMPARE(fillSchedulePattern(P("##/##/## 08:00:00 ##"), u"03/07/26 07:59:40"),
                 QString("03/07/26 08:00:00 "));
    }

    // Due in the minute from the moment on, even when the tick already shows the next minute or day.
    void dueInTheMinuteAfterTheMoment() {
        const QString daily = P("##/##/## 08:00:00");
        QVERIFY(!isScheduleDue(daily, at(7, 7, 59, 40)));
        QVERIFY(isScheduleDue(daily, at(7, 8, 0, 0)));
        QVERIFY(isScheduleDue(daily, at(7, 8, 0, 59, 999)));
        QVERIFY(!isScheduleDue(daily, at(7, 8, 1, 0)));
        QVERIFY(isScheduleDue(daily, at(8, 8, 0, 30)));
        const QString once = QStringLiteral("03/07/26 13:45:00");
        QVERIFY(isScheduleDue(once, at(7, 13, 45, 12)));
        QVERIFY(!isScheduleDue(once, at(8, 13, 45, 12)));
        QVERIFY(isScheduleDue(P("##/##/## 23:59:50"), at(8, 0, 0, 20)));
        QVERIFY(!isScheduleDue(P("##/##/## 23:59:50"), at(8, 0, 0, 51)));
        QVERIFY(isScheduleDue(P("##/##/## ##:59:30"), at(7, 10, 0, 5)));
        QVERIFY(isScheduleDue(P("03/##/26 12:00:00"), at(7, 12, 0, 59)));
        for (const char* pattern :
             {"08:00:00", "##/##/## 25:00:00", "tomorrow", "##/##/## ##:##", "13/01/26 08:00:00"})
            QVERIFY2(!isScheduleDue(P(pattern), at(7, 8, 0, 30)), pattern);
        // The year is read month/day/year whatever the locale.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY(isScheduleDue(u"03/07/26 08:00:00", at(7, 8, 0, 30)));
        QLocale::setDefault(QLocale::c());
    }

    // Ticks on the minute from 08:00:00: daily at a tick's very second, once only, and never.
    void minuteTimerSendsWhatIsDue() {
        TestMonitor t;
        Monitor& m = t.monitor;
        m.config().schedule[0] = {P("##/##/## 08:02:00"), QStringLiteral("K0000")};
        m.config().schedule[3] = {QStringLiteral("03/07/26 09:30:00"), QStringLiteral("SSSSS")};
        m.config().schedule[4] = {QStringLiteral("not a time"), QStringLiteral("NEVER")};
        m.config().schedule[5] = {QString(), QStringLiteral("EMPTY")};
        m.ui().setMenuChecked(MenuItem::AllowSounds, true);
        // The scheduler's lines among the alarm list's (the watchdogs add theirs meanwhile).
        const auto lines = [&m] {
            static const QRegularExpression scheduled(
                QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d --- "));
            return m.alarms().lines().filter(scheduled);
        };
        t.services.clock.advance(60000);
        QVERIFY(lines().isEmpty());
        QVERIFY(t.services.tones.tones.isEmpty());
        t.services.clock.advance(60000);
        QCOMPARE(lines(), QStringList{"03/07/26 08:02:00 --- K0000"});
        QCOMPARE(m.ui().element(Element::LastAlarm).caption, QString("03/07/26 08:02:00 --- K0000"));
        QCOMPARE(t.services.tones.tones, (QList<QPair<int, int>>{{1000, 250}, {800, 400}}));
        m.ui().setMenuChecked(MenuItem::AllowSounds, false);
        t.services.clock.advanceTo(at(8, 8, 2, 1));
        QCOMPARE(lines(), (QStringList{"03/07/26 08:02:00 --- K0000", "03/07/26 09:30:00 --- SSSSS",
                                       "03/08/26 08:02:00 --- K0000"}));
        QCOMPARE(t.services.tones.tones.size(), 2);
        QVERIFY(m.stats().timer().isEnabled());
    }
};

QTEST_GUILESS_MAIN(ScheduleTest)
#include "test_schedule.moc"
