// The call detail window on the screen: what the operator sees and what the keys and the scroll bar do.

#include "support/ChannelBoard.h"
#include "windows/CallDetail.h"
#include "windows/CallDetailWindow.h"

#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QtTest>

using namespace corvane;

namespace {
// Spans 1 and 3 with 24 channels, span 2 with 30, all idle on the O side.
struct Fixture : test::ChannelBoard {
    Fixture() {
        for (int s : {1, 2, 3})
            idleSpan(s, s == 2 ? 30 : 24);
    }
    CallDetailList list{ui, config, board};
    CallDetailWindowHost host{list};
};
} // namespace

class CallDetailWindowTest : public QObject {
    Q_OBJECT
private slots:
    void menuOpensWindowsThatShowTheLines() {
        Fixture f;
        f.send("t101,1,9,0"); // R side, red
        f.send("c101 ALERTING");
        f.ui.trigger(MenuItem::CallDet);
        QCOMPARE(f.host.count(), 1);
        CallDetailWindow* w = f.host.window(0);
        QVERIFY(w->isVisible());
        QCOMPARE(w->lineBox(1)->text(), QString("101 ALERTING"));
        QCOMPARE(w->lineBox(1)->palette().color(QPalette::Base), QColor(255, 0, 0));
        QCOMPARE(w->lineBox(1)->palette().color(QPalette::Text), QColor(255, 255, 255));
        QCOMPARE(w->lineBox(2)->text(), QString(" 102"));
        QVERIFY(w->lineBox(24)->isVisible());
        QVERIFY(!w->lineBox(25)->isVisible());
        QCOMPARE(w->scrollBar()->minimum(), 100);
        QCOMPARE(w->scrollBar()->maximum(), 300);

        // Live: the text of a shown channel follows its call messages.
        f.send("c102 CONNECTED");
        QCOMPARE(w->lineBox(2)->text(), QString("102 CONNECTED"));

        f.ui.trigger(MenuItem::CallDet);
        QCOMPARE(f.host.count(), 2);
        QVERIFY(f.host.window(1)->isVisible());
        w->close();
        QVERIFY(!w->isVisible());
        f.ui.trigger(MenuItem::CallDet);
        QCOMPARE(f.host.count(), 2);
        QVERIFY(w->isVisible());
    }

    void keysPageThroughTheSpansWithoutMovingTheScrollBar() {
        Fixture f;
        f.ui.trigger(MenuItem::CallDet);
        CallDetailWindow* w = f.host.window(0);
        QTest::keyClick(w->lineBox(3), Qt::Key_PageDown);
        QCOMPARE(w->model().page(), 2);
        QVERIFY(w->lineBox(30)->isVisible());
        QCOMPARE(w->scrollBar()->value(), 100);
        QTest::keyClick(w->scrollBar(), Qt::Key_PageUp);
        QTest::keyClick(w->scrollBar(), Qt::Key_PageUp);
        QCOMPARE(w->model().page(), 3);
        QCOMPARE(w->scrollBar()->value(), 100);
        QTest::keyClick(w, '!');
        QCOMPARE(w->model().page(), 2);
        QVERIFY(!w->lineBox(30)->isVisible()); // not redrawn
        QCOMPARE(w->lineBox(1)->text(), QString(" 301"));
    }

    void draggingShowsTheSpanAndReleasingShowsItsLines() {
        Fixture f;
        f.ui.trigger(MenuItem::CallDet);
        CallDetailWindow* w = f.host.window(0);
        QScrollBar* bar = w->scrollBar();
        bar->setSliderDown(true);
        bar->setSliderPosition(230);
        QVERIFY(w->scrollValBox()->isVisible());
        QCOMPARE(w->scrollValBox()->text(), QString(" 2"));
        QCOMPARE(w->lineBox(1)->text(), QString(" 101"));
        bar->setSliderDown(false);
        QVERIFY(!w->scrollValBox()->isVisible());
        QCOMPARE(w->lineBox(1)->text(), QString(" 201"));
        QVERIFY(w->lineBox(30)->isVisible());
    }

    void linesFollowTheWindowsWidth_data() {
        QTest::addColumn<int>("lower"); // pixels off the design height
        QTest::newRow("as high as designed") << 0;
        // The page scrolls; its scroll bar is room the lines no longer have.
        QTest::newRow("lower than designed") << 50;
    }
    void linesFollowTheWindowsWidth() {
        QFETCH(int, lower);
        Fixture f;
        f.ui.trigger(MenuItem::CallDet);
        CallDetailWindow* w = f.host.window(0);
        const int before = w->lineBox(1)->width();
        w->resize(w->width() + 100, w->height() - lower);
        QScrollArea* page = w->linesArea();
        const int pageBar = lower ? w->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
        QCOMPARE(w->lineBox(1)->width(), before + 100 - pageBar);
        QTRY_COMPARE(page->verticalScrollBar()->isVisible(), lower > 0);
        QVERIFY(!page->horizontalScrollBar()->isVisible());
        QCOMPARE(w->scrollBar()->height(), w->height());
        QCOMPARE(w->scrollBar()->geometry().right(), w->width() - 1);
        // The page's bar reaches the lowest line.
        page->verticalScrollBar()->setValue(page->verticalScrollBar()->maximum());
        QVERIFY(page->viewport()->rect().contains(
            w->lineBox(30)->geometry().translated(w->lineBox(30)->parentWidget()->pos())));
    }
};

QTEST_MAIN(CallDetailWindowTest)
#include "test_call_detail_window.moc"
