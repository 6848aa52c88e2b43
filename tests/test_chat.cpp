// The message broadcast window and what it is drawn from, through the real window (offscreen).

#include "support/ChannelBoard.h"
#include "support/RecordingLink.h"
#include "watchdogs/RelayWatchdog.h"
#include "windows/ChatLayout.h"
#include "windows/ChatModel.h"
#include "windows/ChatWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace corvane;

namespace {
// The relay watchdog tells when start-up is done; its clock never moves here, so it never pings.
struct Chat : test::ChannelBoardWithAlarms {
    Chat() {
        config.title = QStringLiteral("Plant");
        link.reset(std::unique_ptr<EngineLink>(engine));
    }
    test::RecordingLink* engine = new test::RecordingLink;
    RelayWatchdog relay{ui, config, clock, tones, link, board, alarms, {}, [] { return 1500; }};
    ChatModel model{ui, config, link, sounds, relay};
    ChatWindowHost host{model};
};
} // namespace

class TestChat : public QObject {
    Q_OBJECT
private slots:
    void linesArriveNewestFirstUnlessChatIsDisabled() {
        Chat c;
        QVERIFY(!c.host.window());
        c.ui.setMenuChecked(MenuItem::AllowSounds, true);
        c.model.receiveBroadcast(QStringLiteral("a"));
        QCOMPARE(c.tones.tones, (QList<QPair<int, int>>{{440, 50}, {622, 50}, {880, 50}}));
        c.model.receiveBroadcast(QStringLiteral("b"));
        QCOMPARE(c.model.received(), QStringLiteral("b\r\na\r\n"));
        ChatWindow* w = c.host.window();
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("Chat Plant"));
        QCOMPARE(w->receivedBox()->toPlainText(), QStringLiteral("b\na\n"));
        // What the operator types there changes nothing that a later line would throw away.
        QTest::keyClicks(w->receivedBox(), QStringLiteral("typed"));
        QCOMPARE(w->receivedBox()->toPlainText(), QStringLiteral("b\na\n"));
        // Text beyond ASCII is shown as it came.
        c.model.receiveBroadcast(QString::fromLatin1("caf\xe9"));
        QVERIFY(w->receivedBox()->toPlainText().startsWith(QString::fromLatin1("caf\xe9\n")));

        // "Disable chat" leaves an open window open; closed, it stores new lines without showing them.
        c.ui.trigger(MenuItem::DisableChat);
        QVERIFY(w->isVisible());
        QVERIFY(w->close());
        c.model.receiveBroadcast(QStringLiteral("quiet"));
        QCOMPARE(c.model.received(), QStringLiteral("quiet\r\n"));
        QVERIFY(c.host.window());
        QVERIFY(!c.host.window()->isVisible());
        c.ui.trigger(MenuItem::MegBst);
        QVERIFY(!c.host.window()->isVisible());
        c.ui.trigger(MenuItem::DisableChat);
        QVERIFY(!c.ui.isChecked(MenuItem::DisableChat));
        c.ui.trigger(MenuItem::MegBst);
        QVERIFY(c.host.window()->isVisible());
        QCOMPARE(c.host.window()->receivedBox()->toPlainText(), QStringLiteral("quiet\n"));
    }

    // The connected monitors are asked for when the window loads and whenever it is activated; the
    // list lands only once start-up is done. Enter sends the typed line, even an empty one.
    void asksForTheMonitorsAndSendsTheTypedLine() {
        Chat c;
        c.ui.trigger(MenuItem::MegBst);
        ChatWindow* w = c.host.window();
        QVERIFY(w);
        QCOMPARE(c.engine->commands(), QStringList{"!"});
        c.engine->sent.clear();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QCOMPARE(c.engine->commands(), QStringList{"!"});
        QVERIFY(w->toSendBox()->hasFocus());
        c.model.receiveConnected(QStringLiteral("EARLY"));
        QCOMPARE(w->monConnectedBox()->toPlainText(), QString());
        c.relay.completeBoard();
        c.model.receiveConnected(QStringLiteral("NORTH, SOUTH"));
        QCOMPARE(w->monConnectedBox()->toPlainText(), QStringLiteral("NORTH, SOUTH"));
        c.engine->sent.clear();
        QTest::keyClick(w->toSendBox(), Qt::Key_Return);
        QTest::keyClicks(w->toSendBox(), QStringLiteral("shift change at 6"));
        QTest::keyClick(w->toSendBox(), Qt::Key_Enter);
        QCOMPARE(c.engine->commands(), (QStringList{"@", "@shift change at 6"}));
        QCOMPARE(w->toSendBox()->text(), QString());
    }

    void copyClearAndClose() {
        Chat c;
        c.relay.completeBoard();
        c.model.receiveBroadcast(QStringLiteral("first"));
        c.model.receiveBroadcast(QStringLiteral("second"));
        c.model.receiveConnected(QStringLiteral("NORTH"));
        ChatWindow* w = c.host.window();
        QVERIFY(w);
        w->receivedBox()->selectAll();
        QApplication::clipboard()->clear();
        QTest::keyClick(w->receivedBox(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("second\r\nfirst\r\n"));
        QTest::mouseClick(w->clearButton(), Qt::LeftButton);
        QCOMPARE(c.model.received(), QString());
        QCOMPARE(w->receivedBox()->toPlainText(), QString());
        QCOMPARE(c.model.monConnected(), QStringLiteral("NORTH"));
        c.model.receiveBroadcast(QStringLiteral("two"));
        c.engine->sent.clear();
        // Closing unloads the window with its texts; the next use loads it again and asks again.
        QVERIFY(w->close());
        QVERIFY(!c.model.isLoaded());
        QCOMPARE(c.model.received(), QString());
        QCOMPARE(c.model.monConnected(), QString());
        QVERIFY(!c.host.window());
        c.model.receiveBroadcast(QStringLiteral("three"));
        QCOMPARE(c.engine->commands(), QStringList{"!"});
        QVERIFY(c.host.window());
        QCOMPARE(c.host.window()->receivedBox()->toPlainText(), QStringLiteral("three\n"));
    }

    // The boxes stretch and what stands right of or below them moves along; what would not stay
    // positive keeps its last value. The window applies the same rules to its controls.
    void resizeMovesAndStretches() {
        ChatLayout l;
        const ChatLayout d;
        const auto moved = [](QRect r, int dx, int dy, int dw, int dh) {
            return QRect(r.left() + dx, r.top() + dy, r.width() + dw, r.height() + dh);
        };
        l.resize(d.window + QSize(1000, 500));
        QCOMPARE(l.received, moved(d.received, 0, 0, 1000, 500));
        QCOMPARE(l.receivedLabel, d.receivedLabel);
        QCOMPARE(l.toSend, moved(d.toSend, 0, 500, 1000, 0));
        QCOMPARE(l.toSendLabel, moved(d.toSendLabel, 0, 500, 0, 0));
        QCOMPARE(l.monConnected, moved(d.monConnected, 1000, 0, 0, 500));
        QCOMPARE(l.monConnectedLabel, moved(d.monConnectedLabel, 1000, 0, 0, 0));
        QCOMPARE(l.clearButton, moved(d.clearButton, 1000, 0, 0, 0));
        l.resize(d.window - QSize(5000, 3000));
        QCOMPARE(l.received, moved(d.received, 0, 0, 1000, 500));
        QCOMPARE(l.toSend, moved(d.toSend, 0, -3000, 1000, 0));
        QCOMPARE(l.monConnected, moved(d.monConnected, -5000, 0, 0, 500));

        Chat c;
        c.ui.trigger(MenuItem::MegBst);
        ChatWindow* w = c.host.window();
        const QRect before = w->receivedBox()->geometry();
        const int clearBefore = w->clearButton()->x();
        w->resize(w->size() + QSize(100, 60));
        QCOMPARE(w->receivedBox()->geometry().size(), before.size() + QSize(100, 60));
        QCOMPARE(w->clearButton()->x(), clearBefore + 100);
    }
};

QTEST_MAIN(TestChat)
#include "test_chat.moc"
