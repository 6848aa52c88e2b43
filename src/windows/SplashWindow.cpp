#include "windows/SplashWindow.h"

#include "common/Version.h"
#include "platform/Clock.h"
#include "windows/AboutBox.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

namespace corvane {

QString SplashWindow::versionText() {
    return QStringLiteral("%1.%2.%3").arg(version::major).arg(version::minor).arg(version::revision);
}

SplashWindow::SplashWindow(Clock& clock, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_timer(clock.createTimer()) {
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(AboutBox::titleText());

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    frame->setLineWidth(2);
    auto* picture = new QLabel(frame);
    picture->setPixmap(AboutBox::programIcon(96));
    lblProductName = new QLabel(AboutBox::titleText(), frame);
    QFont big = lblProductName->font();
    big.setPointSizeF(big.pointSizeF() * 2.0);
    big.setBold(true);
    lblProductName->setFont(big);
    lblVersion = new QLabel(versionText(), frame);
    auto* product = new QLabel(QStringLiteral("Operator's console"), frame);
    auto* platformLine = new QLabel(QStringLiteral("for the CorvaneBox telephony switch"), frame);
    auto* starting = new QLabel(QStringLiteral("Starting..."), frame);
    Command1 = new QPushButton(QStringLiteral("CANCEL"), frame);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setFocusPolicy(Qt::NoFocus);

    auto* text = new QVBoxLayout;
    text->addWidget(lblProductName);
    text->addWidget(product);
    text->addWidget(platformLine);
    text->addSpacing(10);
    text->addWidget(lblVersion);
    text->addStretch();
    auto* foot = new QHBoxLayout;
    foot->addWidget(starting, 1);
    foot->addWidget(Command1);
    text->addLayout(foot);
    auto* inner = new QHBoxLayout(frame);
    inner->setContentsMargins(18, 18, 18, 18);
    inner->addWidget(picture, 0, Qt::AlignTop);
    inner->addSpacing(18);
    inner->addLayout(text, 1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    setMinimumSize(460, 200);

    connect(Command1, &QPushButton::clicked, this, &SplashWindow::cancelled);
    m_timer->setInterval(500);
    m_timer->setCallback([this] {
        if (isVisible())
            raise();
    });
    m_timer->setEnabled(true);
}

SplashWindow::~SplashWindow() = default;

void SplashWindow::keyPressEvent(QKeyEvent* event) {
    // Keys do nothing here, Escape included.
    event->accept();
}

void SplashWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The window system's expose of the window, not the widget's paint, says it is on the screen.
    if (QWindow* w = windowHandle())
        w->installEventFilter(this);
}

bool SplashWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed())
        emit painted();
    return QWidget::eventFilter(watched, event);
}

} // namespace corvane
