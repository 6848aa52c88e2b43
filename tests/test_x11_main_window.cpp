// The main window on a real X server, with real pointer and key events: its layout, its model, a live
// monitor's board and controls, a switch as large as operators run, and the real program's splash.

#include "app/IniFile.h"
#include "app/Monitor.h"
#include "app/Startup.h"
#include "board/BoardAccessible.h"
#include "board/BoardModel.h"
#include "board/BoardView.h"
#include "operator/MainWindow.h"
#include "stats/Statistics.h"
#include "support/LiveMonitor.h"
#include "support/ManualClock.h"
#include "support/TestMonitor.h"
#include "support/XDesktop.h"
#include "support/XInput.h"
#include "watchdogs/RelayWatchdog.h"
#include "windows/AboutBox.h"
#include "windows/CallDetail.h"
#include "windows/CallDetailWindow.h"
#include "windows/SplashWindow.h"
#include "windows/StatsWindow.h"

#include <X11/keysym.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleHints>
#include <QTabBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>
#include <csignal>
#include <memory>

using namespace corvane;
using Gesture = MainWindowModel::Gesture;

namespace {

struct Window {
    Window() : window(model) {
        window.show();
        window.activateWindow();
    }
    // Shown, and laid out for the size its client area has.
    bool ready() {
        return QTest::qWaitForWindowExposed(&window) && QTest::qWaitFor([this] { return settled(); });
    }
    QRect px(const QRect& twips) const { return twipsToPixels(twips, window.logicalDpi()); }
    // An element's rectangle in client-area pixels, wherever it sits.
    QRect onClient(Element e) const {
        QWidget* w = window.elementWidget(e);
        return QRect(w->mapTo(window.clientArea(), QPoint(0, 0)), w->size());
    }
    // The size the client area has when the model's resize steps have run for it.
    bool settled() const {
        const QSize client = window.clientArea()->size();
        return model.clientSize() ==
               QSize(static_cast<int>(std::lround(pixelsToTwips(client.width(), window.logicalDpi()))),
                     static_cast<int>(std::lround(pixelsToTwips(client.height(), window.logicalDpi()))));
    }
    MainWindowModel model;
    MonitorMain window;
};

// A live monitor's board in a real main window, with the simulated engine behind it and real input.
struct LiveBoard {
    bool start() {
        if (!input.ok() || !rig.start(true))
            return false;
        window = std::make_unique<MonitorMain>(rig.monitor->ui());
        view = new BoardView(board());
        window->setElementWidget(Element::Picture1, view);
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get()) &&
               QTest::qWaitFor([this] { return board().cellIds().size() >= 3; }, 20000);
    }
    BoardModel& board() const { return rig.monitor->board(); }
    QPoint onScreen(const QRect& twips) const {
        return view->canvas()->mapToGlobal(view->canvas()->toPixels(twips).center());
    }
    // "E&xclude", clicked or by its access key: the channels the engine is then asked to exclude.
    QList<int> exclude(int lastId, bool byKey = false) {
        const qsizetype mark = rig.sim.lines().size();
        QWidget* button = window->elementWidget(Element::Command2_0);
        if (byKey)
            input.type(XK_x, {XK_Alt_L});
        else
            input.click(button->mapToGlobal(button->rect().center()));
        const QString letter =
            rig.monitor->ui().element(Element::Truncate).checked ? QStringLiteral("X") : QStringLiteral("Y");
        QList<int> ids;
        if (rig.sim.waitForCommand(letter + QStringLiteral("%1").arg(lastId, 4, 10, QLatin1Char('0')), 10000,
                                   mark))
            for (const test::SimCommand& c : rig.sim.commands(mark))
                ids << (c.text.startsWith(letter) ? c.text.mid(1).toInt() : -1);
        return ids;
    }
    test::XInput input;
    test::LiveMonitor rig;
    std::unique_ptr<MonitorMain> window;
    BoardView* view = nullptr;
};

// An engine that hears the monitor's commands and never answers them; its port fits the setting's 16 bits.
struct SilentEngine {
    explicit SilentEngine(bool tcp) {
        for (int tries = 0; tries < 200 && port == 0; ++tries) {
            const auto p = static_cast<quint16>(21000 + QRandomGenerator::global()->bounded(11000));
            if (tcp ? server.listen(QHostAddress::LocalHost, p) : udp.bind(QHostAddress::LocalHost, p))
                port = p;
        }
        QObject::connect(&udp, &QUdpSocket::readyRead, [this] {
            while (udp.hasPendingDatagrams())
                hear(udp.receiveDatagram().data() + '|');
        });
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server.nextPendingConnection())
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { hear(s->readAll()); });
        });
    }
    void hear(const QByteArray& bytes) {
        // The program is held where it was when it sent its first command, until it is let go on.
        if (heard.isEmpty() && freeze > 0)
            ::kill(static_cast<pid_t>(freeze), SIGSTOP);
        heard += bytes;
    }
    QUdpSocket udp;
    QTcpServer server;
    quint16 port = 0;
    qint64 freeze = 0; // the process stopped at the first command
    QByteArray heard;  // every command, each ended by "|"
};

// A monitor.ini in `dir` with these lines; its path, or nothing when it cannot be written.
QString writeIni(const QTemporaryDir& dir, const QByteArray& lines) {
    QFile ini(dir.filePath(QStringLiteral("monitor.ini")));
    return ini.open(QIODevice::WriteOnly) && ini.write(lines) == lines.size() ? ini.fileName() : QString();
}

// The colour the X server shows at a point of the screen.
QColor screenPixel(QPoint at) {
    return QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixelColor(0, 0);
}

bool near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) <= 24 && std::abs(qGreen(a) - qGreen(b)) <= 24 &&
           std::abs(qBlue(a) - qBlue(b)) <= 24;
}

} // namespace

class MainWindowX11Test : public QObject {
    Q_OBJECT
private slots:
    // Opened, or resized by the user or the model: only the board, the alarm list and the lines below
    // them stretch, and the window keeps to the screen's work area.
    void theLayoutFollowsTheWindowSize_data() {
        QTest::addColumn<QSize>("dragged"); // the window size the user gives it, in pixels
        QTest::addColumn<QSize>("wanted");  // or the client size the model asks for, in twips
        QTest::newRow("as it opens") << QSize() << QSize();
        QTest::newRow("the user enlarges it") << QSize(800, 700) << QSize();
        QTest::newRow("the user makes it lower than the board") << QSize(200, 150) << QSize();
        QTest::newRow("the model asks for what fits") << QSize() << QSize(13275, 6000);
        QTest::newRow("the model asks for more than the screen's height") << QSize() << QSize(13275, 90000);
        QTest::newRow("the model asks for more than the screen") << QSize() << QSize(60000, 90000);
    }
    void theLayoutFollowsTheWindowSize() {
        QFETCH(QSize, dragged);
        QFETCH(QSize, wanted);
        Window w;
        QVERIFY(w.ready());
        w.model.setCurrentTab(1);
        const Element fixed[] = {Element::TCP,      Element::AckLbl,      Element::Command2_1,
                                 Element::Truncate, Element::Label4,      Element::BoxClock,
                                 Element::Command1, Element::MaxListCount};
        QList<QRect> before;
        for (Element e : fixed)
            before << w.onClient(e);
        const int boardHeight = w.window.elementWidget(Element::Picture1)->height();
        if (dragged.isValid()) {
            w.window.resize(dragged);
            QTRY_COMPARE(w.window.height(), dragged.height());
        } else if (wanted.isValid()) {
            w.model.setClientSize(wanted);
            const QRect avail = w.window.screen()->availableGeometry();
            const QSize wantedPx = w.px(QRect(QPoint(0, 0), wanted)).size();
            if (wantedPx.height() < avail.height() / 2) {
                QTRY_COMPARE(w.window.clientArea()->size(), wantedPx);
            } else {
                // Kept to the screen's work area; the model lays out what the window really has.
                QTRY_VERIFY(w.window.clientArea()->height() < wantedPx.height());
                QTRY_VERIFY(avail.contains(w.window.frameGeometry()));
            }
        } else {
            QCOMPARE(w.model.clientSize(), QSize(10275, 8865));
        }
        QTRY_VERIFY(w.settled());
        const QSize client = w.model.clientSize();
        const int strip = w.model.tabStripHeight();
        QVERIFY(std::abs(w.px(QRect(0, 0, 1, strip)).height() - w.window.tabControl()->tabBar()->height()) <=
                3);
        QCOMPARE(w.onClient(Element::SSTab1), w.px(QRect(0, 500, client.width(), client.height() - 400)));
        const QRect board(100, strip + 500, client.width() - 500, client.height() - 1610 - strip);
        if (board.height() >= 0)
            QCOMPARE(w.model.element(Element::Picture1).twips, board);
        else
            QCOMPARE(w.window.elementWidget(Element::Picture1)->height(), boardHeight);
        QCOMPARE(w.model.element(Element::AlarmsList).twips,
                 QRect(240, 840, client.width() - 500, client.height() - 1150 - strip));
        QCOMPARE(w.model.element(Element::CallText).twips,
                 QRect(360, client.height() - 1110, client.width() - 600, 255));
        QCOMPARE(w.model.element(Element::LastAlarm).twips,
                 QRect(360, client.height() - 755, client.width() - 600, 250));
        // The top strip counts from the client area's corner, tab elements from the tab control's.
        for (Element e : {Element::Repl, Element::PendingLbl, Element::lblVersion, Element::FreeVox})
            QCOMPARE(w.onClient(e), w.px(w.model.element(e).twips));
        const QPoint tabCorner = w.onClient(Element::SSTab1).topLeft();
        for (Element e : {Element::Picture1, Element::AlarmsList, Element::CallText, Element::Command2_0})
            QCOMPARE(w.onClient(e).translated(-tabCorner), w.px(w.model.element(e).twips));
        for (qsizetype i = 0; i < before.size(); ++i)
            QCOMPARE(w.onClient(fixed[i]), before.at(i));
        QCOMPARE(w.window.tabControl()->currentIndex(), 1);
        if (dragged.isValid() || wanted.isValid())
            return;
        // A screenshot to look at, the acknowledgement label in its green.
        w.model.setCurrentTab(0);
        w.model.setBack(Element::AckLbl, kGreen);
        w.model.setCaption(Element::AckLbl, QStringLiteral("S"));
        const QImage shot = w.window.grab().toImage();
        const QRect ack = w.onClient(Element::AckLbl).translated(w.window.clientArea()->pos());
        QCOMPARE(QColor(shot.pixel(ack.left() + 2, ack.bottom() - 2)), QColor(0, 255, 0));
        const QString dir = qEnvironmentVariable("CORVANE_SCREENSHOT_DIR", QDir::tempPath());
        QVERIFY(shot.save(dir + QStringLiteral("/corvane-main-window.png")));
    }

    void widgetsAndMenusFollowTheModelAndGesturesReachIt() {
        Window w;
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.model.setCaption(Element::LastAlarm, QStringLiteral("<b>not markup</b> & more"));
        auto* last = qobject_cast<QLabel*>(w.window.elementWidget(Element::LastAlarm));
        QVERIFY(last);
        QCOMPARE(last->text(), QStringLiteral("<b>not markup</b> & more"));
        QCOMPARE(last->textFormat(), Qt::PlainText);
        w.model.setBack(Element::AckLbl, kGreen);
        w.model.setFore(Element::AckLbl, kRed);
        QWidget* ack = w.window.elementWidget(Element::AckLbl);
        QCOMPARE(ack->palette().color(QPalette::Window), QColor(0, 255, 0));
        QCOMPARE(ack->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        QVERIFY(ack->autoFillBackground());
        w.model.setBack(Element::AckLbl, std::nullopt);
        QVERIFY(!ack->autoFillBackground());
        QVERIFY(!w.window.elementWidget(Element::BoxClock)->isVisible());
        w.model.setVisible(Element::BoxClock, true);
        QVERIFY(w.window.elementWidget(Element::BoxClock)->isVisible());
        w.model.setToolTip(Element::Repl, QStringLiteral("replication"));
        QCOMPARE(w.window.elementWidget(Element::Repl)->toolTip(), QStringLiteral("replication"));
        w.model.setGeometry(Element::WD_Progress, QRect(2160, 45, 300, 270));
        QCOMPARE(w.window.elementWidget(Element::WD_Progress)->width(),
                 w.px(QRect(2160, 45, 300, 270)).width());
        w.model.setWindowCaption(QStringLiteral("North"));
        QCOMPARE(w.window.windowTitle(), QStringLiteral("North"));
        w.model.setCurrentTab(1);
        QCOMPARE(w.window.tabControl()->currentIndex(), 1);
        w.window.tabControl()->setCurrentIndex(0);
        QCOMPARE(w.model.currentTab(), 0);

        // The menu items' state; the action decides the check mark, not the menu's own toggling.
        QAction* routes = w.window.menuAction(MenuItem::ShowRouteLines);
        QVERIFY(routes->isChecked());
        QVERIFY(!w.window.menuAction(MenuItem::PromptAddresses)->isEnabled());
        int runs = 0;
        w.model.setMenuAction(MenuItem::ShowRouteLines, [&] { ++runs; });
        routes->trigger();
        QCOMPARE(runs, 1);
        QVERIFY(routes->isChecked());
        w.model.setMenuAction(MenuItem::ShowRouteLines, [&] {
            ++runs;
            w.model.setMenuChecked(MenuItem::ShowRouteLines, false);
        });
        routes->trigger();
        QCOMPARE(runs, 2);
        QVERIFY(!routes->isChecked());
        w.model.setMenuEnabled(MenuItem::PromptAddresses, true);
        QVERIFY(w.window.menuAction(MenuItem::PromptAddresses)->isEnabled());

        // A supplied view takes its element's place and follows its size.
        QPointer<QWidget> standIn = w.window.elementWidget(Element::Picture1);
        auto* view = new QLabel(QStringLiteral("board"));
        w.window.setElementWidget(Element::Picture1, view);
        QCOMPARE(view->parentWidget(), w.window.tabControl()->widget(0));
        QTRY_VERIFY(!standIn);
        QCOMPARE(view->size(), w.px(w.model.element(Element::Picture1).twips).size());
        QVERIFY(view->isVisible());
        w.model.setClientSize(QSize(12000, 9000));
        QTRY_COMPARE(view->size(), w.px(w.model.element(Element::Picture1).twips).size());

        // And the other way: the window's gestures reach the model.
        QStringList seen;
        const auto record = [&](Element e, Gesture g, const char* what) {
            w.model.setElementAction(e, g, [&seen, what] { seen << QString::fromLatin1(what); });
        };
        record(Element::SSTab1, Gesture::DoubleClick, "tab double-click");
        record(Element::LastAlarm, Gesture::DoubleClick, "last alarm double-click");
        record(Element::AckLbl, Gesture::Click, "ack click");
        QTabBar* strip = w.window.tabControl()->tabBar();
        QTest::mouseDClick(strip, Qt::LeftButton, {}, strip->tabRect(0).center());
        QTest::mouseDClick(w.window.elementWidget(Element::LastAlarm), Qt::LeftButton);
        QTest::mouseClick(w.window.elementWidget(Element::AckLbl), Qt::LeftButton);
        QCOMPARE(seen, (QStringList{QStringLiteral("tab double-click"),
                                    QStringLiteral("last alarm double-click"), QStringLiteral("ack click")}));
        // The check box's click runs once its new state is in the model.
        bool checkedWhenClicked = true;
        w.model.setElementAction(Element::Truncate, Gesture::Click,
                                 [&] { checkedWhenClicked = w.model.element(Element::Truncate).checked; });
        QTest::mouseClick(w.window.elementWidget(Element::Truncate), Qt::LeftButton);
        QVERIFY(!checkedWhenClicked);
        QVERIFY(!qobject_cast<QCheckBox*>(w.window.elementWidget(Element::Truncate))->isChecked());

        // A raise restores a minimised window; closing it is reported.
        w.window.showMinimized();
        w.model.requestRaise();
        QVERIFY(!(w.window.windowState() & Qt::WindowMinimized));
        QVERIFY(w.window.isVisible());
        QSignalSpy closed(&w.window, &MonitorMain::closed);
        w.window.close();
        QCOMPARE(closed.size(), 1);
    }

    // Real clicks on cells, then "E&xclude": two clicks on a cell undo each other however fast they
    // come, also when the window system makes a double click of them.
    void clicksOnCellsReachTheEngine_data() {
        QTest::addColumn<int>("pauseMs"); // between the two clicks on the first cell
        QTest::newRow("slow pair") << QGuiApplication::styleHints()->mouseDoubleClickInterval() + 200;
        QTest::newRow("fast pair") << 0;
    }
    void clicksOnCellsReachTheEngine() {
        QFETCH(int, pauseMs);
        LiveBoard live;
        QVERIFY2(live.start(), "needs an X server with the test extension and the simulated engine");
        test::XInput& pointer = live.input;
        BoardModel& board = live.board();
        const std::vector<int> ids = board.cellIds();
        const int twice = ids.at(1);
        const int once = ids.at(2);

        // The hover highlight stays over a button of the tab page and goes on the page itself.
        pointer.moveTo(live.onScreen(board.cell(once)->stateRect));
        QTRY_COMPARE(board.gblidx(), once);
        QWidget* unmark = live.window->elementWidget(Element::Command2_2);
        pointer.moveTo(unmark->mapToGlobal(unmark->rect().center()));
        QTest::qWait(50);
        QCOMPARE(board.gblidx(), once);
        QWidget* page = live.window->tabControl()->currentWidget();
        pointer.moveTo(page->mapToGlobal(QPoint(page->width() - 5, 5)));
        QTRY_COMPARE(board.gblidx(), 0);
        QCOMPARE(board.cell(once)->borderStyle, board.normalBorderStyle());

        pointer.click(live.onScreen(board.cell(twice)->stateRect));
        if (pauseMs > 0) {
            QTRY_COMPARE(board.cell(twice)->mark, QStringLiteral("X"));
            QTest::qWait(pauseMs);
        }
        pointer.click(live.onScreen(board.cell(twice)->stateRect));
        // Far from the first cell, so that these clicks make no double click with those.
        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 200);
        pointer.click(live.onScreen(board.cell(once)->stateRect));
        QTRY_COMPARE(board.cell(once)->mark, QStringLiteral("X"));
        QCOMPARE(board.cell(twice)->mark, QString());
        // The batch goes in ascending id order: the first cell would have come before.
        QCOMPARE(live.exclude(once), QList<int>{once});
    }

    // A real drag of a cell: the pointer carries the cell's 32 x 32 picture, the band's corner follows
    // the pointer over the board and over a span label, and only a drop on the cell itself toggles it.
    void aDraggedCellCarriesItsPictureAndTheBand_data() {
        QTest::addColumn<QString>("dropOn");
        QTest::newRow("the cell itself") << QStringLiteral("cell");
        QTest::newRow("another cell") << QStringLiteral("other");
        QTest::newRow("a span label") << QStringLiteral("label");
    }
    void aDraggedCellCarriesItsPictureAndTheBand() {
        QFETCH(QString, dropOn);
        LiveBoard live;
        QVERIFY2(live.start(), "needs an X server with the test extension and the simulated engine");
        test::XInput& pointer = live.input;
        BoardModel& board = live.board();
        const std::vector<int> ids = board.cellIds();
        const int dragged = ids.at(1);
        const int other = ids.at(2);
        const QRect label = board.innerLabel(1).rect;
        QCOMPARE(board.hitTest(QPointF(label.center())).kind, BoardHit::Kind::InnerLabel);
        const QRect below(board.extent().left() + 300, board.extent().bottom() + 150, 1, 1);
        QCOMPARE(board.hitTest(QPointF(below.topLeft())).kind, BoardHit::Kind::Background);
        const QColor state = toQColor(board.cell(dragged)->stateColor);
        const auto carriesPicture = [&] {
            const QImage now = pointer.cursorImage();
            return now.size() == QSize(32, 32) && QColor(now.pixel(16, 16)) == state;
        };

        pointer.moveTo(live.onScreen(board.cell(dragged)->stateRect));
        QTRY_COMPARE(board.gblidx(), dragged);
        QVERIFY(!carriesPicture());
        pointer.press();
        // A failure mid-drag must not leave the button held for the tests after this one.
        auto letGo = qScopeGuard([&pointer] { pointer.release(); });
        QTRY_VERIFY(carriesPicture());
        // Over the background the rectangle keeps its design size.
        QCOMPARE(board.band().width, 1080.0);
        // Twips of one pixel and a little: where the band's corner may be from the pointer.
        const double slack = 2 * 1440.0 / live.view->canvas()->dpi();
        for (const QRect& over : {below, label}) {
            const QPoint at = live.onScreen(over);
            pointer.moveTo(at - QPoint(4, 0));
            pointer.moveTo(at);
            const QPointF expected =
                live.view->canvas()->toTwips(QPointF(live.view->canvas()->mapFromGlobal(at)));
            QTRY_VERIFY(board.band().visible && std::abs(board.band().left - expected.x()) <= slack &&
                        std::abs(board.band().top - expected.y()) <= slack);
            QVERIFY(carriesPicture());
        }

        const QRect target = dropOn == QLatin1String("cell")    ? board.cell(dragged)->stateRect
                             : dropOn == QLatin1String("other") ? board.cell(other)->stateRect
                                                                : label;
        pointer.moveTo(live.onScreen(target));
        // Over a cell the drag shows no rectangle.
        if (dropOn != QLatin1String("label"))
            QTRY_VERIFY(!board.band().visible);
        letGo.dismiss();
        pointer.release();
        QTRY_VERIFY(!carriesPicture());
        QTRY_VERIFY(!board.band().visible);
        const bool toggled = dropOn == QLatin1String("cell");
        QTRY_COMPARE(board.cell(dragged)->mark, toggled ? QStringLiteral("X") : QString());
        QCOMPARE(board.cell(other)->mark, QString());
        if (toggled)
            QCOMPARE(live.exclude(dragged), QList<int>{dragged});
    }

    // The real program, stopped at its first command to a silent engine, shows its splash painted; a
    // real click on CANCEL ends the start-up at once.
    void splashIsPaintedAndCancelEndsTheStartUp_data() {
        QTest::addColumn<bool>("tcp");
        QTest::newRow("UDP") << false;
        QTest::newRow("TCP") << true;
    }
    void splashIsPaintedAndCancelEndsTheStartUp() {
        QFETCH(bool, tcp);
        test::XInput pointer;
        QVERIFY2(pointer.ok(), "needs an X server with the test extension");
        SilentEngine engine(tcp);
        QVERIFY(engine.port != 0);
        QTemporaryDir dir;
        const QString ini =
            writeIni(dir, "ENG_LOC_IP, \"127.0.0.1\"\r\nMON_PORT, 0\r\nENG_LOC_PORT, " +
                              QByteArray::number(engine.port) + "\r\n" + (tcp ? "TCP, 1\r\n" : ""));
        QVERIFY(!ini.isEmpty());
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(CORVANE_MONITOR), {ini});
        QVERIFY(program.waitForStarted());
        engine.freeze = program.processId();
        auto letGo = qScopeGuard([&program] { ::kill(static_cast<pid_t>(program.processId()), SIGCONT); });
        QTRY_VERIFY_WITH_TIMEOUT(engine.heard.startsWith('$'), 20000);

        const test::XDesktop desktop;
        const unsigned splash = desktop.viewableWindow(program.processId(), AboutBox::titleText().toUtf8());
        QVERIFY2(splash != 0, "the splash is on the screen");
        const QImage shown = QGuiApplication::primaryScreen()->grabWindow(splash).toImage().convertToFormat(
            QImage::Format_RGB32);
        // What the splash draws at that size, painted here.
        test::ManualClock clock;
        SplashWindow expected(clock);
        expected.resize(shown.size());
        const QImage drawn = expected.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(drawn.size(), shown.size());
        const QRect title(expected.lblProductName->mapTo(&expected, QPoint(0, 0)),
                          expected.lblProductName->size());
        const QRgb back = drawn.pixel(title.topLeft());
        int ink = 0;
        int same = 0;
        for (int y = title.top(); y <= title.bottom(); ++y) {
            for (int x = title.left(); x <= title.right(); ++x) {
                ink += near(drawn.pixel(x, y), back) ? 0 : 1;
                same += near(drawn.pixel(x, y), shown.pixel(x, y)) ? 1 : 0;
            }
        }
        QVERIFY2(ink > 50, "the title is drawn in the label");
        QVERIFY2(same >= title.width() * title.height() * 95 / 100, qPrintable(QString::number(same)));

        letGo.dismiss();
        QCOMPARE(::kill(static_cast<pid_t>(program.processId()), SIGCONT), 0);
        const QRect cancel(expected.Command1->mapTo(&expected, QPoint(0, 0)), expected.Command1->size());
        pointer.click(desktop.windowPosition(splash) + cancel.center());
        QVERIFY(program.waitForFinished(3000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        // Both waits would have held the start-up for seconds more before the last request.
        QVERIFY2(!engine.heard.contains("UUUUU"), engine.heard.constData());
    }

    // The zoom of the program's file, then Ctrl with the real keys "0", "+" (Shift "="), "=", keypad "+" and
    // "-", and "-".
    void zoomKeysScaleTheBoardAndTheSettingFollows() {
        test::XInput input;
        QVERIFY2(input.ok(), "needs an X server with the test extension");
        QTemporaryDir dir;
        QVERIFY(
            !writeIni(dir, "ENG_LOC_IP, \"127.0.0.1\"\r\nENG_LOC_PORT, 9\r\nBOARD_ZOOM, 150\r\n").isEmpty());
        test::TestPlatform services;
        Startup startup(services.platform, dir.path(), QStringLiteral("desk"));
        startup.quit = [](int) {};
        QVERIFY(test::runStartup(startup, services.clock, QString()));
        MonitorMain* window = startup.window();
        auto* view = qobject_cast<BoardView*>(window->elementWidget(Element::Picture1));
        QVERIFY(view);
        BoardCanvas* canvas = view->canvas();
        QCOMPARE(canvas->zoom(), 1.5);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        const std::tuple<std::uint32_t, bool, double> steps[] = {
            {XK_0, false, 1.0},      {XK_equal, true, 1.1},         {XK_equal, false, 1.25},
            {XK_KP_Add, false, 1.5}, {XK_KP_Subtract, false, 1.25}, {XK_minus, false, 1.1}};
        for (const auto& [key, shifted, zoom] : steps) {
            if (shifted)
                input.type(key, {XK_Control_L, XK_Shift_L});
            else
                input.type(key, {XK_Control_L});
            QTRY_COMPARE(canvas->zoom(), zoom);
        }
        // "Make ini file" keeps the zoom last chosen.
        QVERIFY(ini::content(startup.config(), {}).contains("\r\nBOARD_ZOOM, 110\r\n"));
    }

    // The keyboard alone: Tab reaches the board, arrows move its cursor, Space and Shift mark, an access
    // key sends; a reader hears each cell.
    void keyboardAloneMarksAndExcludes() {
        QStringList heard;
        setReaderChannel({[] { return true; },
                          [&heard](QAccessibleEvent* e) {
                              if (e->type() == QAccessible::Focus && e->accessibleInterface())
                                  heard << e->accessibleInterface()->text(QAccessible::Name);
                          }});
        const auto quiet = qScopeGuard([] { setReaderChannel({}); });
        LiveBoard live;
        QVERIFY2(live.start(), "needs an X server with the test extension and the simulated engine");
        BoardModel& board = live.board();
        const auto shown = [&](int id) { return board.cell(id) && board.cell(id)->stateVisible; };
        QTRY_VERIFY_WITH_TIMEOUT(shown(101) && shown(102) && shown(202) && shown(203), 20000);
        BoardCanvas* canvas = live.view->canvas();
        const auto framed = [&](int id) {
            const QImage shot = canvas->grab().toImage();
            const QRect r = canvas->toPixels(board.cell(id)->back);
            const qreal ratio = shot.devicePixelRatio();
            return shot.pixelColor(QPoint(r.left(), r.top()) * ratio) == QColor(Qt::black) &&
                   shot.pixelColor(QPoint(r.left() + 1, r.top() + 1) * ratio) == QColor(Qt::white);
        };
        const auto press = [&](std::uint32_t key, std::initializer_list<std::uint32_t> modifiers = {}) {
            live.input.type(key, modifiers);
            QVERIFY(live.input.ok());
        };

        // Tab goes through the buttons and then to the board.
        QWidget* before = nullptr;
        for (int tabs = 0; tabs < 15 && QApplication::focusWidget() != canvas; ++tabs) {
            before = QApplication::focusWidget();
            press(XK_Tab);
            QTRY_VERIFY(QApplication::focusWidget() != before);
        }
        QCOMPARE(QApplication::focusWidget(), canvas);
        QCOMPARE(before, live.window->elementWidget(Element::StatsButton));
        // The cursor starts on the first cell of the top row, framed, and shows its call information.
        QTRY_VERIFY(framed(101));
        QCOMPARE(board.gblidx(), 101);
        QTRY_VERIFY(!heard.isEmpty());
        QVERIFY2(heard.last().startsWith(QStringLiteral("Channel 101, span 1 position 1")),
                 qPrintable(heard.last()));
        press(XK_Right);
        QTRY_COMPARE(board.gblidx(), 102);
        QCOMPARE(live.rig.monitor->ui().element(Element::CallText).caption, board.cell(102)->callInfo);
        press(XK_space);
        QTRY_VERIFY(board.cell(102)->isMarked());
        press(XK_Down);
        QTRY_COMPARE(board.gblidx(), 202);
        QVERIFY(!board.cell(202)->isMarked());
        press(XK_Right, {XK_Shift_L});
        QTRY_COMPARE(board.gblidx(), 203);
        QVERIFY(board.band().visible);
        QTRY_COMPARE(live.rig.monitor->ui().element(Element::MarkedCount).caption,
                     QStringLiteral("3 marked"));

        // A reader finds the cursor cell as the board's focused child, and was told of it.
        QAccessibleInterface* boardFace = QAccessible::queryAccessibleInterface(canvas);
        QVERIFY(boardFace && boardFace->focusChild());
        const QString name = boardFace->focusChild()->text(QAccessible::Name);
        QVERIFY2(name.startsWith(QStringLiteral("Channel 203, span 2 position 3")), qPrintable(name));
        QVERIFY2(name.endsWith(QStringLiteral(", marked")), qPrintable(name));
        QVERIFY(boardFace->focusChild()->state().focused);
        QCOMPARE(heard.last(), name);

        QCOMPARE(live.exclude(203, true), (QList<int>{102, 202, 203}));
        QCOMPARE(QApplication::focusWidget(), canvas);
    }

    // A board of 60 spans, bare and under openbox with a dock over half the screen: the windows keep to
    // the work area, and End brings the lowest span into view.
    void aLargeSwitchFitsTheWorkArea_data() {
        QTest::addColumn<bool>("windowManager");
        QTest::newRow("wm: none") << false;
        QTest::newRow("wm: openbox") << true;
    }
    void aLargeSwitchFitsTheWorkArea() {
        QFETCH(bool, windowManager);
        constexpr int spans = 60;
        constexpr int dockHeight = 600; // leaves less than the call detail window's design height
        test::XInput input;
        QVERIFY2(input.ok(), "needs an X server with the test extension");
        test::XDesktop desktop;
        QScreen* screen = QGuiApplication::primaryScreen();
        if (windowManager) {
            QVERIFY2(desktop.startWindowManager(dockHeight), qPrintable(desktop.error()));
            QTRY_COMPARE_WITH_TIMEOUT(screen->availableGeometry(),
                                      screen->geometry().adjusted(0, 0, 0, -dockHeight), 10000);
        }
        const QRect avail = screen->availableGeometry();

        test::TestMonitor t;
        BoardModel& board = t.monitor.board();
        MonitorMain window(t.monitor.ui());
        auto* view = new BoardView(board);
        window.setElementWidget(Element::Picture1, view);
        StatsWindowHost stats(t.monitor.stats(), board, t.monitor.ui(), &window);
        stats.followBoard(*view);
        CallDetailWindowHost details(t.monitor.callDetails());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        board.placeCell(1, 8, 1);
        // The lowest span in red (state 9), the others green (state 2).
        for (int s = 1; s <= spans; ++s)
            for (int c = 1; c <= 31; ++c)
                t.monitor.dispatcher().dispatch(
                    QStringLiteral("t%1,%2,%3,0").arg(s * 100 + c).arg(s).arg(s == spans ? 9 : 2));
        // The board completion: a whole tick of Timer2 without a new cell sets the window's height.
        t.services.clock.advance(2 * 5000);
        QVERIFY(t.monitor.relay().boardReady());
        QTRY_VERIFY(avail.contains(window.frameGeometry()));
        if (windowManager)
            QTRY_VERIFY(window.frameGeometry().height() > window.height()); // framed by openbox

        BoardCanvas* canvas = view->canvas();
        const auto port = [&] {
            return QRect(view->viewport()->mapToGlobal(QPoint(0, 0)), view->viewport()->size());
        };
        const auto onScreen = [&](int id) {
            return canvas->mapToGlobal(canvas->toPixels(board.cell(id)->stateRect).center());
        };
        const auto shown = [&](int id) {
            return port().contains(onScreen(id)) &&
                   screenPixel(onScreen(id)) == toQColor(board.cell(id)->stateColor);
        };
        QTRY_VERIFY(shown(101));
        QVERIFY(!port().contains(onScreen(spans * 100 + 1)));
        // The pointer out of the way of the cells' tool tips.
        input.moveTo(QPoint(avail.right() - 5, avail.top() + 5));
        window.activateWindow();
        view->setFocus();
        QTRY_VERIFY(window.isActiveWindow());
        input.type(XK_End);
        for (int id : {spans * 100 + 1, spans * 100 + 10, spans * 100 + 16})
            QTRY_VERIFY2(shown(id), qPrintable(QString::number(id)));
        QCOMPARE(toQColor(board.cell(spans * 100 + 1)->stateColor), QColor(255, 0, 0));

        // The statistics window, taller than the work area, scrolls with the board; call details fit.
        t.services.clock.advance(Statistics::kIntervalMs);
        t.monitor.ui().trigger(MenuItem::StatsWin);
        t.monitor.ui().trigger(MenuItem::CallDet);
        StatsWindow* statsWindow = stats.window();
        CallDetailWindow* detail = details.window(0);
        QVERIFY(QTest::qWaitForWindowExposed(statsWindow));
        QVERIFY(QTest::qWaitForWindowExposed(detail));
        for (QWidget* w : {static_cast<QWidget*>(statsWindow), static_cast<QWidget*>(detail)}) {
            QTRY_VERIFY2(avail.contains(w->frameGeometry()), qPrintable(w->windowTitle()));
            if (windowManager)
                QTRY_VERIFY(w->frameGeometry().height() > w->height());
        }
        QTRY_VERIFY(statsWindow->rowsArea()->verticalScrollBar()->isVisible());
        QVERIFY(statsWindow->rowsArea()->verticalScrollBar()->value() > 0); // the board is at its end
        const int detailDesign =
            static_cast<int>(std::lround(twipsToPixels(CallDetail::kDesignHeight, detail->logicalDpiY())));
        QCOMPARE(detail->height() < detailDesign, windowManager);
        QTRY_COMPARE(detail->linesArea()->verticalScrollBar()->isVisible(), windowManager);
        QVERIFY(!detail->linesArea()->horizontalScrollBar()->isVisible());
    }
};

QTEST_MAIN(MainWindowX11Test)
#include "test_x11_main_window.moc"
