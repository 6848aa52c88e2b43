#include "operator/MainWindowModel.h"

#include <QtTest>

using namespace corvane;

class MainWindowModelTest : public QObject {
    Q_OBJECT
private slots:
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
        for (Element e : {Element::TCP, Element::AckLbl, Element::Command2_1, Element::Truncate, Element::Label4,
                          Element::BoxClock, Element::Command1, Element::MaxListCount})
            QCOMPARE(m.element(e).twips, before.element(e).twips);
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
