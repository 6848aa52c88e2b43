// With two device pixels to a logical one, the board, the main window's pictures and the program's
// icon are drawn at the full resolution, not upscaled.

#include "board/BoardView.h"
#include "operator/MainWindow.h"
#include "platform/ProgramIcon.h"
#include "support/ChannelBoard.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QtTest>

using namespace corvane;

namespace {

// Whether an image at ratio 2 holds detail finer than its logical pixels: some aligned 2 × 2 block in
// `area` (device pixels) whose four pixels differ. A picture made at ratio 1 and scaled up has none.
bool hasDetailFinerThanLogicalPixels(const QImage& image, const QRect& area) {
    for (int y = area.top() & ~1; y + 1 <= area.bottom(); y += 2)
        for (int x = area.left() & ~1; x + 1 <= area.right(); x += 2) {
            const QRgb p = image.pixel(x, y);
            if (image.pixel(x + 1, y) != p || image.pixel(x, y + 1) != p || image.pixel(x + 1, y + 1) != p)
                return true;
        }
    return false;
}

QRect device(const QRect& logical) {
    return QRect(logical.topLeft() * 2, logical.size() * 2);
}

} // namespace

class HighDpiTest : public QObject {
    Q_OBJECT
private slots:
    void theBoardIsPaintedAtTheFullResolution() {
        corvane::test::ChannelBoard b;
        BoardModel& board = b.board;
        for (const char* m : {"t101,1,1,0", "t102,1,2,0", "t103,2,4,0"})
            b.send(m);
        board.setMark(102, QStringLiteral("X"));
        // A border of its own, as the pointer's highlight gives it.
        board.setBorder(101, kWhite, 6);
        BoardView view(board);
        view.resize(600, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        const QPixmap grabbed = view.canvas()->grab();
        QCOMPARE(grabbed.devicePixelRatio(), 2.0);
        const QImage image = grabbed.toImage().convertToFormat(QImage::Format_RGB32);

        // Across the cell's left edge: board, border two device pixels wide, group colour, unblended.
        const ChannelCell& cell = *board.cell(101);
        const QRect back = device(view.canvas()->toPixels(cell.back));
        const int y = back.center().y();
        const QRgb boardColour = toQColor(board.boardColour()).rgb();
        const QRgb border = toQColor(cell.borderColor).rgb();
        const QRgb group = toQColor(cell.groupColor).rgb();
        QVERIFY(border != group && border != boardColour);
        QCOMPARE(image.pixel(back.left() - 1, y), boardColour);
        QCOMPARE(image.pixel(back.left(), y), border);
        QCOMPARE(image.pixel(back.left() + 1, y), border);
        QCOMPARE(image.pixel(back.left() + 2, y), group);
        // The state label's colour fills its square exactly.
        const QRect state = device(view.canvas()->toPixels(cell.stateRect));
        QCOMPARE(image.pixel(state.left(), state.top()), toQColor(cell.stateColor).rgb());
        QCOMPARE(image.pixel(state.right(), state.bottom()), toQColor(cell.stateColor).rgb());
        QCOMPARE(image.pixel(state.left() - 1, state.center().y()), group);

        // The mark's letter is drawn with the device's pixels.
        const QRect mark = device(view.canvas()->toPixels(board.cell(102)->stateRect));
        QVERIFY(hasDetailFinerThanLogicalPixels(image, mark));
    }

    void thePicturesOfTheMainWindowAreSharp() {
        MainWindowModel ui;
        MonitorMain window(ui);
        ui.setVisible(Element::UDP_WD, true);
        QPixmap logo(400, 80);
        logo.fill(Qt::white);
        QPainter(&logo).fillRect(logo.rect(), Qt::Dense4Pattern); // every other pixel black
        window.setPicture(Element::Image1, logo);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        for (Element e : {Element::UDP_WD, Element::Image1}) {
            auto* label = qobject_cast<QLabel*>(window.elementWidget(e));
            QVERIFY(label);
            const QPixmap picture = label->pixmap();
            QVERIFY(!picture.isNull());
            QCOMPARE(picture.devicePixelRatio(), 2.0);
            QVERIFY(picture.width() > label->width());
            const QImage image = picture.toImage();
            QVERIFY(hasDetailFinerThanLogicalPixels(image, image.rect()));
        }
    }

    void theProgramIconIsDrawnForTheScreen() {
        const QPixmap icon = programIconPixmap(48);
        QCOMPARE(icon.devicePixelRatio(), 2.0);
        QCOMPARE(icon.size(), QSize(96, 96));
        const QImage image = icon.toImage();
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0); // a round corner
        QVERIFY(hasDetailFinerThanLogicalPixels(image, image.rect()));

        const QIcon windowIcon = programWindowIcon();
        const QPixmap forTitleBar = windowIcon.pixmap(QSize(32, 32), 2.0);
        QCOMPARE(forTitleBar.size(), QSize(64, 64));
        QVERIFY(hasDetailFinerThanLogicalPixels(forTitleBar.toImage(), QRect(0, 0, 64, 64)));
    }
};

int main(int argc, char* argv[]) {
    // Before the application exists, so that every screen gets the ratio.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    HighDpiTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_high_dpi.moc"
