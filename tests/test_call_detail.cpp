// Call detail windows over a board fed by channel and call messages.

#include "support/ChannelBoard.h"
#include "windows/CallDetail.h"

#include <QtTest>

using namespace corvane;

namespace {
struct Fixture : test::ChannelBoard {
    Fixture() { config.title = QStringLiteral("Plant"); }
    CallDetailList list{ui, config, board};
    // The menu, and the window it opened.
    CallDetail& open() {
        QList<bool> before;
        for (int i = 0; i < list.count(); ++i)
            before << list.at(i).isVisible();
        ui.trigger(MenuItem::CallDet);
        for (int i = 0; i < list.count(); ++i)
            if (list.at(i).isVisible() && (i >= before.size() || !before[i]))
                return list.at(i);
        qFatal("the menu opened no window");
    }
    void spans(std::initializer_list<int> spanNumbers, int n = 24) {
        for (int s : spanNumbers)
            idleSpan(s, n);
    }
};

QList<int> visibleLines(const CallDetail& w) {
    QList<int> shown;
    for (int i = 1; i <= CallDetail::kLines; ++i)
        if (w.line(i).visible)
            shown << i;
    return shown;
}
} // namespace

class CallDetailTest : public QObject {
    Q_OBJECT
private slots:
    void openShowsTheLowestSpanAndHidesPositionsWithoutChannels() {
        Fixture f;
        f.spans({2, 3});
        CallDetail& w = f.open();
        QCOMPARE(w.caption(), QString("Call Detail Plant"));
        QCOMPARE(w.page(), 2);
        QCOMPARE(w.scrollMin(), 200);
        QCOMPARE(w.scrollMax(), 300);
        QCOMPARE(w.scrollValue(), 200);
        QCOMPARE(w.scrollValText(), QString("1"));
        QCOMPARE(visibleLines(w).size(), 24);
        QCOMPARE(visibleLines(w).last(), 24);
        for (int i = 25; i <= 30; ++i)
            QVERIFY(!w.line(i).visible);
        QCOMPARE(w.line(7).text, QString(" 207"));
    }

    void linesShowOwnPeerOrChannelNumber() {
        Fixture f;
        f.send("t101,1,9,201"); // R side, routed to 201
        f.send("t102,1,2,202"); // O side, routed to 202
        f.send("t103,1,2,0");   // O side, no peer
        f.send("t202,2,8,102");
        f.send("c101 ALERTING from 5551234");
        f.send("c202 CONNECTED to 5559876");
        f.send("c102 own text of the O side");
        CallDetail& w = f.open();
        QCOMPARE(w.line(1).text, QString("101 ALERTING from 5551234"));
        QCOMPARE(w.line(2).text, QString("202 CONNECTED to 5559876"));
        QCOMPARE(w.line(3).text, QString(" 103"));
        // An O-side channel whose peer has no cell shows nothing.
        f.board.cell(103)->setPeerTag(4444);
        w.initPage();
        QVERIFY(!w.line(3).visible);
    }

    void textColourFollowsTheStateColour() {
        Fixture f;
        f.send("t101,1,1,0"); // red
        f.send("t102,1,0,0"); // black
        f.send("t103,1,4,0"); // blue
        f.send("t104,1,3,0"); // yellow
        f.send("t105,1,2,0");
        f.board.cell(105)->stateColor = 0x000080; // dark red
        CallDetail& w = f.open();
        QCOMPARE(w.line(1).back, LegacyColor(0x0000FF));
        QCOMPARE(w.line(1).fore, kWhite);
        QCOMPARE(w.line(2).fore, kWhite);
        QCOMPARE(w.line(3).fore, kWhite);
        QCOMPARE(w.line(4).back, LegacyColor(0x00FFFF));
        QCOMPARE(w.line(4).fore, kBlack);
        QCOMPARE(w.line(5).back, LegacyColor(0x000080));
        QCOMPARE(w.line(5).fore, kBlack);
    }

    void pageKeysWrapAndTypedStepsClampWithoutRedrawing() {
        Fixture f;
        f.spans({1, 2}, 24);
        f.spans({5}, 30);
        CallDetail& w = f.open();
        QCOMPARE(w.page(), 1);
        w.pageUp();
        QCOMPARE(w.page(), 5);
        QCOMPARE(visibleLines(w).size(), 30);
        w.pageDown();
        QCOMPARE(w.page(), 1);
        QCOMPARE(visibleLines(w).size(), 24);
        w.pageDown();
        w.pageDown();
        QCOMPARE(w.page(), 3); // a span without channels: every line hidden
        QVERIFY(visibleLines(w).isEmpty());
        w.pageDown();
        w.pageDown();
        QCOMPARE(w.page(), 5);
        w.typed(u'"');
        QCOMPARE(w.page(), 5);
        w.typed(u'!');
        QCOMPARE(w.page(), 4);
        QCOMPARE(visibleLines(w).size(), 30); // still span 5's lines
        for (int i = 0; i < 6; ++i)
            w.typed(u'!');
        QCOMPARE(w.page(), 1);
        w.typed(u'x');
        QCOMPARE(w.page(), 1);
        // The keys read the board's range afresh; the scroll bar keeps the range it had at load.
        f.spans({7}, 2);
        w.pageUp();
        QCOMPARE(w.page(), 7);
        QCOMPARE(visibleLines(w), (QList<int>{1, 2}));
        QCOMPARE(w.scrollMax(), 500);
    }

    void scrollBarDragShowsTheSpanAndTheChangeRedraws() {
        Fixture f;
        f.spans({1}, 24);
        f.spans({2}, 30);
        CallDetail& w = f.open();
        w.scrollDragged(257);
        QCOMPARE(w.page(), 2);
        QVERIFY(w.scrollValVisible());
        QCOMPARE(w.scrollValText(), QString(" 2"));
        QCOMPARE(visibleLines(w).size(), 24); // not redrawn while dragging
        w.scrollChanged(257);
        QVERIFY(!w.scrollValVisible());
        QCOMPARE(visibleLines(w).size(), 30);
        QCOMPARE(w.line(30).text, QString(" 230"));
        w.scrollChanged(199);
        QCOMPARE(w.page(), 1);
        QCOMPARE(w.line(1).text, QString(" 101"));
    }

    void thirdWindowOpensWhileTwoStayOpenAndAClosedOneIsReused() {
        Fixture f;
        f.spans({1, 2}, 3);
        CallDetail& first = f.open();
        CallDetail& second = f.open();
        CallDetail& third = f.open();
        QCOMPARE(f.list.count(), 3);
        QVERIFY(&first != &second && &second != &third && &first != &third);
        QVERIFY(first.isVisible() && second.isVisible() && third.isVisible());

        second.pageDown();
        QCOMPARE(second.page(), 2);
        second.close();
        f.spans({4}, 3); // the reused window loads again and takes the board's range afresh
        CallDetail& again = f.open();
        QCOMPARE(&again, &second);
        QCOMPARE(f.list.count(), 3);
        QCOMPARE(again.page(), 1);
        QCOMPARE(again.scrollMax(), 400);
        f.open();
        QCOMPARE(f.list.count(), 4);
    }

    void shownWindowsFollowChannelAndCallMessages() {
        Fixture f;
        f.spans({1, 2}, 5);
        CallDetail& onOne = f.open();
        CallDetail& onTwo = f.open();
        onTwo.pageDown();
        CallDetail& closed = f.open();
        closed.close();

        f.send("t103,1,1,0");
        QCOMPARE(onOne.line(3).back, LegacyColor(0x0000FF));
        QCOMPARE(onOne.line(3).fore, kWhite);
        QCOMPARE(closed.line(3).back, LegacyColor(0x000000));

        // "c" for 104 routed to 205: the text goes to 104's line on span 1 and 205's line on span 2.
        f.send("t104,1,2,205");
        f.send("c104 RINGING");
        QCOMPARE(onOne.line(4).text, QString("104 RINGING"));
        QCOMPARE(onTwo.line(5).text, QString("104 RINGING"));
        QCOMPARE(closed.line(4).text, QString(" 104"));
        // "C" likewise.
        f.send("C205 CONNECTED");
        QCOMPARE(onTwo.line(5).text, QString("205 CONNECTED"));
        // A channel beyond the 30 lines changes nothing.
        f.send("t131,1,1,0");
        f.send("c131 x");
        QCOMPARE(visibleLines(onOne).size(), 5);
    }

    void linesFollowTheWindowWidthWhileTheyStayWide() {
        Fixture f;
        CallDetail& w = f.open();
        QCOMPARE(w.lineWidth(), CallDetail::kLineWidth);
        w.resized(CallDetail::kDesignWidth + 1000);
        QCOMPARE(w.lineWidth(), CallDetail::kLineWidth + 1000);
        w.resized(CallDetail::kDesignWidth - 500);
        QCOMPARE(w.lineWidth(), CallDetail::kLineWidth - 500);
        w.resized(100); // the lines would vanish: they keep their width
        QCOMPARE(w.lineWidth(), CallDetail::kLineWidth - 500);
        w.resized(1100);
        QCOMPARE(w.lineWidth(), CallDetail::kLineWidth + 500);
    }
};

QTEST_GUILESS_MAIN(CallDetailTest)
#include "test_call_detail.moc"
