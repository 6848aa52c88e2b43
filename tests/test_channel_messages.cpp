// The "t", "c" and "C" messages through the monitor's dispatcher, as message processing applies them.

#include "board/BoardModel.h"
#include "board/GroupTables.h"
#include "support/TestMonitor.h"

#include <QSignalSpy>
#include <QtTest>

using namespace corvane;
using corvane::test::TestMonitor;

namespace {
struct Fixture {
    Fixture() { monitor().board().placeCell(1, 8, 1); }
    TestMonitor t;
    Monitor& monitor() { return t.monitor; }
    BoardModel& board() { return t.monitor.board(); }
    void send(const QString& message) { t.monitor.dispatcher().dispatch(message); }
    const ChannelCell& c(int id) { return *board().cell(id); }
    const ElementState& callText() { return t.monitor.ui().element(Element::CallText); }
};
} // namespace

class ChannelMessagesTest : public QObject {
    Q_OBJECT
private slots:
    void stateReportReadsGroupBeforeState() {
        Fixture f;
        QSignalSpy reported(&f.board(), &BoardModel::channelReported);
        f.send(QStringLiteral("t305,2,9,0"));
        QVERIFY(f.board().hasCell(305));
        QCOMPARE(f.c(305).group, 2);
        QCOMPARE(f.c(305).stateColor, LegacyColor(0x0000FF));
        QCOMPARE(f.c(305).side, 'R');
        QVERIFY(!f.c(305).connected);
        QCOMPARE(reported.count(), 1);
        QCOMPARE(reported.at(0).at(0).toInt(), 305);
        // The road of a channel report: both cells, the route and the marker.
        f.send(QStringLiteral("t305,2,9,1207"));
        QVERIFY(f.board().hasCell(1207));
        QVERIFY(f.c(305).connected);
        QCOMPARE(f.c(305).markerColor, LegacyColor(0x0000FF));
        QCOMPARE(f.c(1207).peerText(), QStringLiteral(" 305"));
        QCOMPARE(f.c(1207).side, 'O');
    }

    void selectedChannelRecoloursCallText() {
        Fixture f;
        f.send(QStringLiteral("t305,2,2,0"));
        f.board().setGblidx(305);
        f.send(QStringLiteral("t305,2,1,0"));
        QCOMPARE(f.callText().back, std::optional<LegacyColor>(0x0000FF));
        QCOMPARE(f.callText().fore, std::optional<LegacyColor>(0xFFFFFF));
        f.send(QStringLiteral("t306,2,3,0")); // another channel leaves it alone
        QCOMPARE(f.callText().back, std::optional<LegacyColor>(0x0000FF));
    }

    void badStateReportsNeverGrowTheBoard() {
        Fixture f;
        const auto cells = f.board().cells().size();
        for (const char* m : {"t0,1,2,0", "t57,1,2,0", "t-305,1,2,0", "t70000,1,2,0", "t", "t,,,", "tabc"})
            f.send(QString::fromLatin1(m));
        QCOMPARE(f.board().cells().size(), cells);
        // Fields that overflow 16 bits read as 0.
        f.send(QStringLiteral("t305,99999,2,1207"));
        QCOMPARE(f.c(305).group, 0);
        QVERIFY(f.c(305).connected);
        f.send(QStringLiteral("t305,2,2,99999"));
        QVERIFY(!f.c(305).connected);
        QCOMPARE(f.board().cells().size(), cells + 2);
        // A short body re-reads its first field for the missing ones: 305 routed to itself.
        f.send(QStringLiteral("t306"));
        QCOMPARE(f.c(306).group, 306);
        QCOMPARE(f.c(306).peerNumber(), 306);
        // Huge group numbers are painted but never size a table.
        f.send(QStringLiteral("t307,32000,2,1208"));
        QCOMPARE(f.t.monitor.groups().capacityO(), 20);
        QCOMPARE(f.board().statsRows().count(32000), std::size_t(1));
    }

    void callInfoStoresTextMarksBlockedAndShowsIt() {
        Fixture f;
        f.send(QStringLiteral("t305,2,2,0"));
        QSignalSpy arrived(&f.board(), &BoardModel::callInfoArrived);
        f.send(QStringLiteral("c305 Blocked by engine"));
        QCOMPARE(f.c(305).callInfo, QStringLiteral("305 Blocked by engine"));
        QCOMPARE(f.c(305).mark, QStringLiteral("!"));
        QCOMPARE(f.c(305).positionTag, QStringLiteral(" 5"));
        // Nothing selected: every "c" shows in CallText, coloured like the cell.
        QCOMPARE(f.callText().caption, QStringLiteral("305 Blocked by engine"));
        QCOMPARE(f.callText().back, std::optional<LegacyColor>(0x00FF00));
        QCOMPARE(f.callText().fore, std::optional<LegacyColor>(0x000000));
        QCOMPARE(arrived.count(), 1);
        QCOMPARE(arrived.at(0).at(0).toInt(), 305);
        QCOMPARE(arrived.at(0).at(1).toInt(), 0);
        // A marked channel keeps its mark; "blocked" must match case.
        f.send(QStringLiteral("t306,2,2,0"));
        f.board().setMark(306, QStringLiteral("x"));
        f.send(QStringLiteral("c306 Blocked"));
        QCOMPARE(f.c(306).mark, QStringLiteral("x"));
        f.send(QStringLiteral("t307,2,2,0"));
        f.send(QStringLiteral("c307 blocked"));
        QCOMPARE(f.c(307).mark, QString());
        // A selected channel elsewhere: other channels' texts stay out of CallText.
        f.board().setGblidx(306);
        f.send(QStringLiteral("c307 something"));
        QCOMPARE(f.callText().caption, QStringLiteral("307 blocked"));
    }

    void positionTagIsSetOnlyOnce() {
        Fixture f;
        f.send(QStringLiteral("t305,2,2,0"));
        f.board().setPositionTag(305, QStringLiteral(" 12"));
        f.send(QStringLiteral("c305 x"));
        QCOMPARE(f.c(305).positionTag, QStringLiteral(" 12"));
    }

    void alertingShowsTheRouteLine() {
        Fixture f;
        f.send(QStringLiteral("t305,2,10,1207")); // R side, connected
        f.send(QStringLiteral("c305 call alerting from 5551234"));
        QVERIFY(f.c(305).routeVisible);
        f.send(QStringLiteral("c305 CONNECTED"));
        QVERIFY(!f.c(305).routeVisible);
        // An O-side channel with a peer is left alone.
        f.send(QStringLiteral("t406,2,2,1208"));
        f.send(QStringLiteral("c406 ALERTING"));
        QVERIFY(!f.c(406).routeVisible);
        // ... but without a peer the line (a point) follows the text.
        f.send(QStringLiteral("t407,2,2,0"));
        f.send(QStringLiteral("c407 ALERTING"));
        QVERIFY(f.c(407).routeVisible);
        // Unchecking the option does not stop call information from showing a line.
        f.t.monitor.ui().trigger(MenuItem::ShowRouteLines);
        f.send(QStringLiteral("c305 ALERTING"));
        QVERIFY(f.c(305).routeVisible);
    }

    void callInfoForAChannelWithoutACell() {
        Fixture f;
        QSignalSpy arrived(&f.board(), &BoardModel::callInfoArrived);
        const auto cells = f.board().cells().size();
        f.send(QStringLiteral("c909 ALERTING"));
        f.send(QStringLiteral("c99999 overflow"));
        f.send(QStringLiteral("C909 both"));
        f.send(QStringLiteral("c"));
        QCOMPARE(f.board().cells().size(), cells);
        QCOMPARE(f.callText().caption, QStringLiteral(""));
        QCOMPARE(arrived.count(), 4);
        QCOMPARE(arrived.at(1).at(0).toInt(), 0);
    }

    void pairCallInfoReachesThePeer() {
        Fixture f;
        QSignalSpy arrived(&f.board(), &BoardModel::callInfoArrived);
        f.send(QStringLiteral("t305,2,2,1207"));
        f.send(QStringLiteral("C305 Caller 100 to 200"));
        QCOMPARE(f.c(305).callInfo, QStringLiteral("305 Caller 100 to 200"));
        QCOMPARE(f.c(1207).callInfo, QStringLiteral("305 Caller 100 to 200"));
        QCOMPARE(f.c(305).positionTag, QStringLiteral(" 5"));
        // Nothing selected: "C" does not show.
        QCOMPARE(f.callText().caption, QStringLiteral("Call Information"));
        QCOMPARE(arrived.last().at(1).toInt(), 1207);
        // Selected peer: shown, in the colour of id's state.
        f.board().setGblidx(1207);
        f.send(QStringLiteral("C305 second"));
        QCOMPARE(f.callText().caption, QStringLiteral("305 second"));
        QCOMPARE(f.callText().back, std::optional<LegacyColor>(0x00FF00));
        // Without a route only the channel itself is updated.
        f.send(QStringLiteral("t306,2,2,0"));
        f.send(QStringLiteral("t1208,2,2,0"));
        f.send(QStringLiteral("C306 alone"));
        QCOMPARE(f.c(306).callInfo, QStringLiteral("306 alone"));
        QCOMPARE(f.c(1208).callInfo, QString());
        QCOMPARE(arrived.last().at(1).toInt(), 0);
    }
};

QTEST_GUILESS_MAIN(ChannelMessagesTest)
#include "test_channel_messages.moc"
