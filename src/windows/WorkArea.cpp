#include "windows/WorkArea.h"

#include <QEvent>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace corvane {

namespace {
QSize decorationOf(const QWidget& window) {
    return window.isVisible() ? window.frameGeometry().size() - window.size() : QSize(0, 0);
}

QRect fitted(const QRect& avail, const QSize& decoration, QPoint frameTopLeft, QSize inside) {
    QRect frame(frameTopLeft, (inside + decoration).boundedTo(avail.size()));
    // A window running off the work area keeps its place and is cut where it ends, as long as half the
    // work area remains to it (the statistics window's place lines its rows up with the board's);
    // otherwise it is moved.
    const QPoint room = avail.bottomRight() - frame.topLeft() + QPoint(1, 1);
    if (frame.right() > avail.right() && frame.left() >= avail.left() && room.x() >= avail.width() / 2)
        frame.setWidth(room.x());
    if (frame.bottom() > avail.bottom() && frame.top() >= avail.top() && room.y() >= avail.height() / 2)
        frame.setHeight(room.y());
    if (frame.right() > avail.right())
        frame.moveRight(avail.right());
    if (frame.bottom() > avail.bottom())
        frame.moveBottom(avail.bottom());
    frame.moveTopLeft(QPoint(std::max(frame.left(), avail.left()), std::max(frame.top(), avail.top())));
    return QRect(frame.topLeft(), frame.size() - decoration);
}
} // namespace

QRect fittedToWorkArea(const QWidget& window, QPoint frameTopLeft, QSize inside, int scrolledHeight) {
    const QScreen* screen = window.screen();
    if (!screen)
        return QRect(frameTopLeft, inside);
    const QRect avail = screen->availableGeometry();
    const QSize decoration = decorationOf(window);
    QRect r = fitted(avail, decoration, frameTopLeft, inside);
    if (r.height() < scrolledHeight) {
        const int bar = window.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &window);
        r = fitted(avail, decoration, frameTopLeft, inside + QSize(bar, 0));
    }
    return r;
}

WorkAreaKeeper::WorkAreaKeeper(QWidget& window, std::function<void()> fit)
    : QObject(&window), m_window(window), m_fit(std::move(fit)) {
    window.installEventFilter(this);
}

void WorkAreaKeeper::watchScreen() {
    QWindow* handle = m_window.windowHandle();
    if (!handle || m_screenWatched)
        return;
    m_screenWatched = true;
    const auto follow = [this](QScreen* screen) {
        if (screen)
            connect(screen, &QScreen::availableGeometryChanged, this, [this] {
                if (m_window.isVisible())
                    m_fit();
            });
    };
    follow(handle->screen());
    connect(handle, &QWindow::screenChanged, this, follow);
}

bool WorkAreaKeeper::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_window) {
        if (event->type() == QEvent::Show) {
            watchScreen();
            m_decoration = decorationOf(m_window);
            m_fit();
        } else if (event->type() == QEvent::Move || event->type() == QEvent::Resize) {
            // The frame's size is known once the window manager has framed the window: fitted again
            // then, once; the operator's own moves and resizes are left alone.
            const QSize decoration = decorationOf(m_window);
            if (m_window.isVisible() && decoration != m_decoration) {
                m_decoration = decoration;
                m_fit();
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace corvane
