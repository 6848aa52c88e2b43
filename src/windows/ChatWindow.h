#pragma once
// The message broadcast window: draws the chat model and forwards the operator's typing to it.
// ChatWindowHost creates the window when the model is loaded and drops it when it is unloaded.

#include "windows/ChatLayout.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace corvane {

class ChatModel;

class ChatWindow : public QWidget {
    Q_OBJECT
public:
    explicit ChatWindow(ChatModel& model, QWidget* parent = nullptr);

    QPlainTextEdit* receivedBox() const { return m_received; }
    QLineEdit* toSendBox() const { return m_toSend; }
    QPlainTextEdit* monConnectedBox() const { return m_monConnected; }
    QPushButton* clearButton() const { return m_clear; }
    const ChatLayout& layoutTwips() const { return m_layout; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void applyLayout();
    void showReceived(const QString& text);

    ChatModel& m_model;
    ChatLayout m_layout;
    QPlainTextEdit* m_received;
    QLineEdit* m_toSend;
    QPlainTextEdit* m_monConnected;
    QPushButton* m_clear;
    QLabel* m_receivedLabel;
    QLabel* m_toSendLabel;
    QLabel* m_monConnectedLabel;
};

class ChatWindowHost : public QObject {
    Q_OBJECT
public:
    explicit ChatWindowHost(ChatModel& model, QObject* parent = nullptr);
    ~ChatWindowHost() override;
    // The window while the chat is loaded, null otherwise.
    ChatWindow* window() const { return m_window; }

private:
    ChatModel& m_model;
    QPointer<ChatWindow> m_window;
};

} // namespace corvane
