// Marking cells with real mouse and key events on the board widget, and the commands to the switch on a
// recording link and a manual clock; then over real sockets to the simulated engine: the refresh ended
// by the engine's answers, withdrawn controls, and two monitors chatting.

#include "alarms/AlarmList.h"
#include "board/BoardModel.h"
#include "board/BoardView.h"
#include "board/Colors.h"
#include "board/GroupTables.h"
#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"
#include "link/EngineLink.h"
#include "link/LinkActions.h"
#include "link/LinkHealth.h"
#include "link/LinkSocket.h"
#include "operator/Selection.h"
#include "operator/SwitchCommands.h"
#include "support/EngineSimProcess.h"
#include "support/ManualClock.h"
#include "support/RecordingLink.h"
#include "support/ScriptedDialogs.h"
#include "support/TestMonitor.h"
#include "watchdogs/HeartbeatWatchdog.h"
#include "watchdogs/RelayWatchdog.h"
#include "windows/ChatModel.h"

#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

// The commands with the collaborators they name, on scripted platform services.
struct Commands {
    explicit Commands(bool udp = true) : engine(new RecordingLink(udp)) {
        link.reset(std::unique_ptr<EngineLink>(engine));
        // The template cell fixes the board's origin, as the load step does.
        board.placeCell(1, 8, 1);
        // The board completion would send its own "W" and "SSSSS" ten seconds in.
        relay.stop();
    }
    MonitorConfig config;
    ManualClock clock;
    ScriptedDialogs dialogs;
    RecordingTones tones;
    MainWindowModel ui;
    GroupTables groups;
    LinkSocket link;
    BoardModel board{ui, config, groups, clock, link, [] { return false; }};
    LinkHealth health{config, clock, [this] { return board.cellIds(); }};
    AlarmList alarms{ui, clock};
    RelayWatchdog relay{ui,
                        config,
                        clock,
                        tones,
                        link,
                        board,
                        alarms,
                        [this](std::function<void()> then) {
                            reconnect(link, health, QStringLiteral("TESTBOX"), std::move(then));
                        },
                        [this] { return HeartbeatWatchdog::periodFor(config.watchdogTimeout).value_or(0); }};
    SwitchCommands commands{ui, link, board, clock, dialogs, tones, health, relay, QStringLiteral("TESTBOX")};
    RecordingLink* engine; // the link's own end, owned by `link`

    // What the status handlers show for an acknowledgement of `letter`.
    void ack(const QString& letter) { ui.setCaption(Element::AckLbl, letter); }
    void cell(int id, const QString& mark = {}) {
        board.paintChannel(id, 1, 1, 0);
        board.setMark(id, mark);
    }
    QStringList sentAfterEachAck(const QStringList& letters) {
        for (const QString& letter : letters) {
            ack(letter);
            clock.advance(SwitchCommands::kAckLookMs);
        }
        return engine->commands();
    }
};

// One monitor on the simulated engine, its timers on a manual clock that the test moves a millisecond
// at a time while the sockets run.
struct Rig {
    Rig(EngineSimProcess& sim, bool udp) {
        MonitorConfig config;
        config.useUdp = udp;
        config.engineAddress = QStringLiteral("127.0.0.1");
        config.enginePort = static_cast<std::int16_t>(udp ? sim.udpPort() : sim.tcpPort());
        config.monitorPort = static_cast<std::int16_t>(EngineSimProcess::freeMonitorPort());
        t = std::make_unique<TestMonitor>(config);
        // The board completion is left out; tests set the start-up flags themselves.
        t->monitor.relay().stop();
        t->monitor.board().placeCell(1, 8, 1);
        t->monitor.link().reset(createEngineLink(t->monitor));
    }
    Monitor& m() { return t->monitor; }
    qint64 now() const { return t->services.clock.tickMs(); }
    void step() { t->services.clock.advance(1); }
    std::unique_ptr<TestMonitor> t;
};

// Runs the sockets and moves every rig's clock until `done` holds.
template <typename Done> bool pump(std::initializer_list<Rig*> rigs, Done done) {
    return QTest::qWaitFor(
        [&] {
            for (int i = 0; i < 5; ++i)
                for (Rig* r : rigs)
                    r->step();
            return done();
        },
        30000);
}

// The texts the engine printed, from line `from` on.
QStringList printed(const EngineSimProcess& sim, qsizetype from = 0) {
    QStringList out;
    for (const SimCommand& c : sim.commands(from))
        out << c.text;
    return out;
}

constexpr double kTwipsPerPixel = 15.0;

QPoint px(QPointF twips) {
    return QPoint(qRound(twips.x() / kTwipsPerPixel), qRound(twips.y() / kTwipsPerPixel));
}

struct Board {
    Board() {
        // Spans 1 to 3, positions 1 to 8, O side, groups by span; 105 is connected to 203.
        for (int s = 1; s <= 3; ++s)
            for (int p = 1; p <= 8; ++p)
                b.paintChannel(s * 100 + p, 1, static_cast<std::int16_t>(s), 0);
        b.paintChannel(105, 1, 1, 203);
        b.paintChannel(203, 1, 2, 105);
        b.setCallInfo(106, QStringLiteral("106 idle"));
        b.setCallInfo(105, QStringLiteral("105 talking to 203"));
        view.resize(1000, 500);
        view.show();
    }
    QWidget* canvas() { return view.canvas(); }
    QPoint stateLabel(int id) { return px(QPointF(b.cell(id)->stateRect.center())); }
    QStringList marked() {
        QStringList out;
        for (int id : b.cellIds())
            if (b.cell(id)->isMarked())
                out << QString::number(id);
        return out;
    }
    void hand(void (Selection::*f)(const BoardMouseEvent&), QPointF twips, Qt::MouseButton button,
              Qt::MouseButtons held) {
        BoardMouseEvent e;
        e.twips = twips;
        e.button = button;
        e.buttons = held;
        (sel.*f)(e);
    }
    // One step of the operator's: "N" points at cell N's state label, "label" at span 1's inner label,
    // "off" at the background; "clickN" and "rightN" move onto cell N and click it with the left or right
    // button; "L", "R", "U", "D" are the arrows ("S" before them: with Shift), "space" is Space;
    // "routes-off" unchecks the route lines' menu item, "105>204" has 105 report a call with 204.
    void act(const QString& k) {
        static const QHash<QChar, Qt::Key> arrows{
            {u'L', Qt::Key_Left}, {u'R', Qt::Key_Right}, {u'U', Qt::Key_Up}, {u'D', Qt::Key_Down}};
        const bool click = k.startsWith(QLatin1String("click")) || k.startsWith(QLatin1String("right"));
        if (k == QLatin1String("off"))
            QTest::mouseMove(canvas(), px(QPointF(3000, 500)));
        else if (k == QLatin1String("label"))
            QTest::mouseMove(canvas(), px(QPointF(b.innerLabel(1).rect.center())));
        else if (k == QLatin1String("routes-off"))
            m.ui.setMenuChecked(MenuItem::ShowRouteLines, false);
        else if (k == QLatin1String("space"))
            QTest::keyClick(canvas(), Qt::Key_Space);
        else if (k.contains(u'>'))
            b.paintChannel(k.section(u'>', 0, 0).toInt(), 1, 1, k.section(u'>', 1).toInt());
        else if (arrows.contains(k.back()) && !click)
            QTest::keyClick(canvas(), arrows.value(k.back()),
                            k.startsWith(u'S') ? Qt::ShiftModifier : Qt::NoModifier);
        else
            QTest::mouseMove(canvas(), stateLabel(k.mid(click ? 5 : 0).toInt()));
        if (click)
            QTest::mouseClick(canvas(), k.startsWith(u'c') ? Qt::LeftButton : Qt::RightButton, {},
                              stateLabel(k.mid(5).toInt()));
    }
    // A band from `from` to `to` through the board's mouse handler, with the left button.
    void handBand(QPointF from, QPointF to) {
        hand(&Selection::press, from, Qt::LeftButton, Qt::LeftButton);
        hand(&Selection::move, to, Qt::NoButton, Qt::LeftButton);
        hand(&Selection::release, to, Qt::LeftButton, Qt::NoButton);
    }
    Commands m;
    BoardModel& b = m.board;
    Selection sel{b, m.ui, m.commands};
    BoardView view{b};
};

QStringList ids(std::initializer_list<int> list) {
    QStringList out;
    for (int i : list)
        out << QString::number(i);
    return out;
}
} // namespace

class TestOperator : public QObject {
    Q_OBJECT
private slots:
    void refreshWaitsGiveUpAfterTheirLooks() {
        Commands f;
        f.commands.refreshInfo();
        // Each of the 51 looks is followed by its pause: about 5.1 s.
        f.clock.advance(SwitchCommands::kAckLookMs * SwitchCommands::kAckMaxLooks - 1);
        QCOMPARE(f.engine->commands().last(), QStringLiteral("SSSSS"));
        f.clock.advance(1);
        QCOMPARE(f.engine->commands().last(), QStringLiteral("CCCCC"));
        f.clock.advance(5100);
        QCOMPARE(f.engine->commands().last(), QStringLiteral("UUUUU"));
        QCOMPARE(f.engine->commands().size(), 4);
    }

    void refreshWaitsForTheConnect() {
        Commands f(false);
        f.engine->holdConnects = true;
        f.commands.refreshInfo();
        QCOMPARE(f.engine->sent, (QStringList{"<close>", "<connect>"}));
        f.clock.advance(3000);
        QCOMPARE(f.engine->commands(), QStringList());
        QVERIFY(!f.ui.element(Element::AckLbl).back);
        f.engine->heldConnect();
        f.engine->heldConnect(); // a second report of the same connect changes nothing
        QCOMPARE(f.engine->commands(), (QStringList{"$TESTBOX", "SSSSS"}));
        QCOMPARE(f.ui.element(Element::AckLbl).back, LegacyColor(0x00FFFF));
        f.clock.advance(1000);
        QCOMPARE(f.ui.element(Element::AckLbl).back, LegacyColor(0x808080)); // greyed a second later
    }

    void refreshStartedDuringAWaitRunsFirst() {
        Commands f;
        f.commands.refreshInfo(); // waits for "S": looks at 0, 100 and 200 ms
        f.clock.advance(250);
        f.relay.completeBoard();
        f.engine->sent.clear();
        f.commands.refreshInfo(); // the relay watchdog's refresh, say
        QCOMPARE(f.engine->sent, (QStringList{"<close>", "<connect>", "DDDDD"}));
        // The inner sequence ends at 550 ms; only then does the outer one go on, with "C" still showing.
        const QStringList inner{"DDDDD", "$TESTBOX", "SSSSS", "CCCCC", "UUUUU"};
        QCOMPARE(f.sentAfterEachAck({"D", "S", "C"}), inner);
        // It looks again a pause later with the 48 looks it had left: the last at 5350 ms, then its pause.
        f.clock.advance(4899);
        QCOMPARE(f.engine->commands(), inner);
        f.clock.advance(1);
        QCOMPARE(f.engine->commands(), inner + QStringList({"CCCCC", "UUUUU"}));
        QCOMPARE(f.commands.runner().activeCount(), 0);
    }

    void batchGoesToMarkedCellsInIdOrder_data() {
        QTest::addColumn<Element>("button");
        QTest::addColumn<QStringList>("marks"); // of cells 2301, 105, 106 and 107
        QTest::addColumn<QStringList>("commands");
        const QStringList marked{"X", "X", "", "x"};
        QTest::newRow("Stop") << Element::Command2_6 << marked << QStringList{"T0105", "T0107", "T2301"};
        QTest::newRow("Exclude, truncating")
            << Element::Command2_0 << marked << QStringList{"X0105", "X0107", "X2301"};
        QTest::newRow("Include") << Element::Command2_1 << QStringList{"", "X", "", ""}
                                 << QStringList{"x0105"};
        QTest::newRow("Msg on") << Element::Command2_3 << QStringList{"", "X", "", ""}
                                << QStringList{"M0105"};
        QTest::newRow("Msg off") << Element::Command2_4 << QStringList{"", "X", "", ""}
                                 << QStringList{"m0105"};
        QTest::newRow("Start") << Element::Command2_5 << QStringList{"X", "", "", ""} << QStringList{"t2301"};
        // Marks of the other kinds are no marks for a batch: it beeps, whether sounds are on or not.
        QTest::newRow("no marks") << Element::Command2_1 << QStringList{"?", "!", "", ""} << QStringList{};
        // Unmark All clears marks of every kind, and without a beep.
        QTest::newRow("Unmark All") << Element::Command2_2 << QStringList{"?", "!", "", ""} << QStringList{};
    }

    void batchGoesToMarkedCellsInIdOrder() {
        QFETCH(Element, button);
        QFETCH(QStringList, marks);
        QFETCH(QStringList, commands);
        Commands f;
        const int ids[] = {2301, 105, 106, 107};
        for (int i = 0; i < 4; ++i)
            f.cell(ids[i], marks[i]);
        QVERIFY(!f.ui.isChecked(MenuItem::AllowSounds));
        const auto firstOf = [&](qsizetype n) { return commands.first(std::min(n, commands.size())); };
        f.ui.gesture(button, MainWindowModel::Gesture::Click);
        QCOMPARE(f.engine->commands(), firstOf(1));
        // Paced: the next channel 10 ms later.
        f.clock.advance(9);
        QCOMPARE(f.engine->commands(), firstOf(1));
        f.clock.advance(1);
        QCOMPARE(f.engine->commands(), firstOf(2));
        f.clock.advance(100);
        QCOMPARE(f.engine->commands(), commands);
        const bool unmark = button == Element::Command2_2;
        for (int i = 0; i < 4; ++i)
            QCOMPARE(f.board.cell(ids[i])->mark, unmark ? QString() : marks[i]);
        const QList<QPair<int, int>> beep{{100, 300}}, silence;
        QCOMPARE(f.tones.tones, commands.isEmpty() && !unmark ? beep : silence);
        QCOMPARE(SwitchCommands::channelCommand(u'x', 1), QStringLiteral("x0001"));
        QCOMPARE(SwitchCommands::channelCommand(u'T', 12345), QStringLiteral("T12345"));
    }

    void batchReadsMarksAndTruncateWhenItGetsThere() {
        Commands f;
        f.cell(105, QStringLiteral("X"));
        f.cell(106, QStringLiteral("X"));
        f.cell(107, QStringLiteral("X"));
        f.cell(201);
        f.ui.gesture(Element::Command2_0, MainWindowModel::Gesture::Click);
        f.ui.setChecked(Element::Truncate, false);
        f.board.setMark(105, QString()); // already passed
        f.board.setMark(106, QString()); // not reached yet
        f.board.setMark(201, QStringLiteral("X"));
        f.clock.advance(100);
        QCOMPARE(f.engine->commands(), (QStringList{"X0105", "Y0107", "Y0201"}));
    }

    void engineWideCommandsReconnectOverUdp() {
        Commands f;
        for (MenuItem item : {MenuItem::CommitDb7, MenuItem::CommitDb1, MenuItem::CommitDb2,
                              MenuItem::KillLapLink, MenuItem::HungTrunk})
            f.ui.trigger(item);
        QCOMPARE(f.engine->sent, (QStringList{"<connect>", "I7", "<connect>", "I1", "<connect>", "I2",
                                              "<connect>", "LLLLL", "<connect>", "HHHHH"}));
        // The check mark waits for the engine's answer.
        QVERIFY(!f.ui.isChecked(MenuItem::HungTrunk));

        Commands tcp(false);
        tcp.ui.trigger(MenuItem::CommitDb7);
        tcp.ui.trigger(MenuItem::HungTrunk);
        QCOMPARE(tcp.engine->sent, (QStringList{"I7", "HHHHH"}));
    }

    void unloadAsksFirst() {
        Commands f;
        f.dialogs.yesNoAnswers.enqueue(false);
        f.ui.trigger(MenuItem::UnloadApp);
        // The program's own title (none given), not the switch's.
        QCOMPARE(f.dialogs.questions, QStringList{"|Do you really want to unload the switch?"});
        QVERIFY(f.engine->sent.isEmpty());
        f.dialogs.yesNoAnswers.enqueue(true);
        f.ui.trigger(MenuItem::UnloadApp);
        QCOMPARE(f.engine->sent, (QStringList{"<connect>", "QQQQQ"}));
    }

    void tabDoubleClickRevealsEngineButtons() {
        Commands f;
        const Element hidden[] = {Element::Command2_3, Element::Command2_4, Element::Command2_5,
                                  Element::Command2_6, Element::Label4};
        for (bool shown : {false, true, false}) {
            for (Element e : hidden)
                QCOMPARE(f.ui.element(e).visible, shown);
            f.ui.gesture(Element::SSTab1, MainWindowModel::Gesture::DoubleClick);
        }
    }

    void refreshSequence_data() { overUdpAndTcp(); }

    void refreshSequence() {
        QFETCH(bool, udp);
        EngineSimProcess sim;
        QVERIFY(sim.start({"--heartbeat-ms", "0", "--clock-ms", "0", "--spans", "2"}));
        Rig rig(sim, udp);

        const qint64 start = rig.now();
        rig.m().commands().refreshInfo();
        QVERIFY(pump({&rig}, [&] { return printed(sim).contains(QStringLiteral("UUUUU")); }));
        QCOMPARE(printed(sim), (QStringList{"$TESTBOX", "SSSSS", "CCCCC", "UUUUU"}));
        // Each wait ended on the engine's answer, long before its bound of 51 looks.
        QVERIFY2(rig.now() - start < 2000, qPrintable(QString::number(rig.now() - start)));
        QVERIFY(rig.m().ui().windowCaption().endsWith(QStringLiteral("CORVANE-SIM")));
        QVERIFY(pump({&rig}, [&] { return rig.m().board().hasCell(224); }));
        QCOMPARE(rig.m().commands().runner().activeCount(), 0);

        // After start-up the group names are asked for first.
        rig.m().relay().completeBoard();
        QVERIFY(pump({&rig}, [&] { return printed(sim).endsWith(QStringLiteral("SSSSS")); }));
        const qsizetype from = sim.lines().size();
        rig.m().commands().refreshInfo();
        QVERIFY(pump({&rig}, [&] { return printed(sim, from).contains(QStringLiteral("UUUUU")); }));
        QCOMPARE(printed(sim, from), (QStringList{"DDDDD", "$TESTBOX", "SSSSS", "CCCCC", "UUUUU"}));
        QVERIFY(!rig.m().groups().nameO(1).isEmpty());
    }

    void withdrawnControlsAreExplained() {
        EngineSimProcess sim;
        QVERIFY(sim.start({"--heartbeat-ms", "0", "--clock-ms", "0", "--spans", "1"}));
        Rig rig(sim, false);
        rig.m().commands().refreshInfo();
        QVERIFY(pump({&rig}, [&] { return printed(sim).contains(QStringLiteral("UUUUU")); }));
        const MainWindowModel& ui = rig.m().ui();
        QVERIFY(!ui.element(Element::ControlWithdrawn).visible);
        const int before = rig.m().alarms().count();
        // Repeated by the engine: told once.
        for (int i = 0; i < 2; ++i) {
            QVERIFY(sim.control(QStringLiteral("send -S")));
            QVERIFY(pump({&rig}, [&] { return !ui.element(Element::Command2_0).visible; }));
        }
        QVERIFY(sim.control(QStringLiteral("send ASpan 1 red alarm")));
        QVERIFY(pump({&rig}, [&] { return rig.m().alarms().count() == before + 2; }));
        const QStringList added = rig.m().alarms().lines().mid(before);
        QCOMPARE(added[0].section(QStringLiteral("---"), 1),
                 QStringLiteral(
                     "Engine withdrew control from this monitor: Exclude, Include and Actions are off"));
        QVERIFY(added[1].endsWith(QStringLiteral("---Span 1 red alarm")));
        QVERIFY(!ui.element(Element::Command2_1).visible);
        QVERIFY(!ui.element(Element::Truncate).visible);
        QVERIFY(!ui.menu(MenuItem::Actions).enabled);
        // The note in the buttons' place says since when.
        QVERIFY(ui.element(Element::ControlWithdrawn)
                    .toolTip.contains(QStringLiteral("withdrew control from this monitor at ")));
    }

    void twoMonitorsChat() {
        EngineSimProcess sim;
        QVERIFY(sim.start({"--heartbeat-ms", "0", "--clock-ms", "0", "--spans", "1"}));
        Rig a(sim, true);
        Rig b(sim, false);
        for (Rig* r : {&a, &b}) {
            r->m().relay().completeBoard();
            r->m().commands().refreshInfo();
        }
        QVERIFY(pump({&a, &b}, [&] { return printed(sim).count(QStringLiteral("UUUUU")) == 2; }));

        a.m().ui().trigger(MenuItem::MegBst);
        QVERIFY(a.m().chat().isShown());
        QVERIFY(pump({&a, &b},
                     [&] { return a.m().chat().monConnected().count(QStringLiteral("TESTBOX")) == 2; }));
        a.m().chat().sendLine(QStringLiteral("shift change at six"));
        QVERIFY(pump({&a, &b}, [&] { return !b.m().chat().received().isEmpty(); }));
        QCOMPARE(b.m().chat().received(), QStringLiteral("shift change at six\r\n"));
        QVERIFY(b.m().chat().isShown());
        b.m().chat().sendLine(QString::fromLatin1("re\xe7u"));
        QVERIFY(pump({&a, &b}, [&] { return a.m().chat().received().count(QStringLiteral("\r\n")) == 2; }));
        QCOMPARE(a.m().chat().received(), QString::fromLatin1("re\xe7u\r\nshift change at six\r\n"));
    }

    // A band from the background (twips on whole pixels) spans the press and the pointer; its release
    // toggles the cells whose corner lies inside. A right-button band stays until the next left click.
    void bandsFromTheBackground_data() {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QPointF>("from");
        QTest::addColumn<QPointF>("via");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<QStringList>("premarked");
        QTest::addColumn<QStringList>("marked");
        // Between the rows, right under 101's state label.
        QTest::newRow("a click marks nothing") << Qt::LeftButton << QPointF(1695, 495) << QPointF(1695, 495)
                                               << QPointF(1695, 495) << QStringList() << QStringList();
        // Positions 1 to 4 of spans 1 and 2, the template under 101, and 102 unmarked by the band.
        QTest::newRow("toggles what lies inside")
            << Qt::LeftButton << QPointF(1530, 45) << QPointF(2000, 500) << QPointF(2400, 1005) << ids({102})
            << ids({1, 101, 103, 104, 201, 202, 203, 204});
        QTest::newRow("bottom right to top left")
            << Qt::LeftButton << QPointF(2400, 1005) << QPointF(2000, 500) << QPointF(1860, 450)
            << QStringList() << ids({202, 203, 204});
        QTest::newRow("only the press and the release count")
            << Qt::LeftButton << QPointF(2400, 450) << QPointF(4000, 1500) << QPointF(1860, 45)
            << QStringList() << ids({102, 103, 104});
        QTest::newRow("right button") << Qt::RightButton << QPointF(1530, 45) << QPointF(2000, 300)
                                      << QPointF(2145, 450) << QStringList() << ids({1, 101, 102, 103});
    }
    void bandsFromTheBackground() {
        QFETCH(Qt::MouseButton, button);
        QFETCH(QPointF, from);
        QFETCH(QPointF, via);
        QFETCH(QPointF, to);
        QFETCH(QStringList, premarked);
        QFETCH(QStringList, marked);
        Board f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.view));
        for (const QString& id : premarked)
            f.b.setMark(id.toInt(), QStringLiteral("X"));
        QTest::mousePress(f.canvas(), button, {}, px(from));
        QTest::mouseMove(f.canvas(), px(via));
        QTest::mouseMove(f.canvas(), px(to));
        QVERIFY(f.b.band().visible);
        const BandRect& band = f.b.band();
        QCOMPARE(QRectF(band.left, band.top, band.width, band.height), QRectF(from, to).normalized());
        QTest::mouseRelease(f.canvas(), button, {}, px(to));
        QCOMPARE(f.marked(), marked);
        QCOMPARE(f.b.band().visible, button == Qt::RightButton);
        QTest::mouseClick(f.canvas(), Qt::LeftButton, {}, px(QPointF(3000, 495)));
        QVERIFY(!f.b.band().visible);
        QCOMPARE(f.marked(), marked);
    }

    void bandEdgesAreExclusive() {
        Board f;
        const QRect s = f.b.cell(103)->stateRect;
        // A band whose left edge runs exactly through 103's corner leaves 103 alone.
        f.handBand(QPointF(s.left(), s.top() - 10), QPointF(s.left() + 300, s.top() + 10));
        QCOMPARE(f.marked(), ids({104}));
        // One twip further left takes it in.
        f.handBand(QPointF(s.left() - 1, s.top() - 10), QPointF(s.left() + 100, s.top() + 10));
        QCOMPARE(f.marked(), ids({103, 104}));
        // A band ending exactly on the corner's row, and a band of no size, toggle nothing.
        f.handBand(QPointF(s.left() - 1, s.top() - 10), QPointF(s.left() + 100, s.top()));
        f.handBand(QPointF(s.left() - 1, s.top() - 1), QPointF(s.left() - 1, s.top() - 1));
        QCOMPARE(f.marked(), ids({103, 104}));
        // The anchor is kept in whole twips, the band's own corner is not.
        f.hand(&Selection::press, QPointF(10.5, 20.4), Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(f.sel.anchor(), QPointF(10, 20));
        QCOMPARE(f.b.band().left, 10.5);
    }

    // The pointer's path (after "105>204", 204 is not connected itself; 106 is in a red state). Lit cells
    // have the hover border; the hovered one shows its call text in its state's colours, and its route.
    void hoverLightsCellAndPeer_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("hovered");
        QTest::addColumn<QList<int>>("lit");
        QTest::addColumn<QString>("callText");
        QTest::newRow("a connected cell and its peer")
            << "105" << 105 << QList<int>{105, 203} << "105 talking to 203";
        QTest::newRow("on to a cell without a peer") << "105 106" << 106 << QList<int>{106} << "106 idle";
        // 203 and 105 were lit again before the old cell's restore took both highlights off.
        QTest::newRow("on to the peer") << "105 203" << 203 << QList<int>{} << "";
        QTest::newRow("over a span label")
            << "105 label" << 105 << QList<int>{105, 203} << "105 talking to 203";
        QTest::newRow("off the board") << "105 off" << 0 << QList<int>{} << "105 talking to 203";
        QTest::newRow("leaving it for a cell leaves the peer lit")
            << "105 106 105>204 204 107" << 107 << QList<int>{105, 107} << "";
        QTest::newRow("leaving it for the background does not")
            << "105 106 105>204 204 off" << 0 << QList<int>{} << "";
        QTest::newRow("route lines off") << "routes-off 106" << 106 << QList<int>{106} << "106 idle";
    }
    void hoverLightsCellAndPeer() {
        QFETCH(QString, path);
        QFETCH(int, hovered);
        QFETCH(QList<int>, lit);
        QFETCH(QString, callText);
        Board f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.view));
        f.b.paintChannel(106, 9, 1, 0);
        for (const QString& k : path.split(u' '))
            f.act(k);
        QCOMPARE(f.b.gblidx(), hovered);
        for (int id : f.b.cellIds()) {
            const ChannelCell& c = *f.b.cell(id);
            const bool on = lit.contains(id);
            QCOMPARE(c.borderStyle, on ? 1 : f.b.normalBorderStyle());
            QCOMPARE(c.borderColor, on ? borderColorFor(c.groupColor) : c.groupColor);
            QCOMPARE(c.routeVisible, id == hovered && !path.startsWith(QLatin1String("routes-off")));
        }
        const ElementState& text = f.m.ui.element(Element::CallText);
        QCOMPARE(text.caption, callText);
        if (hovered) {
            QCOMPARE(text.back, textSetColors(f.b.cell(hovered)->stateColor).back);
            QCOMPARE(text.fore, textSetColors(f.b.cell(hovered)->stateColor).fore);
        }
    }

    // The keyboard on the board, from the first cell where Tab put the cursor. Marks are "id=mark" pairs.
    void keysMarkAsTheMouseDoes_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("hovered");
        QTest::addColumn<bool>("bandShown");
        QTest::newRow("a second click unmarks")
            << QString() << QStringList{"click105", "click105"} << "105=" << 105 << false;
        QTest::newRow("another button marks nothing")
            << QString() << QStringList{"right102"} << "102=" << 102 << false;
        QTest::newRow("space toggles as a click does")
            << "101=?;102=!;103=x" << QStringList{"space", "R", "space", "R", "space"}
            << "101=X;102=X;103=" << 103 << false;
        QTest::newRow("a band toggles what it covers")
            << "102=X" << QStringList{"SR", "SR", "SD"}
            << "101=X;102=;103=X;201=X;202=X;203=X;104=;204=" << 203 << true;
        QTest::newRow("a band drawn back gives back the marks before it")
            << "102=?;103=X" << QStringList{"SR", "SR", "SL", "SL"} << "101=X;102=?;103=X" << 101 << true;
        QTest::newRow("space ends the band and toggles the cursor cell")
            << QString() << QStringList{"SR", "space"} << "101=X;102=" << 102 << false;
        QTest::newRow("a click ends the band and takes the cursor")
            << QString() << QStringList{"SR", "click105", "R", "space"} << "101=X;102=X;105=X;106=X" << 106
            << false;
    }
    void keysMarkAsTheMouseDoes() {
        QFETCH(QString, before);
        QFETCH(QStringList, keys);
        QFETCH(QString, after);
        QFETCH(int, hovered);
        QFETCH(bool, bandShown);
        Board f;
        QVERIFY(QTest::qWaitForWindowActive(&f.view));
        for (const QString& pair : before.split(u';', Qt::SkipEmptyParts))
            f.b.setMark(pair.section(u'=', 0, 0).toInt(), pair.section(u'=', 1));
        // The window gave the board its focus; Tab brings it back after it went elsewhere.
        f.canvas()->clearFocus();
        f.canvas()->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(f.canvas()->hasFocus());
        QCOMPARE(f.b.gblidx(), 101);
        for (const QString& k : keys)
            f.act(k);
        for (const QString& pair : after.split(u';', Qt::SkipEmptyParts))
            QCOMPARE(f.b.cell(pair.section(u'=', 0, 0).toInt())->mark, pair.section(u'=', 1));
        // The cursor cell shows what a pointer on it would.
        QCOMPARE(f.b.gblidx(), hovered);
        QCOMPARE(f.b.cell(hovered)->borderStyle, 1);
        QCOMPARE(f.m.ui.element(Element::CallText).caption, f.b.cell(hovered)->callInfo);
        QCOMPARE(f.b.band().visible, bandShown);
        QCOMPARE(f.m.ui.element(Element::MarkedCount).caption,
                 QStringLiteral("%1 marked").arg(f.marked().size()));
        // Unmark All clears the count with the marks.
        f.m.ui.gesture(Element::Command2_2, MainWindowModel::Gesture::Click);
        QCOMPARE(f.m.ui.element(Element::MarkedCount).caption, QStringLiteral("0 marked"));
    }

    // An outer span label starts a band with any button, an inner one with the left only (a right press
    // there leaves the last anchor); the release over the board ends it there. A double click on either
    // asks for the group names.
    void bandsFromSpanLabels_data() {
        QTest::addColumn<bool>("outer");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<QStringList>("marked");
        QTest::newRow("outer, right button")
            << true << Qt::RightButton << QPointF(3100, 1500) << ids({307, 308});
        QTest::newRow("inner, left button")
            << false << Qt::LeftButton << QPointF(2145, 45) << ids({1, 101, 102, 103});
        QTest::newRow("inner, right button")
            << false << Qt::RightButton << QPointF(1900, 700) << ids({1, 101, 102, 201, 202});
    }
    void bandsFromSpanLabels() {
        QFETCH(bool, outer);
        QFETCH(Qt::MouseButton, button);
        QFETCH(QPointF, to);
        QFETCH(QStringList, marked);
        Board f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.view));
        const SpanLabel& label = outer ? f.b.outerLabel(2) : f.b.innerLabel(1);
        QVERIFY(label.exists && label.visible);
        const QPoint at = px(QPointF(label.rect.center()));
        const QPointF anchor = f.sel.anchor();
        QTest::mousePress(f.canvas(), button, {}, at);
        QCOMPARE(f.sel.anchor(), outer || button == Qt::LeftButton ? QPointF(at * 15) : anchor);
        QTest::mouseMove(f.canvas(), px(to));
        QTest::mouseRelease(f.canvas(), button, {}, px(to));
        QCOMPARE(f.marked(), marked);
        QTest::mouseDClick(f.canvas(), Qt::LeftButton, {}, at);
        QCOMPARE(f.m.engine->commands(), QStringList{"DDDDD"});
    }
};

QTEST_MAIN(TestOperator)
#include "test_operator.moc"
