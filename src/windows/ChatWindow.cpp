#include "windows/ChatWindow.h"

#include "common/Units.h"
#include "windows/ChatModel.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace corvane {

namespace {
QRect toPixels(const QRect& twips, const QWidget* w) {
    return twipsToPixels(twips, w->logicalDpiX());
}

// The boxes keep CR LF between lines as the engine's text has it; the editor shows plain line breaks.
QString forDisplay(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
} // namespace

ChatWindow::ChatWindow(ChatModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_received(new QPlainTextEdit(this)), m_toSend(new QLineEdit(this)),
      m_monConnected(new QPlainTextEdit(this)), m_clear(new QPushButton(QStringLiteral("Clear"), this)),
      m_receivedLabel(new QLabel(QStringLiteral("Messages Received"), this)),
      m_toSendLabel(new QLabel(QStringLiteral("Messages to Broadcast"), this)),
      m_monConnectedLabel(new QLabel(QStringLiteral("Conected Monitors"), this)) {
    setWindowTitle(QStringLiteral("Message Broadcast"));
    m_received->setObjectName(QStringLiteral("Received"));
    m_toSend->setObjectName(QStringLiteral("ToSend"));
    m_monConnected->setObjectName(QStringLiteral("MonConnected"));
    m_clear->setObjectName(QStringLiteral("ClearButton"));
    m_received->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The box shows the model's text and every new line rewrites it, so an edit of the operator's
    // would be thrown away: it can be read, selected and copied, not changed.
    m_received->setReadOnly(true);
    m_received->installEventFilter(this);
    m_toSend->installEventFilter(this);
    setFocusPolicy(Qt::StrongFocus);

    connect(m_clear, &QPushButton::clicked, this, [this] { m_model.clearReceived(); });
    connect(&m_model, &ChatModel::receivedChanged, this, &ChatWindow::showReceived);
    connect(&m_model, &ChatModel::monConnectedChanged, this,
            [this](const QString& text) { m_monConnected->setPlainText(forDisplay(text)); });
    connect(&m_model, &ChatModel::captionChanged, this, [this](const QString& c) { setWindowTitle(c); });
    if (!m_model.caption().isEmpty())
        setWindowTitle(m_model.caption());
    showReceived(m_model.received());
    m_monConnected->setPlainText(forDisplay(m_model.monConnected()));

    resize(twipsToPixels(QRect(QPoint(0, 0), m_layout.window), logicalDpiX()).size());
    m_layout.recordReference();
    applyLayout();
}

void ChatWindow::showReceived(const QString& text) {
    m_received->setPlainText(forDisplay(text));
}

void ChatWindow::applyLayout() {
    m_received->setGeometry(toPixels(m_layout.received, this));
    m_receivedLabel->setGeometry(toPixels(m_layout.receivedLabel, this));
    m_toSend->setGeometry(toPixels(m_layout.toSend, this));
    m_toSendLabel->setGeometry(toPixels(m_layout.toSendLabel, this));
    m_monConnected->setGeometry(toPixels(m_layout.monConnected, this));
    m_monConnectedLabel->setGeometry(toPixels(m_layout.monConnectedLabel, this));
    m_clear->setGeometry(toPixels(m_layout.clearButton, this));
}

void ChatWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const double dpi = logicalDpiX();
    m_layout.resize(QSize(qRound(pixelsToTwips(width(), dpi)), qRound(pixelsToTwips(height(), dpi))));
    applyLayout();
}

bool ChatWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        m_toSend->setFocus();
        m_model.focusReceived();
    }
    return QWidget::event(event);
}

bool ChatWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == m_toSend && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            const QString text = m_toSend->text();
            m_toSend->clear();
            m_model.sendLine(text);
            return true;
        }
        const bool ctrlC = key->text() == QString(QChar(3)) ||
                           (key->key() == Qt::Key_C && (key->modifiers() & Qt::ControlModifier));
        if (watched == m_received && ctrlC) {
            // The selection goes out with the CR LF line ends the boxes are kept in.
            QString selected = m_received->textCursor().selectedText();
            selected.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
            QGuiApplication::clipboard()->setText(selected);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ChatWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted())
        m_model.unload();
}

ChatWindowHost::ChatWindowHost(ChatModel& model, QObject* parent) : QObject(parent), m_model(model) {
    connect(&m_model, &ChatModel::loadedChanged, this, [this](bool loaded) {
        if (loaded && !m_window) {
            m_window = new ChatWindow(m_model);
            m_window->setAttribute(Qt::WA_DeleteOnClose);
        } else if (!loaded && m_window) {
            m_window->hide();
            m_window->deleteLater();
            m_window.clear();
        }
    });
    connect(&m_model, &ChatModel::showRequested, this, [this] {
        if (!m_window)
            return;
        m_window->show();
        m_window->raise();
    });
}

ChatWindowHost::~ChatWindowHost() {
    delete m_window.data();
}

} // namespace corvane
