#include "windows/ChatModel.h"

#include "app/Monitor.h"
#include "link/EngineLink.h"
#include "watchdogs/RelayWatchdog.h"

namespace corvane {

ChatModel::ChatModel(Monitor& monitor) : m_monitor(monitor) {
    m_monitor.ui.setMenuAction(MenuItem::MegBst, [this] { showFromMenu(); });
    m_monitor.ui.setMenuAction(MenuItem::DisableChat, [this] { toggleDisabled(); });
}

void ChatModel::ensureLoaded() {
    if (m_loaded)
        return;
    m_loaded = true;
    m_caption = QStringLiteral("Chat ") + m_monitor.config.title;
    emit loadedChanged(true);
    emit captionChanged(m_caption);
    send(QStringLiteral("!"));
}

void ChatModel::unload() {
    if (!m_loaded)
        return;
    m_loaded = false;
    m_shown = false;
    m_received.clear();
    m_monConnected.clear();
    emit receivedChanged(m_received);
    emit monConnectedChanged(m_monConnected);
    emit loadedChanged(false);
}

void ChatModel::receiveBroadcast(const QString& line) {
    m_monitor.playSound(440, 50);
    m_monitor.playSound(622, 50);
    m_monitor.playSound(880, 50);
    ensureLoaded();
    m_received = line + QStringLiteral("\r\n") + m_received;
    // A flood of broadcasts must not grow the box without end: the oldest whole lines give way.
    if (m_received.size() > kMaxReceived) {
        const qsizetype cut = m_received.lastIndexOf(QStringLiteral("\r\n"), kMaxReceived - 2);
        m_received.truncate(cut > 0 ? cut + 2 : kMaxReceived);
    }
    emit receivedChanged(m_received);
    if (!m_monitor.ui.isChecked(MenuItem::DisableChat))
        show();
}

void ChatModel::receiveConnected(const QString& list) {
    if (!m_monitor.relay->startupDone())
        return;
    // Writing to the window's box loads it, as any use of the window does.
    ensureLoaded();
    m_monConnected = list;
    emit monConnectedChanged(m_monConnected);
}

void ChatModel::sendLine(const QString& text) {
    send(QStringLiteral("@") + text);
}

void ChatModel::focusReceived() {
    if (m_loaded)
        send(QStringLiteral("!"));
}

void ChatModel::clearReceived() {
    m_received.clear();
    emit receivedChanged(m_received);
}

void ChatModel::showFromMenu() {
    if (!m_monitor.ui.isChecked(MenuItem::DisableChat))
        show();
}

void ChatModel::toggleDisabled() {
    m_monitor.ui.setMenuChecked(MenuItem::DisableChat, !m_monitor.ui.isChecked(MenuItem::DisableChat));
}

void ChatModel::show() {
    ensureLoaded();
    m_shown = true;
    emit showRequested();
}

void ChatModel::send(const QString& text) {
    if (m_monitor.link)
        m_monitor.link->sendCommand(text);
}

} // namespace corvane
