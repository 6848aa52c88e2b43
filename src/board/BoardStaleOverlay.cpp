#include "board/BoardStaleOverlay.h"

#include "link/LinkHealth.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QPainter>

namespace corvane {

BoardStaleOverlay::BoardStaleOverlay(LinkHealth& health, QAbstractScrollArea& view)
    : QWidget(view.viewport()), m_health(health), m_viewport(view.viewport()) {
    setObjectName(QStringLiteral("BoardStaleOverlay"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    m_viewport->installEventFilter(this);
    connect(&m_health, &LinkHealth::changed, this, &BoardStaleOverlay::follow);
    follow();
}

int BoardStaleOverlay::lineHeight() const {
    return fontMetrics().height() + 8;
}

bool BoardStaleOverlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_viewport && event->type() == QEvent::Resize)
        setGeometry(m_viewport->rect());
    // The board's canvas is the viewport's other child; it must stay below.
    if (watched == m_viewport && event->type() == QEvent::ChildAdded)
        raise();
    return QWidget::eventFilter(watched, event);
}

void BoardStaleOverlay::follow() {
    const QString text = m_health.staleText();
    setAccessibleName(text);
    setToolTip(text);
    setGeometry(m_viewport->rect());
    raise();
    setVisible(m_health.isStale());
    update();
}

void BoardStaleOverlay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // Half-transparent grey: the states stay readable, the board plainly is not live.
    p.fillRect(rect(), QColor(64, 64, 64, 128));
    const QRect line(0, 0, width(), lineHeight());
    p.fillRect(line, QColor(255, 255, 160));
    p.setPen(Qt::black);
    p.drawLine(line.bottomLeft(), line.bottomRight());
    p.drawText(line.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft, m_health.staleText());
}

} // namespace corvane
