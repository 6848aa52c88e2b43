#include "windows/ChatModel.h"

#include "alarms/Sounds.h"
#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"
#include "link/LinkSocket.h"
#include "watchdogs/RelayWatchdog.h"

namespace corvane {

ChatModel::ChatModel(MainWindowModel& ui, const MonitorConfig& config, LinkSocket& link, const Sounds& sounds,
                     const RelayWatchdog& relay)
    : m_ui(ui), m_config(config), m_link(link), m_sounds(sounds), m_relay(relay) {
    m_ui.setMenuAction(MenuItem::MegBst, [this] { showFromMenu(); });
    m_ui.setMenuAction(MenuItem::DisableChat, [this] { toggleDisabled(); });
}

void ChatModel::ensureLoaded() {
    if (m_loaded)
        return;
    m_loaded = true;
    m_caption = QStringLiteral("Chat ") + m_config.title;
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
    m_sounds.play(440, 50);
    m_sounds.play(622, 50);
    m_sounds.play(880, 50);
    ensureLoaded();
    m_received = line + QStringLiteral("\r\n") + m_received;
    // A flood of broadcasts must not grow the box without end: the oldest whole lines give way.
    if (m_received.size() > kMaxReceived) {
        const qsizetype cut = m_received.lastIndexOf(QStringLiteral("\r\n"), kMaxReceived - 2);
        m_received.truncate(cut > 0 ? cut + 2 : kMaxReceived);
    }
    emit receivedChanged(m_received);
    if (!m_ui.isChecked(MenuItem::DisableChat))
        show();
}

void ChatModel::receiveConnected(const QString& list) {
    if (!m_relay.startupDone())
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
    if (!m_ui.isChecked(MenuItem::DisableChat))
        show();
}

void ChatModel::toggleDisabled() {
    m_ui.setMenuChecked(MenuItem::DisableChat, !m_ui.isChecked(MenuItem::DisableChat));
}

void ChatModel::show() {
    ensureLoaded();
    m_shown = true;
    emit showRequested();
}

void ChatModel::send(const QString& text) {
    m_link.sendCommand(text);
}

} // namespace corvane
