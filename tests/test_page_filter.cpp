// The paging and sound filter: alarm type numbers, the number mask, the allow and deny lists, and the
// mask menus' dialogs.

#include "alarms/PageFilter.h"
#include "support/PagerParts.h"

#include <QTest>

using namespace corvane;

class TestPageFilter : public QObject {
    Q_OBJECT

    static MonitorConfig cfg(const char* mask, const char* allow = "", const char* deny = "") {
        MonitorConfig c;
        c.alarmNumberMask = QString::fromLatin1(mask);
        c.alarmStringAllow = QString::fromLatin1(allow);
        c.alarmStringMask = QString::fromLatin1(deny);
        return c;
    }

private slots:
    void typeNumbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("type"); // -1: no type
        QTest::newRow("alarm") << "T1 Alarm on span 3" << 0;
        QTest::newRow("alarm before event") << "Event: Alarm cleared" << 0;
        QTest::newRow("completion") << "Completion rate low" << 1;
        QTest::newRow("page test") << "this is a page test" << 2;
        QTest::newRow("event") << "Event 12 raised" << 3;
        QTest::newRow("not responding") << "12/05/26 03:45 PM ---CorvaneBox not responding" << 4;
        QTest::newRow("relay is 14, not 4") << "UDP relay not responding" << 14;
        QTest::newRow("failures on a channel") << "3 failures on Ch 305" << 5;
        QTest::newRow("failures elsewhere") << "3 failures in group 2" << 6;
        QTest::newRow("short calls") << "many short calls" << 7;
        QTest::newRow("low traffic") << "low traffic on 4" << 8;
        QTest::newRow("unloaded") << "System unloaded" << 9;
        QTest::newRow("non routed") << "non routed call" << 11;
        QTest::newRow("replication") << "Replication stopped" << 12;
        QTest::newRow("seized") << "span 4 seized" << 13;
        QTest::newRow("lower-case alarm") << "alarm in lower case" << -1;
        QTest::newRow("lower-case event") << "an event" << -1;
        QTest::newRow("recovery text") << "CorvaneBox responded" << -1;
        QTest::newRow("empty") << "" << -1;
    }
    void typeNumbers() {
        QFETCH(QString, text);
        QFETCH(int, type);
        QCOMPARE(alarmTypeNumber(text).value_or(-1), type);
    }

    void numberMask() {
        // "*11" contains "*1": type 1 is masked along with 11.
        QVERIFY(isPageMasked(cfg("*11"), u"Completion rate"));
        QVERIFY(isPageMasked(cfg("*11"), u"non routed"));
        QVERIFY(!isPageMasked(cfg("*11"), u"T1 Alarm"));
        QVERIFY(isPageMasked(cfg("*30"), u"Event 5"));
        // Without a leading "*" the first number is not masked.
        QVERIFY(!isPageMasked(cfg("3*7"), u"Event 5"));
        QVERIFY(isPageMasked(cfg("3*7"), u"short calls"));
        QVERIFY(isPageMasked(cfg("*3*7*11"), u"Event 5"));
        QVERIFY(!isPageMasked(cfg("*3*7*11"), u"UDP relay not responding"));
        QVERIFY(isPageMasked(cfg("*14"), u"UDP relay not responding"));
        QVERIFY(!isPageMasked(cfg("*14"), u"CorvaneBox not responding"));
        // Texts without a type are masked.
        QVERIFY(isPageMasked(cfg(""), u"CorvaneBox responded"));
        QVERIFY(isPageMasked(cfg(""), u"nothing to see"));
        QVERIFY(!isPageMasked(cfg(""), u"T1 Alarm"));
    }

    void allowListOverridesTheMask() {
        QVERIFY(!isPageMasked(cfg("*3", "span 7;Replic"), u"Event on span 7"));
        QVERIFY(isPageMasked(cfg("*3", "span 7;Replic"), u"Event on span 8"));
        QVERIFY(!isPageMasked(cfg("", "responded"), u"CorvaneBox responded"));
        // Pieces are not trimmed: " span 8" needs its blank.
        QVERIFY(isPageMasked(cfg("*3", "x; span 8"), u"Event:span 8"));
        QVERIFY(!isPageMasked(cfg("*3", "x; span 8"), u"Event on span 8"));
        // A trailing ";" leaves an empty piece, which every non-empty text contains.
        QVERIFY(!isPageMasked(cfg("*3", "zzz;"), u"Event 1"));
        QVERIFY(!isPageMasked(cfg("", "zzz;"), u"CorvaneBox responded"));
        QVERIFY(!isPageMasked(cfg("", "a;;b"), u"no type here"));
        // Case-sensitive.
        QVERIFY(isPageMasked(cfg("*3", "SPAN"), u"Event on span 8"));
    }

    void denyListMasksWhatTheNumbersLetThrough() {
        QVERIFY(isPageMasked(cfg("", "", "span 9;test"), u"Alarm on span 9"));
        QVERIFY(!isPageMasked(cfg("", "", "span 9;test"), u"Alarm on span 1"));
        QVERIFY(isPageMasked(cfg("", "", "zzz;"), u"Alarm on span 1"));
        QVERIFY(!isPageMasked(cfg("", "", "ALARM"), u"Alarm on span 1"));
        // The deny list does not apply to texts the number mask already masked, and the allow list
        // not to texts it let through.
        QVERIFY(!isPageMasked(cfg("*3", "Event", "Event"), u"Event 1"));
        QVERIFY(isPageMasked(cfg("", "Alarm", "span"), u"Alarm span 1"));
    }

    void maskMenusEditTheSettings() {
        MainWindowModel ui;
        MonitorConfig config;
        test::ScriptedDialogs d;
        installPageMaskMenus(ui, config, d);
        config.alarmNumberMask = QStringLiteral("*3");
        d.inputAnswers << QStringLiteral("*4*5");
        ui.trigger(MenuItem::PageNumberMask);
        QCOMPARE(config.alarmNumberMask, QStringLiteral("*4*5"));
        QCOMPARE(d.inputs.last(),
                 QStringLiteral(
                     "Mask definition Entry|Enter or edit the page numeric mask, a string formed by the "
                     "type numbers of the alarms you don't want to be paged for separated by '*'.|*3"));

        config.alarmStringMask = QStringLiteral("a;b");
        d.inputAnswers << QStringLiteral(" c ;d;");
        ui.trigger(MenuItem::PageStringMask);
        QCOMPARE(config.alarmStringMask, QStringLiteral(" c ;d;")); // unchanged, unchecked
        QCOMPARE(d.inputs.last(),
                 QStringLiteral(
                     "Mask definition Entry|Enter or edit a string of substrings separated by ';' that if "
                     "found in an alarm message will not make it as a page even if its type number is not "
                     "masked|a;b"));

        config.alarmStringAllow = QStringLiteral("keep");
        ui.trigger(MenuItem::PageStrAllow); // cancelled: empty answer
        QCOMPARE(config.alarmStringAllow, QString());
        QCOMPARE(d.inputs.last(),
                 QStringLiteral(
                     "Mask definition Entry|Enter or edit a string of substrings separated by ';' that if "
                     "found in an alarm message will make it as a page even if its type number is "
                     "masked|keep"));
    }

    void maskMenusFollowSoundsAndPager() {
        // The alarm list owns "&Allow Sounds", the pager "&Enable Pager".
        test::PagerParts t;
        MainWindowModel& ui = t.ui;
        const auto masksEnabled = [&] {
            const bool a = ui.menu(MenuItem::PageNumberMask).enabled;
            if (ui.menu(MenuItem::PageStrAllow).enabled != a ||
                ui.menu(MenuItem::PageStringMask).enabled != a)
                return -1;
            return a ? 1 : 0;
        };
        ui.trigger(MenuItem::AllowSounds);
        QVERIFY(ui.isChecked(MenuItem::AllowSounds));
        QCOMPARE(masksEnabled(), 1);
        ui.trigger(MenuItem::AllowSounds);
        QVERIFY(!ui.isChecked(MenuItem::AllowSounds));
        QCOMPARE(masksEnabled(), 0);

        t.dialogs.inputAnswers << QStringLiteral("ops@example.org");
        ui.trigger(MenuItem::EnablePager);
        QVERIFY(ui.isChecked(MenuItem::EnablePager));
        QCOMPARE(masksEnabled(), 1);
        QVERIFY(ui.menu(MenuItem::PromptAddresses).enabled);
        // With the pager on, sounds going off leave the masks editable.
        ui.trigger(MenuItem::AllowSounds);
        ui.trigger(MenuItem::AllowSounds);
        QCOMPARE(masksEnabled(), 1);
        // Pager off while sounds are on: masks stay, addresses go.
        ui.trigger(MenuItem::AllowSounds);
        ui.trigger(MenuItem::EnablePager);
        QVERIFY(!ui.menu(MenuItem::PromptAddresses).enabled);
        QCOMPARE(masksEnabled(), 1);
        ui.trigger(MenuItem::AllowSounds);
        QCOMPARE(masksEnabled(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPageFilter)
#include "test_page_filter.moc"
