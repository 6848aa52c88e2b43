// What a screen reader finds: the board's channel items, kept current while a reader listens, and the
// main window's indicators and buttons with names and their state in words.

#include "board/BoardAccessible.h"
#include "board/BoardView.h"
#include "operator/MainWindow.h"
#include "support/ChannelBoard.h"

#include <QAccessible>
#include <QtTest>
#include <memory>

using namespace corvane;

namespace {

// The item of a channel, found the way a reader walks the list (which makes every item before it).
QAccessibleInterface* walkTo(QAccessibleInterface* board, int id) {
    const QString prefix = QStringLiteral("Channel %1,").arg(id);
    for (int i = 0; i < board->childCount(); ++i)
        if (QAccessibleInterface* item = board->child(i);
            item && item->text(QAccessible::Name).startsWith(prefix))
            return item;
    return nullptr;
}

// The item of one channel alone, as a reader pointing at it makes it.
QAccessibleInterface* itemOf(QAccessibleInterface* board, int id) {
    auto* list = dynamic_cast<BoardAccessible*>(board);
    return list ? list->cellInterface(id) : nullptr;
}

// What a reader hears while it listens.
struct Listener {
    Listener() {
        setReaderChannel({[this] { return listening; },
                          [this](QAccessibleEvent* e) {
                              heard << qMakePair(e->type(),
                                                 e->accessibleInterface()
                                                     ? e->accessibleInterface()->text(QAccessible::Name)
                                                     : QString());
                          }});
    }
    ~Listener() { setReaderChannel({}); }
    bool listening = true;
    QList<QPair<QAccessible::Event, QString>> heard;
    int count(QAccessible::Event type) const {
        return static_cast<int>(
            std::count_if(heard.begin(), heard.end(), [type](const auto& h) { return h.first == type; }));
    }
};

} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
private slots:
    void boardItemsSayChannelStateMarkRouteAndCallInformation() {
        corvane::test::ChannelBoard f;
        for (const char* m : {"t101,1,1,0", "t106,1,2,0", "t107,2,4,0", "t301,5,9,0"})
            f.send(m);
        Listener reader;
        auto view = std::make_unique<BoardView>(f.board);
        view->resize(900, 300);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        QAccessibleInterface* board = QAccessible::queryAccessibleInterface(view->canvas());
        QVERIFY(board);
        QCOMPARE(board->role(), QAccessible::List);
        QCOMPARE(board->text(QAccessible::Name), QStringLiteral("Channel board"));
        // The template cell is no channel.
        QCOMPARE(board->childCount(), 4);

        // A listening reader hears of the changes of the items it has asked about, and only of those.
        QAccessibleInterface* red = itemOf(board, 301);
        QVERIFY(red);
        f.send("t301,5,10,0"); // red to green: the name changes, nothing else
        QCOMPARE(reader.count(QAccessible::NameChanged), 1);
        QCOMPARE(reader.heard.last().second, QStringLiteral("Channel 301, span 3 position 1: green, R side"));
        QCOMPARE(reader.count(QAccessible::DescriptionChanged), 0);
        f.send("t301,5,10,0"); // the same report again says nothing new
        QCOMPARE(reader.heard.size(), 1);
        f.board.setMark(301, QStringLiteral("X"));
        QCOMPARE(reader.count(QAccessible::StateChanged), 1);
        f.send("c301 ALERTING");
        QCOMPARE(reader.count(QAccessible::DescriptionChanged), 1);
        // A route, and its end.
        QAccessibleInterface* other = itemOf(board, 107);
        reader.heard.clear();
        f.send("t107,2,4,301");
        QCOMPARE(reader.count(QAccessible::DescriptionChanged), 1);
        QCOMPARE(reader.heard.last().second, other->text(QAccessible::Name));
        QVERIFY(other->text(QAccessible::Description).startsWith(QStringLiteral("connected to 301")));
        f.send("t107,2,4,0");
        QCOMPARE(reader.count(QAccessible::DescriptionChanged), 2);
        QVERIFY(other->text(QAccessible::Description).startsWith(QStringLiteral("not connected")));
        reader.heard.clear();
        f.send("t101,1,4,0"); // no item asked for
        QCOMPARE(reader.heard.size(), 0);
        reader.listening = false;
        f.send("t301,5,9,0");
        f.board.setMark(301, QString());
        QCOMPARE(reader.heard.size(), 0);
        // Once a reader listens again, the next change tells everything since.
        reader.listening = true;
        f.send("t301,5,9,0");
        QCOMPARE(reader.count(QAccessible::NameChanged), 1);
        QCOMPARE(reader.count(QAccessible::StateChanged), 1);

        // The items say the channel's state, side, mark, route and call information, and answer afresh.
        QCOMPARE(walkTo(board, 301), red);
        QCOMPARE(red->role(), QAccessible::ListItem);
        QCOMPARE(red->text(QAccessible::Name), QStringLiteral("Channel 301, span 3 position 1: red, R side"));
        QVERIFY(red->text(QAccessible::Description).startsWith(QStringLiteral("not connected; group 5")));
        QCOMPARE(itemOf(board, 106)->text(QAccessible::Name),
                 QStringLiteral("Channel 106, span 1 position 6: green, O side"));
        QCOMPARE(itemOf(board, 107)->text(QAccessible::Name),
                 QStringLiteral("Channel 107, span 1 position 7: blue, O side"));
        f.board.setMark(301, QStringLiteral("X"));
        QVERIFY(red->text(QAccessible::Name).endsWith(QStringLiteral(", marked")));
        QVERIFY(red->state().selectable);
        QVERIFY(red->state().selected);
        QCOMPARE(board->text(QAccessible::Description), QStringLiteral("4 channels, 1 marked"));
        f.send("t106,1,2,1207");
        QAccessibleInterface* routed = itemOf(board, 106);
        QVERIFY(routed->text(QAccessible::Description).startsWith(QStringLiteral("connected to 1207")));
        f.send("c106 ALERTING 5551234");
        QVERIFY(routed->text(QAccessible::Description)
                    .endsWith(QStringLiteral("call information: 106 ALERTING 5551234")));
        f.send("c101 Blocked by the operator");
        QVERIFY(itemOf(board, 101)->text(QAccessible::Name).endsWith(QStringLiteral(", blocked")));
        QVERIFY(!itemOf(board, 101)->state().selected);
        // The peer created by the route is an item too.
        QCOMPARE(board->childCount(), 5);
        QVERIFY(walkTo(board, 1207));

        // Walking back and pointing find the same items.
        for (int i = 0; i < board->childCount(); ++i)
            QCOMPARE(board->indexOfChild(board->child(i)), i);
        QCOMPARE(red->parent(), board);
        const QPoint centre = red->rect().center();
        QVERIFY(view->canvas()->rect().contains(view->canvas()->mapFromGlobal(centre)));
        QCOMPARE(board->childAt(centre.x(), centre.y()), red);
        QVERIFY(!red->state().invisible);
        QVERIFY(!red->state().offscreen);
        QCOMPARE(board->child(board->childCount()), nullptr);
        QCOMPARE(board->child(-1), nullptr);

        // The items end with the board, and later reports reach none.
        const QAccessible::Id id = QAccessible::uniqueId(red);
        view.reset();
        QCOMPARE(QAccessible::accessibleInterface(id), nullptr);
        reader.heard.clear();
        f.send("t101,1,2,0");
        QCOMPARE(reader.heard.size(), 0);
    }

    void indicatorsAndButtonsHaveNamesAndTheirStateInWords() {
        corvane::test::ChannelBoard b;
        MainWindowModel& ui = b.ui;
        MonitorMain window(ui);
        window.setElementWidget(Element::Picture1, new BoardView(b.board));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto iface = [&](Element e) {
            return QAccessible::queryAccessibleInterface(window.elementWidget(e));
        };
        QCOMPARE(iface(Element::AckLbl)->text(QAccessible::Name), QStringLiteral("Acknowledgement"));
        ui.setBack(Element::AckLbl, kGreen);
        QCOMPARE(iface(Element::AckLbl)->text(QAccessible::Description), QStringLiteral("green"));
        // A colour without a name by its value, red first as a reader of #rrggbb expects.
        ui.setCaption(Element::AckLbl, QStringLiteral("W"));
        ui.setBack(Element::AckLbl, 0x123456);
        QCOMPARE(iface(Element::AckLbl)->text(QAccessible::Description), QStringLiteral("W, #563412"));

        // The watchdog bar's state is its length and colour.
        QRect bar = ui.element(Element::WD_Back).twips;
        bar.setWidth(bar.width() / 4);
        ui.setGeometry(Element::WD_Progress, bar);
        ui.setBack(Element::WD_Progress, kRed);
        QCOMPARE(iface(Element::WD_Progress)->text(QAccessible::Description),
                 QStringLiteral("25 percent, red"));

        // The board in its place, and the call information line.
        QCOMPARE(iface(Element::Picture1)->text(QAccessible::Name), QStringLiteral("Channel board"));
        ui.setCaption(Element::CallText, QStringLiteral("305 ALERTING"));
        QVERIFY(iface(Element::CallText)
                    ->text(QAccessible::Description)
                    .startsWith(QStringLiteral("305 ALERTING")));
    }
};

QTEST_MAIN(AccessibilityTest)
#include "test_accessibility.moc"
