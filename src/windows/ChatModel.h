#pragma once
// The message broadcast window as plain state: whether it is loaded and shown, its caption and the
// texts of its boxes. The "@" and "!" messages and the menus write here; the chat window draws it and
// forwards the operator's typing. Closing the window unloads it and its texts are lost.

#include <QObject>
#include <QString>

namespace corvane {

class LinkSocket;
class MainWindowModel;
class RelayWatchdog;
class Sounds;
struct MonitorConfig;

class ChatModel : public QObject {
    Q_OBJECT
public:
    // The received box keeps this many characters at most; the oldest lines go first.
    static constexpr qsizetype kMaxReceived = 65535;

    // The connected monitors are taken only once `relay` tells that start-up is done.
    ChatModel(MainWindowModel& ui, const MonitorConfig& config, LinkSocket& link, const Sounds& sounds,
              const RelayWatchdog& relay);

    bool isLoaded() const { return m_loaded; }
    bool isShown() const { return m_shown; }
    QString caption() const { return m_caption; }
    // Received broadcast lines, newest first, each followed by CR LF.
    QString received() const { return m_received; }
    QString monConnected() const { return m_monConnected; }

    // Loads the window if it is not loaded: caption "Chat " + TITLE, and asks the engine for the list
    // of connected monitors.
    void ensureLoaded();
    // The window was closed: unloaded, its texts gone.
    void unload();

    // "@" from the engine: the chime, the line on top, and the window shown unless chat is disabled.
    void receiveBroadcast(const QString& line);
    // "!" from the engine: the connected monitors, once start-up is done.
    void receiveConnected(const QString& list);

    // Enter in the line being typed: sent as "@" + text, even when empty.
    void sendLine(const QString& text);
    // The window received the focus.
    void focusReceived();
    // "Clear": empties the received lines only.
    void clearReceived();
    // "&Message Broadcast Window": shows the window unless chat is disabled.
    void showFromMenu();
    // "Disable chat": flips the check mark, nothing else.
    void toggleDisabled();

signals:
    void loadedChanged(bool loaded);
    // The window is to be shown, not modal (it may already be).
    void showRequested();
    void receivedChanged(const QString& text);
    void monConnectedChanged(const QString& text);
    void captionChanged(const QString& caption);

private:
    void show();
    void send(const QString& text);

    MainWindowModel& m_ui;
    const MonitorConfig& m_config;
    LinkSocket& m_link;
    const Sounds& m_sounds;
    const RelayWatchdog& m_relay;
    bool m_loaded = false;
    bool m_shown = false;
    QString m_caption;
    QString m_received;
    QString m_monConnected;
};

} // namespace corvane
