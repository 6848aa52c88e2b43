#include "support/BoardPixels.h"

#include "board/BoardModel.h"
#include "board/BoardView.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWindow>

namespace corvane::test {

int wrongBoardPixels(BoardCanvas& canvas, QString* where) {
    QWidget* window = canvas.window();
    const qreal ratio = canvas.devicePixelRatioF();
    const QRect visible = canvas.visibleRegion().boundingRect();
    const bool fromScreen = ratio == 1.0;
    const QImage shown = (fromScreen ? window->screen()->grabWindow(window->winId()) : canvas.grab())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    QImage fresh((QSizeF(visible.size()) * ratio).toSize(), QImage::Format_RGB32);
    fresh.setDevicePixelRatio(ratio);
    QPainter p(&fresh);
    p.translate(-visible.topLeft());
    canvas.paintBoard(p, visible);
    p.end();
    const QPoint origin =
        (QPointF(fromScreen ? canvas.mapTo(window, visible.topLeft()) : visible.topLeft()) * ratio).toPoint();
    int wrong = 0;
    for (int y = 0; y < fresh.height(); ++y)
        for (int x = 0; x < fresh.width(); ++x) {
            const QPoint s = origin + QPoint(x, y);
            if (shown.valid(s) && shown.pixel(s) == fresh.pixel(x, y))
                continue;
            if (wrong++ == 0 && where) {
                const QPointF at = QPointF(x, y) / ratio + visible.topLeft();
                *where = QString::asprintf("first at canvas (%g, %g) over cell %d", at.x(), at.y(),
                                           canvas.board().hitTest(canvas.toTwips(at)).id);
            }
        }
    if (wrong > 0) {
        if (where)
            *where += QStringLiteral(", %1 px").arg(wrong);
        shown.save(QStringLiteral("board_shown.png"));
        fresh.save(QStringLiteral("board_fresh.png"));
    }
    return wrong;
}

} // namespace corvane::test
