// The number and time conventions shared by the messages, monitor.ini and the displays. How the reader
// applies them to each setting is tested with monitor.ini.

#include "common/LegacyText.h"

#include <QtTest>

using namespace corvane;

class LegacyTextTest : public QObject {
    Q_OBJECT
private slots:
    void leadingNumberStopsWhereTheNumberEnds() {
        QCOMPARE(leadingNumber(u"305,2,9,1207"), 305.0);
        QCOMPARE(leadingNumber(u"   -12abc"), -12.0);
        QCOMPARE(leadingNumber(u"1.5e2x"), 150.0);
        QCOMPARE(leadingNumber(u"7e"), 7.0);
        QCOMPARE(leadingNumber(u".5"), 0.5);
        QCOMPARE(leadingNumber(u"abc"), 0.0);
        QCOMPARE(leadingNumber(u""), 0.0);
        QCOMPARE(leadingNumber(u"-"), 0.0);
        // Integers of any length read the same as through the general conversion.
        QCOMPARE(leadingNumber(u"+0032767,x"), 32767.0);
        QCOMPARE(leadingNumber(u"12345678901234567890"), 12345678901234567890.0);
        QCOMPARE(leadingNumber(u"-70000"), -70000.0);
        QCOMPARE(leadingNumber(u"12e2"), 1200.0);
    }
    void roundingIsHalvesToEvenWithin16Bits() {
        QCOMPARE(toInt16(-2.5), std::optional<std::int16_t>(-2));
        QCOMPARE(toInt16(-32768.0), std::optional<std::int16_t>(-32768));
        QVERIFY(!toInt16(32767.5)); // rounds to 32768, which does not fit
        QVERIFY(!toInt16(40000.0));
        QVERIFY(!toInt16(std::numeric_limits<double>::quiet_NaN()));
    }
    void numberTextHasALeadingBlankUnlessNegative() {
        QCOMPARE(numberText(205LL), QStringLiteral(" 205"));
        QCOMPARE(numberText(-3LL), QStringLiteral("-3"));
        QCOMPARE(numberText(std::int16_t(-7)), QStringLiteral("-7"));
        QCOMPARE(numberText(0.25f), QStringLiteral(" .25"));
        QCOMPARE(numberText(-0.25f), QStringLiteral("-.25"));
    }
    void stampsIgnoreTheLocale() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QDateTime afternoon(QDate(2026, 3, 7), QTime(14, 5, 9));
        QCOMPARE(alarmStamp(afternoon), QStringLiteral("03/07/26 02:05 PM ---"));
        QCOMPARE(alarmStamp(QDateTime(QDate(2026, 12, 31), QTime(0, 1))),
                 QStringLiteral("12/31/26 12:01 AM ---"));
        QCOMPARE(alarmStamp(QDateTime(QDate(2026, 12, 31), QTime(12, 0))),
                 QStringLiteral("12/31/26 12:00 PM ---"));
        QCOMPARE(scheduleStamp(afternoon), QStringLiteral("03/07/26 14:05:09"));
        QCOMPARE(readScheduleStamp(u"03/07/26 14:05:09"), afternoon);
        QVERIFY(!readScheduleStamp(u"13/45/26 99:00:00").isValid());
        QLocale::setDefault(QLocale::c());
    }
};

QTEST_GUILESS_MAIN(LegacyTextTest)
#include "test_legacy_text.moc"
