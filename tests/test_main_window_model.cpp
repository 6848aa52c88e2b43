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
};

QTEST_GUILESS_MAIN(MainWindowModelTest)
#include "test_main_window_model.moc"
