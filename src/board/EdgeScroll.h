#pragma once
// Scrolls a scroll area toward a pointer held past its visible edge while a button is down, so that a
// selection band can reach any part of a board larger than the view: at once when the pointer crosses
// the edge, then at every tick while it stays outside, still or not, until it comes back inside or
// the drag ends.

#include <QPoint>
#include <functional>
#include <memory>

class QAbstractScrollArea;

namespace corvane {

class Clock;
class Timer;

class EdgeScroll {
public:
    static constexpr int kTickMs = 40;

    // `scrolled` is told the pointer's place on the scrolled contents after every step that moved them,
    // as a pointer move would, so that what follows the pointer follows the board.
    EdgeScroll(Clock& clock, std::function<void(QPoint global)> scrolled);
    ~EdgeScroll();
    EdgeScroll(const EdgeScroll&) = delete;
    EdgeScroll& operator=(const EdgeScroll&) = delete;

    // The pointer is at `global` with the button down over the contents of `area`.
    void dragAt(QAbstractScrollArea* area, QPoint global);
    // The button was let go.
    void stop();
    bool isScrolling() const;

private:
    // Scrolls one step toward the pointer; false once the pointer is inside the view.
    bool step();
    std::unique_ptr<Timer> m_timer;
    std::function<void(QPoint)> m_scrolled;
    QAbstractScrollArea* m_area = nullptr;
    QPoint m_global;
};

} // namespace corvane
