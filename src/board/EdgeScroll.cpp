#include "board/EdgeScroll.h"

#include "platform/Clock.h"

#include <QAbstractScrollArea>
#include <QScrollBar>
#include <algorithm>

namespace corvane {

namespace {
// How far past the edge the pointer is, negative before the start; 0 inside.
int overshoot(int at, int extent) {
    if (at < 0)
        return at;
    return at >= extent ? at - extent + 1 : 0;
}

// One step grows with the distance past the edge, from half a line up to half a page.
bool scrollBy(QScrollBar* bar, int distance) {
    if (distance == 0)
        return false;
    const int least = std::max(1, bar->singleStep() / 2);
    const int most = std::max(least, bar->pageStep() / 2);
    const int step = std::clamp(std::abs(distance), least, most);
    const int before = bar->value();
    bar->setValue(before + (distance < 0 ? -step : step));
    return bar->value() != before;
}
} // namespace

EdgeScroll::EdgeScroll(Clock& clock, std::function<void(QPoint global)> scrolled)
    : m_timer(clock.createTimer()), m_scrolled(std::move(scrolled)) {
    m_timer->setInterval(kTickMs);
    m_timer->setCallback([this] {
        if (!step())
            stop();
    });
}

EdgeScroll::~EdgeScroll() = default;

void EdgeScroll::dragAt(QAbstractScrollArea* area, QPoint global) {
    m_area = area;
    m_global = global;
    if (area && step())
        m_timer->setEnabled(true);
    else
        stop();
}

void EdgeScroll::stop() {
    m_timer->setEnabled(false);
    m_area = nullptr;
}

bool EdgeScroll::isScrolling() const {
    return m_timer->isEnabled();
}

bool EdgeScroll::step() {
    if (!m_area || !m_area->isVisible())
        return false;
    const QWidget* view = m_area->viewport();
    const QPoint at = view->mapFromGlobal(m_global);
    const int dx = overshoot(at.x(), view->width());
    const int dy = overshoot(at.y(), view->height());
    if (dx == 0 && dy == 0)
        return false;
    const bool movedX = scrollBy(m_area->horizontalScrollBar(), dx);
    const bool movedY = scrollBy(m_area->verticalScrollBar(), dy);
    if ((movedX || movedY) && m_scrolled)
        m_scrolled(m_global);
    // Still outside: at the board's end nothing moves, but the drag may yet turn around.
    return true;
}

} // namespace corvane
