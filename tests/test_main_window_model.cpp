#include "common/MainWindowModel.h"

#include <QtTest>

using namespace corvane;

class MainWindowModelTest : public QObject {
    Q_OBJECT
private slots:
    // Access keys typed in the same place (the menu bar with the buttons of the tab shown, or one
    // menu) must differ, or one of them would only move the focus. `needed`: keys that must be there.
    void accessKeysDoNotClash_data() {
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QString>("needed");
        const MainWindowModel m;
        for (int tab = 0; tab < 2; ++tab) {
            QStringList captions;
            for (int i = 0; i < static_cast<int>(MenuItem::Count); ++i)
                if (!m.menu(static_cast<MenuItem>(i)).parent)
                    captions << m.menu(static_cast<MenuItem>(i)).caption;
            for (int i = 0; i < static_cast<int>(Element::Count); ++i) {
                const ElementState& e = m.element(static_cast<Element>(i));
                if (e.tab == tab && (e.kind == ElementKind::Button || e.kind == ElementKind::CheckBox))
                    captions << e.caption;
            }
            QTest::addRow("menu bar and tab %d", tab) << captions << (tab == 0 ? "ixun" : "aovh");
        }
        for (int i = 0; i < static_cast<int>(MenuItem::Count); ++i) {
            const auto menu = static_cast<MenuItem>(i);
            if (!m.menu(menu).submenu)
                continue;
            QStringList captions;
            for (int j = 0; j < static_cast<int>(MenuItem::Count); ++j)
                if (m.menu(static_cast<MenuItem>(j)).parent == menu)
                    captions << m.menu(static_cast<MenuItem>(j)).caption;
            QTest::newRow(MainWindowModel::name(menu)) << captions << (menu == MenuItem::View ? "w" : "");
        }
    }
    void accessKeysDoNotClash() {
        QFETCH(QStringList, captions);
        QFETCH(QString, needed);
        QString keys;
        for (const QString& c : captions) {
            const QString plain = QString(c).remove(QStringLiteral("&&"));
            const qsizetype at = plain.indexOf(u'&');
            if (at < 0 || at + 1 >= plain.size())
                continue;
            const QChar key = plain.at(at + 1).toLower();
            QVERIFY2(!keys.contains(key), qPrintable(QStringLiteral("%1 in %2").arg(key).arg(captions.join(u'|'))));
            keys += key;
        }
        for (QChar k : needed)
            QVERIFY2(keys.contains(k), qPrintable(QStringLiteral("no %1 in %2").arg(k).arg(keys)));
    }

    void designClientAreaLaysOutAsDesigned() {
        MainWindowModel m;
        m.setTabStripHeight(300);
        m.setClientSize(QSize(10275, 8865));
        QCOMPARE(m.element(Element::SSTab1).twips, QRect(0, 500, 10275, 8465));
        QCOMPARE(m.element(Element::CallText).twips, QRect(360, 7755, 9675, 255));
        QCOMPARE(m.element(Element::LastAlarm).twips, QRect(360, 8110, 9675, 250));
        QCOMPARE(m.element(Element::Picture1).twips, QRect(100, 800, 9775, 7255 - 300));
        QCOMPARE(m.element(Element::AlarmsList).twips, QRect(240, 840, 9775, 7715 - 300));
        QCOMPARE(m.element(Element::Command2_0).twips, QRect(840, 450, 855, 255));
    }
    void growingTheWindowStretchesOnlyTheNamedElements() {
        MainWindowModel m;
        m.setTabStripHeight(300);
        m.setClientSize(QSize(10275, 8865));
        const MainWindowModel before;
        m.setClientSize(QSize(11275, 9865));
        QCOMPARE(m.element(Element::Picture1).twips, QRect(100, 800, 10775, 7955));
        QCOMPARE(m.element(Element::CallText).twips.top(), 8755);
        QCOMPARE(m.element(Element::AlarmsList).twips.size(), QSize(10775, 8415));
        for (Element e : {Element::TCP, Element::AckLbl, Element::Command2_1, Element::Truncate,
                          Element::Label4, Element::BoxClock, Element::Command1, Element::MaxListCount})
            QCOMPARE(m.element(e).twips, before.element(e).twips);
    }
    void widerAndTallerSeparately() {
        MainWindowModel m;
        m.setTabStripHeight(330);
        m.setClientSize(QSize(10275, 8865));
        QRect was[static_cast<int>(Element::Count)];
        for (int i = 0; i < static_cast<int>(Element::Count); ++i)
            was[i] = m.element(static_cast<Element>(i)).twips;
        const auto at = [&was](Element e) { return was[static_cast<int>(e)]; };
        const Element stretching[] = {Element::SSTab1, Element::Picture1, Element::CallText,
                                      Element::LastAlarm, Element::AlarmsList};
        m.setClientSize(QSize(11275, 8865));
        for (Element e : stretching) {
            QCOMPARE(m.element(e).twips.width(), at(e).width() + 1000);
            QCOMPARE(m.element(e).twips.topLeft(), at(e).topLeft());
            QCOMPARE(m.element(e).twips.height(), at(e).height());
        }
        m.setClientSize(QSize(10275, 9865));
        for (Element e : {Element::CallText, Element::LastAlarm})
            QCOMPARE(m.element(e).twips.top(), at(e).top() + 1000);
        for (Element e : {Element::SSTab1, Element::Picture1, Element::AlarmsList}) {
            QCOMPARE(m.element(e).twips.height(), at(e).height() + 1000);
            QCOMPARE(m.element(e).twips.width(), at(e).width());
        }
        // LastAlarm is placed by the height of CallText, not by its own.
        QCOMPARE(m.element(Element::LastAlarm).twips.top(), 9465 - 255 - 100);
    }
    void negativeSizesAreNotApplied() {
        MainWindowModel m;
        m.setTabStripHeight(300);
        m.setClientSize(QSize(10275, 8865));
        const QRect board = m.element(Element::Picture1).twips;
        m.setCurrentTab(1);
        m.setClientSize(QSize(300, 900));
        QCOMPARE(m.element(Element::Picture1).twips.height(), board.height());
        QCOMPARE(m.element(Element::Picture1).twips.width(), board.width());
        QCOMPARE(m.element(Element::SSTab1).twips.width(), 300);
        QCOMPARE(m.currentTab(), 1);
    }
};

QTEST_GUILESS_MAIN(MainWindowModelTest)
#include "test_main_window_model.moc"
