// Call detail windows on the screen over a board fed by channel and call messages: what the operator
// sees and what the keys and the scroll bar do.

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
struct Fixture : test::ChannelBoard {
    Fixture() { config.title = QStringLiteral("Plant"); }
    CallDetailList list{ui, config, board};
    CallDetailWindowHost host{list};
    // The menu, and the window it opened.
    CallDetailWindow* open() {
        QList<bool> before;
        for (int i = 0; i < host.count(); ++i)
            before << host.window(i)->isVisible();
        ui.trigger(MenuItem::CallDet);
        for (int i = 0; i < host.count(); ++i)
            if (host.window(i)->isVisible() && (i >= before.size() || !before[i]))
                return host.window(i);
        qFatal("the menu opened no window");
    }
    void spans(std::initializer_list<int> spanNumbers, int n) {
        for (int s : spanNumbers)
            idleSpan(s, n);
    }
};

QList<int> visibleLines(const CallDetailWindow* w) {
    QList<int> shown;
    for (int i = 1; i <= CallDetail::kLines; ++i)
        if (w->lineBox(i)->isVisible())
            shown << i;
    return shown;
}
} // namespace

class CallDetailTest : public QObject {
    Q_OBJECT
private slots:
    // Channel 101's line: the R side's own call text, the O side's peer's, or the bare number; in the
    // cell's colour, with white text on the dark colours only.
    void lineShowsTheCallTextInTheCellsColour_data() {
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("text"); // none: the line is hidden
        QTest::addColumn<QColor>("back");
        QTest::addColumn<QColor>("fore");
        const QColor white(255, 255, 255);
        const QColor black(0, 0, 0);
        QTest::newRow("R side: own text, red") << QStringList{"t101,1,9,201", "c101 ALERTING from 5551234"}
                                               << "101 ALERTING from 5551234" << QColor(255, 0, 0) << white;
        QTest::newRow("O side: the peer's text, green")
            << QStringList{"t101,1,2,201", "t201,2,8,101", "c201 CONNECTED to 5559876", "c101 own text"}
            << "201 CONNECTED to 5559876" << QColor(0, 255, 0) << black;
        QTest::newRow("no peer: the number, black") << QStringList{"t101,1,0,0"} << " 101" << black << white;
        QTest::newRow("peer without a cell: hidden")
            << QStringList{"t101,1,2,20"} << QString() << black << black;
    }
    void lineShowsTheCallTextInTheCellsColour() {
        QFETCH(QStringList, messages);
        QFETCH(QString, text);
        QFETCH(QColor, back);
        QFETCH(QColor, fore);
        Fixture f;
        for (const QString& m : messages)
            f.send(m);
        QLineEdit* box = f.open()->lineBox(1);
        QCOMPARE(box->isVisible(), !text.isNull());
        if (text.isNull())
            return;
        QCOMPARE(box->text(), text);
        QCOMPARE(box->palette().color(QPalette::Base), back);
        QCOMPARE(box->palette().color(QPalette::Text), fore);
    }

    // The menu opens the lowest span. Page keys wrap round the span range; "!" and the double quote stop
    // at its ends and leave the lines as they are. None of them moves the scroll bar, wherever the focus is.
    void keysPageThroughTheSpansWithoutMovingTheScrollBar() {
        Fixture f;
        f.spans({2, 3}, 24);
        f.spans({6}, 30);
        CallDetailWindow* w = f.open();
        QCOMPARE(w->windowTitle(), QString("Call Detail Plant"));
        QCOMPARE(w->model().page(), 2);
        QCOMPARE(w->scrollBar()->minimum(), 200);
        QCOMPARE(w->scrollBar()->maximum(), 600);
        QCOMPARE(w->scrollValBox()->text(), QString("1"));
        QCOMPARE(w->lineBox(7)->text(), QString(" 207"));
        QTest::keyClick(w->lineBox(3), Qt::Key_PageUp);
        QCOMPARE(w->model().page(), 6);
        QCOMPARE(visibleLines(w).size(), 30);
        QTest::keyClick(w->scrollBar(), Qt::Key_PageDown);
        QCOMPARE(w->model().page(), 2);
        QCOMPARE(visibleLines(w).size(), 24);
        QCOMPARE(visibleLines(w).last(), 24);
        QCOMPARE(w->scrollBar()->value(), 200);
        QTest::keyClick(w, Qt::Key_PageDown);
        QTest::keyClick(w, Qt::Key_PageDown);
        QCOMPARE(w->model().page(), 4); // a span without channels: every line hidden
        QVERIFY(visibleLines(w).isEmpty());
        QTest::keyClick(w, Qt::Key_PageDown);
        QTest::keyClick(w, Qt::Key_PageDown);
        QTest::keyClick(w, '"');
        QCOMPARE(w->model().page(), 6);
        QTest::keyClick(w->lineBox(1), '!');
        QCOMPARE(w->model().page(), 5);
        QCOMPARE(visibleLines(w).size(), 30); // still span 6's lines
        for (int i = 0; i < 6; ++i)
            QTest::keyClick(w, '!');
        QTest::keyClick(w, 'x');
        QCOMPARE(w->model().page(), 2);
        QCOMPARE(w->scrollBar()->value(), 200);
        // The keys read the board's range afresh; the scroll bar keeps the range it had at load.
        f.spans({8}, 2);
        QTest::keyClick(w, Qt::Key_PageUp);
        QCOMPARE(w->model().page(), 8);
        QCOMPARE(visibleLines(w), (QList<int>{1, 2}));
        QCOMPARE(w->scrollBar()->maximum(), 600);
    }

    void draggingShowsTheSpanAndReleasingShowsItsLines() {
        Fixture f;
        f.spans({1}, 24);
        f.spans({2}, 30);
        CallDetailWindow* w = f.open();
        QScrollBar* bar = w->scrollBar();
        bar->setSliderDown(true);
        bar->setSliderPosition(257);
        QVERIFY(w->scrollValBox()->isVisible());
        QCOMPARE(w->scrollValBox()->text(), QString(" 2"));
        QCOMPARE(w->lineBox(1)->text(), QString(" 101")); // not redrawn while dragging
        bar->setSliderDown(false);
        QVERIFY(!w->scrollValBox()->isVisible());
        QCOMPARE(visibleLines(w).size(), 30);
        QCOMPARE(w->lineBox(30)->text(), QString(" 230"));
        bar->setValue(199);
        QCOMPARE(w->model().page(), 1);
        QCOMPARE(w->lineBox(1)->text(), QString(" 101"));
    }

    void aThirdWindowOpensWhileTwoStayOpenAndAClosedOneIsReused() {
        Fixture f;
        f.spans({1, 2}, 3);
        CallDetailWindow* first = f.open();
        CallDetailWindow* second = f.open();
        CallDetailWindow* third = f.open();
        QCOMPARE(f.host.count(), 3);
        QVERIFY(first != second && second != third && first != third);
        QVERIFY(first->isVisible() && second->isVisible() && third->isVisible());

        QTest::keyClick(second, Qt::Key_PageDown);
        QVERIFY(second->close());
        QVERIFY(!second->isVisible());
        f.spans({4}, 3); // the reused window loads again and takes the board's range afresh
        QCOMPARE(f.open(), second);
        QCOMPARE(f.host.count(), 3);
        QCOMPARE(second->model().page(), 1);
        QCOMPARE(second->scrollBar()->maximum(), 400);
        f.open();
        QCOMPARE(f.host.count(), 4);
    }

    void shownWindowsFollowChannelAndCallMessages() {
        Fixture f;
        f.spans({1, 2}, 5);
        CallDetailWindow* onOne = f.open();
        CallDetailWindow* onTwo = f.open();
        QTest::keyClick(onTwo, Qt::Key_PageDown);
        CallDetailWindow* closed = f.open();
        closed->close();

        f.send("t103,1,1,0");
        QCOMPARE(onOne->lineBox(3)->palette().color(QPalette::Base), QColor(255, 0, 0));
        QCOMPARE(onOne->lineBox(3)->palette().color(QPalette::Text), QColor(255, 255, 255));
        QCOMPARE(closed->model().line(3).back, LegacyColor(0x000000));

        // "c" for 104 routed to 205: the text goes to 104's line on span 1 and 205's line on span 2.
        f.send("t104,1,2,205");
        f.send("c104 RINGING");
        QCOMPARE(onOne->lineBox(4)->text(), QString("104 RINGING"));
        QCOMPARE(onTwo->lineBox(5)->text(), QString("104 RINGING"));
        QCOMPARE(closed->model().line(4).text, QString(" 104"));
        // "C" likewise.
        f.send("C205 CONNECTED");
        QCOMPARE(onTwo->lineBox(5)->text(), QString("205 CONNECTED"));
        // A channel beyond the 30 lines changes nothing.
        f.send("t131,1,1,0");
        f.send("c131 x");
        QCOMPARE(visibleLines(onOne).size(), 5);
    }

    void linesFollowTheWindowWidthWhileTheyStayWide() {
        Fixture f;
        CallDetail w(f.config, f.board);
        w.resized(CallDetail::kDesignWidth - 500);
        w.resized(100); // the lines would vanish: they keep their width
        QCOMPARE(w.lineWidth(), CallDetail::kLineWidth - 500);
        w.resized(1100); // the width it grows by counts from the last size, not from the last kept one
        QCOMPARE(w.lineWidth(), CallDetail::kLineWidth + 500);
    }

    // Lower than designed, the page of lines scrolls, and its scroll bar is room the lines no longer have.
    void linesFollowTheWindowsWidth_data() {
        QTest::addColumn<int>("lower"); // pixels off the design height
        QTest::newRow("as high as designed") << 0;
        QTest::newRow("lower than designed") << 50;
    }
    void linesFollowTheWindowsWidth() {
        QFETCH(int, lower);
        Fixture f;
        f.spans({1}, 30);
        CallDetailWindow* w = f.open();
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

QTEST_MAIN(CallDetailTest)
#include "test_call_detail.moc"
