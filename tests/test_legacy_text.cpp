#include "common/LegacyText.h"
#include "platform/PollingWait.h"
#include "support/ManualClock.h"

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
        QCOMPARE(leadingNumber(u"999999999999999"), 999999999999999.0);
        QCOMPARE(leadingNumber(u"12345678901234567890"), 12345678901234567890.0);
        QCOMPARE(leadingNumber(u"-70000"), -70000.0);
        QCOMPARE(leadingNumber(u"12e2"), 1200.0);
    }
    void roundingIsHalvesToEvenWithin16Bits() {
        QCOMPARE(toInt16(2.5), std::optional<std::int16_t>(2));
        QCOMPARE(toInt16(3.5), std::optional<std::int16_t>(4));
        QCOMPARE(toInt16(-2.5), std::optional<std::int16_t>(-2));
        QCOMPARE(toInt16(32767.0), std::optional<std::int16_t>(32767));
        QCOMPARE(toInt16(-32768.0), std::optional<std::int16_t>(-32768));
        QVERIFY(!toInt16(32767.5)); // rounds to 32768, which does not fit
        QVERIFY(!toInt16(40000.0));
        QVERIFY(!toInt16(std::numeric_limits<double>::quiet_NaN()));
        QVERIFY(!leadingInt16(u"99999999999999999999999"));
    }
    void numberTextHasALeadingBlankUnlessNegative() {
        QCOMPARE(numberText(205LL), QStringLiteral(" 205"));
        QCOMPARE(numberText(0LL), QStringLiteral(" 0"));
        QCOMPARE(numberText(-3LL), QStringLiteral("-3"));
        QCOMPARE(numberText(32003), QStringLiteral(" 32003"));
        QCOMPARE(numberText(std::int16_t(-7)), QStringLiteral("-7"));
        QCOMPARE(numberText(2.0f), QStringLiteral(" 2"));
        QCOMPARE(numberText(1.5f), QStringLiteral(" 1.5"));
        QCOMPARE(numberText(0.25f), QStringLiteral(" .25"));
        QCOMPARE(numberText(-0.25f), QStringLiteral("-.25"));
    }
    void missingCommaRereadsTheFirstField() {
        const Fields full(u"305,2,9,1207");
        QCOMPARE(full.int16(1), std::optional<std::int16_t>(305));
        QCOMPARE(full.int16(2), std::optional<std::int16_t>(2));
        QCOMPARE(full.int16(3), std::optional<std::int16_t>(9));
        QCOMPARE(full.int16(4), std::optional<std::int16_t>(1207));
        const Fields shortBody(u"305,2");
        QCOMPARE(shortBody.int16(3), std::optional<std::int16_t>(305));
        QCOMPARE(shortBody.int16(4), std::optional<std::int16_t>(2));
        QCOMPARE(Fields(u"D7,1,Trunks to HQ, east").from(3).toString(), QStringLiteral("Trunks to HQ, east"));
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
    void pollingWaitEndsOnTheConditionOrAfterItsLooks() {
        test::ManualClock clock;
        PollingWait wait(clock);
        bool flag = false;
        std::optional<bool> result;
        wait.start(
            100, 51, [&] { return flag; }, [&](bool held) { result = held; });
        clock.advance(1000);
        QVERIFY(!result);
        flag = true;
        clock.advance(100);
        QCOMPARE(result, std::optional<bool>(true));
        flag = false;
        result.reset();
        wait.start(
            100, 51, [&] { return flag; }, [&](bool held) { result = held; });
        clock.advance(10000);
        QCOMPARE(result, std::optional<bool>(false));
    }
};

QTEST_GUILESS_MAIN(LegacyTextTest)
#include "test_legacy_text.moc"
