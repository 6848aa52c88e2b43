// The pointer feedback inside the real main window: the highlight of the cell under the
// pointer stays over the buttons and the span labels and goes on the board background or on the tab
// control around the board; a band drawn in the window marks cells.

#include "board/BoardView.h"
#include "operator/MainWindow.h"
#include "operator/Selection.h"
#include "support/CommandParts.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace corvane;

class TestMainWindowSelection : public QObject {
    Q_OBJECT
private slots:
    void highlightFollowsThePointerThroughTheWindow();
};

void TestMainWindowSelection::highlightFollowsThePointerThroughTheWindow() {
    test::CommandParts m;
    BoardModel& b = m.board;
    Selection selection(b, m.ui, m.commands);
    for (int p = 1; p <= 8; ++p)
        b.paintChannel(100 + p, 1, 1, 0);
    b.paintChannel(105, 1, 1, 203);
    b.paintChannel(203, 1, 2, 105);

    MonitorMain window(m.ui);
    auto* view = new BoardView(b);
    window.setElementWidget(Element::Picture1, view);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWidget* canvas = view->canvas();
    const auto at = [&](int id) {
        const QRect r = view->canvas()->toPixels(b.cell(id)->stateRect);
        return r.center();
    };

    QTest::mouseMove(canvas, at(105));
    QTRY_COMPARE(b.gblidx(), 105);
    QCOMPARE(b.cell(203)->borderStyle, 1);

    // Over a button of the tab page the highlight stays.
    QWidget* unmark = window.elementWidget(Element::Command2_2);
    QVERIFY(unmark);
    QTest::mouseMove(unmark, unmark->rect().center());
    QTest::qWait(50);
    QCOMPARE(b.gblidx(), 105);

    // On the tab control itself it goes.
    QWidget* page = window.tabControl()->currentWidget();
    QVERIFY(page);
    QTest::mouseMove(page, QPoint(page->width() - 5, 5));
    QTRY_COMPARE(b.gblidx(), 0);
    QCOMPARE(b.cell(105)->borderStyle, b.normalBorderStyle());
    QCOMPARE(b.cell(203)->borderStyle, b.normalBorderStyle());

    // A band over the first block of span 1, drawn in the window.
    const QPoint from = view->canvas()->toPixels(QRect(1530, 45, 1, 1)).topLeft();
    const QPoint to = view->canvas()->toPixels(QRect(2400, 450, 1, 1)).topLeft();
    QTest::mousePress(canvas, Qt::LeftButton, {}, from);
    QTest::mouseMove(canvas, to);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, to);
    QStringList marked;
    for (int id : b.cellIds())
        if (b.cell(id)->isMarked())
            marked << QString::number(id);
    QCOMPARE(marked, (QStringList{"1", "101", "102", "103", "104"}));
    QCOMPARE(m.ui.element(Element::CallText).caption, b.cell(105)->callInfo);
}

QTEST_MAIN(TestMainWindowSelection)
#include "test_main_window_selection.moc"
