#pragma once
// The stale look of the board: while LinkHealth says the board is not current, the visible part of the
// board is dimmed and a line across its top says since when and what it waits for. It lies over the
// board view's viewport, takes no mouse events (the board still works under it) and paints nothing
// while the board is current, so the board's own painting is left alone.

#include <QWidget>

class QAbstractScrollArea;

namespace corvane {

class LinkHealth;

class BoardStaleOverlay final : public QWidget {
    Q_OBJECT
public:
    BoardStaleOverlay(LinkHealth& health, QAbstractScrollArea& view);

    // The line's height in pixels, for the look and for tests.
    int lineHeight() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow();
    LinkHealth& m_health;
    QWidget* m_viewport;
};

} // namespace corvane
