#include "board/DragPicture.h"

#include "board/BoardModel.h"

#include <QPainter>
#include <QPixmap>

namespace corvane {

QPixmap dragPicture(const ChannelCell& cell) {
    QPixmap picture(kDragPictureSize, kDragPictureSize);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QRect outer(2, 2, kDragPictureSize - 4, kDragPictureSize - 4);
    p.fillRect(outer, Qt::black);
    p.fillRect(outer.adjusted(1, 1, -1, -1), toQColor(cell.groupColor));
    const QRect state = outer.adjusted(6, 6, -6, -6);
    p.fillRect(state, Qt::black);
    p.fillRect(state.adjusted(1, 1, -1, -1), toQColor(cell.stateColor));
    if (!cell.mark.isEmpty()) {
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(10);
        font.setBold(true);
        p.setFont(font);
        p.setPen(toQColor(cell.textColor));
        p.drawText(state, Qt::AlignCenter, cell.mark);
    }
    return picture;
}

QCursor dragCursor(const ChannelCell& cell) {
    return QCursor(dragPicture(cell), kDragPictureSize / 2, kDragPictureSize / 2);
}

} // namespace corvane
