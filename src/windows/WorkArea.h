#pragma once
// Keeping a top-level window inside the work area of its screen (the screen less the panels a window
// manager reserves), decorations included: a window whose design does not fit is made smaller, and
// what it no longer shows scrolls inside it.

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>

class QWidget;

namespace corvane {

// The geometry for `window`, as move() (the frame's top-left) and resize() (the inside) take it: the
// wanted place and inside size, made smaller and moved as far as needed to lie inside the work area.
// When the inside is cut below `scrolledHeight` (the height of what scrolls in it), it is widened by a
// vertical scroll bar so that the contents keep their width.
QRect fittedToWorkArea(const QWidget& window, QPoint frameTopLeft, QSize inside, int scrolledHeight);

// Runs `fit` when the window is shown, when its frame first gets its size (a window manager frames a
// window only after it is shown) and when the work area of its screen changes.
class WorkAreaKeeper : public QObject {
public:
    WorkAreaKeeper(QWidget& window, std::function<void()> fit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchScreen();
    QWidget& m_window;
    std::function<void()> m_fit;
    QSize m_decoration;
    bool m_screenWatched = false;
};

} // namespace corvane
