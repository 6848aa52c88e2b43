#include "platform/ProgramIcon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>

namespace corvane {

QPixmap programIconPixmap(int size, qreal ratio) {
    if (ratio <= 0)
        ratio = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? qApp->devicePixelRatio() : 1.0;
    const int pixels = std::max(1, static_cast<int>(std::ceil(size * ratio)));
    QPixmap icon(pixels, pixels);
    icon.fill(Qt::transparent);
    QSvgRenderer svg(QString::fromLatin1(kProgramIconResource));
    if (svg.isValid()) {
        QPainter p(&icon);
        svg.render(&p, QRectF(0, 0, pixels, pixels));
    }
    icon.setDevicePixelRatio(ratio);
    return icon;
}

QIcon programWindowIcon() {
    // QIcon picks among these by pixel size, so the doubled sizes serve screens at a ratio of 2.
    QIcon icon;
    for (int size : {16, 22, 24, 32, 44, 48, 64, 96, 128, 256, 512})
        icon.addPixmap(programIconPixmap(size, 1.0));
    return icon;
}

} // namespace corvane
