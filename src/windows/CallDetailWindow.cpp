#include "windows/CallDetailWindow.h"

#include "common/Units.h"
#include "windows/CallDetail.h"
#include "windows/WorkArea.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

namespace corvane {

// At the screen's logical dots per inch, as the main window and the board are.
int CallDetailWindow::px(int twips) const {
    return qRound(twipsToPixels(twips, logicalDpiY() > 0 ? logicalDpiY() : 96.0));
}
int CallDetailWindow::tw(int pixels) const {
    return qRound(pixelsToTwips(pixels, logicalDpiY() > 0 ? logicalDpiY() : 96.0));
}

CallDetailWindow::CallDetailWindow(CallDetail& model, QWidget* parent)
    : QWidget(parent, Qt::Window), m_model(model), m_area(new QScrollArea(this)), m_page(new QWidget),
      m_scroll(new QScrollBar(Qt::Vertical, this)), m_scrollVal(new QLineEdit(this)) {
    m_area->setFrameShape(QFrame::NoFrame);
    m_area->setWidget(m_page);
    // The page scrolls by the wheel and its own bar; the keys keep their meanings for the spans.
    m_area->setFocusPolicy(Qt::NoFocus);
    for (int i = 1; i <= CallDetail::kLines; ++i) {
        auto* box = new QLineEdit(m_page);
        box->setReadOnly(true);
        box->setFrame(true);
        box->installEventFilter(this);
        box->hide();
        m_boxes[static_cast<std::size_t>(i - 1)] = box;
    }
    // The page changes when the thumb is let go; while it moves only the span box follows.
    m_scroll->setTracking(false);
    m_scroll->installEventFilter(this);
    m_scrollVal->setReadOnly(true);
    m_scrollVal->installEventFilter(this);
    m_scrollVal->hide();
    m_scrollVal->setGeometry(px(CallDetail::kLineLeft), 0, px(1000), px(CallDetail::kLineHeight));
    connect(m_scroll, &QScrollBar::sliderMoved, this, [this](int value) {
        if (!m_syncing)
            m_model.scrollDragged(value);
    });
    connect(m_scroll, &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_syncing)
            m_model.scrollChanged(value);
    });
    connect(&m_model, &CallDetail::changed, this, &CallDetailWindow::refresh);
    resize(px(CallDetail::kDesignWidth), px(CallDetail::kDesignHeight));
    new WorkAreaKeeper(*this, [this] { fitToWorkArea(); });
    refresh();
}

int CallDetailWindow::linesWidth() const {
    const int bar = height() < px(CallDetail::kDesignHeight)
                        ? style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this)
                        : 0;
    return width() - px(CallDetail::kScrollBarWidth) - bar;
}

void CallDetailWindow::fitToWorkArea() {
    const QSize inside(linesWidth() + px(CallDetail::kScrollBarWidth), height());
    const QRect r = fittedToWorkArea(*this, frameGeometry().topLeft(), inside, px(CallDetail::kDesignHeight));
    move(r.topLeft());
    resize(r.size());
}

void CallDetailWindow::refresh() {
    setWindowTitle(m_model.caption());
    {
        const QScopedValueRollback guard(m_syncing, true);
        m_scroll->setRange(std::min(m_model.scrollMin(), m_model.scrollMax()),
                           std::max(m_model.scrollMin(), m_model.scrollMax()));
        m_scroll->setSingleStep(1);
        m_scroll->setPageStep(100);
        if (!m_scroll->isSliderDown())
            m_scroll->setValue(m_model.scrollValue());
    }
    m_scrollVal->setText(m_model.scrollValText());
    m_scrollVal->setVisible(m_model.scrollValVisible());
    if (m_model.scrollValVisible())
        m_scrollVal->raise();
    for (int i = 1; i <= CallDetail::kLines; ++i) {
        const CallDetailLine& l = m_model.line(i);
        QLineEdit* box = lineBox(i);
        QPalette p = box->palette();
        p.setColor(QPalette::Base, toQColor(l.back));
        p.setColor(QPalette::Text, toQColor(l.fore));
        box->setPalette(p);
        if (box->text() != l.text) {
            box->setText(l.text);
            box->setCursorPosition(0);
        }
        box->setVisible(l.visible);
    }
    placeLines();
}

void CallDetailWindow::placeLines() {
    constexpr int rightMargin =
        CallDetail::kDesignWidth - CallDetail::kScrollBarWidth - CallDetail::kLineLeft - CallDetail::kLineWidth;
    m_page->resize(px(CallDetail::kLineLeft + m_model.lineWidth() + rightMargin), px(CallDetail::kDesignHeight));
    for (int i = 1; i <= CallDetail::kLines; ++i)
        lineBox(i)->setGeometry(px(CallDetail::kLineLeft),
                                px(CallDetail::kFirstLineTop + CallDetail::kLinePitch * (i - 1)),
                                px(m_model.lineWidth()), px(CallDetail::kLineHeight));
}

bool CallDetailWindow::handleKey(QKeyEvent* event) {
    // The window sees the keys before its boxes and its scroll bar, which is not moved by them.
    if (event->key() == Qt::Key_PageUp) {
        m_model.pageUp();
        return true;
    }
    if (event->key() == Qt::Key_PageDown) {
        m_model.pageDown();
        return true;
    }
    const QString text = event->text();
    if (text == QStringLiteral("!") || text == QStringLiteral("\"")) {
        m_model.typed(text[0]);
        return true;
    }
    return false;
}

bool CallDetailWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent*>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

void CallDetailWindow::keyPressEvent(QKeyEvent* event) {
    if (!handleKey(event))
        QWidget::keyPressEvent(event);
}

void CallDetailWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int barWidth = px(CallDetail::kScrollBarWidth);
    m_scroll->setGeometry(width() - barWidth, 0, barWidth, height());
    m_area->setGeometry(0, 0, width() - barWidth, height());
    m_scrollVal->move(width() - barWidth - m_scrollVal->width(), 0);
    // The lines follow the room they have, which the page's own scroll bar takes from when it shows.
    m_model.resized(tw(linesWidth() + barWidth));
    placeLines();
}

void CallDetailWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted())
        m_model.close();
}

CallDetailWindowHost::CallDetailWindowHost(CallDetailList& list, QObject* parent) : QObject(parent) {
    for (int i = 0; i < list.count(); ++i)
        add(list.at(i));
    connect(&list, &CallDetailList::created, this, [this](CallDetail& model) { add(model); });
}

CallDetailWindowHost::~CallDetailWindowHost() {
    for (const QPointer<CallDetailWindow>& w : m_windows)
        delete w.data();
}

void CallDetailWindowHost::add(CallDetail& model) {
    auto* window = new CallDetailWindow(model);
    m_windows.emplace_back(window);
    connect(&model, &CallDetail::visibilityChanged, window, [window](bool visible) {
        if (visible) {
            window->show();
            window->raise();
        } else {
            window->hide();
        }
    });
    if (model.isVisible())
        window->show();
}

} // namespace corvane
