#pragma once
// The TCP link: messages in both directions end with "|". The connect is a bounded poll of the
// socket's state that lets the event loop run between looks.

#include "link/EngineLink.h"
#include "link/LinkSettings.h"
#include "link/TcpFraming.h"

#include <QTcpSocket>
#include <memory>

namespace corvane {

class Clock;
class MessageQueue;
class Timer;

class TcpEngineLink final : public EngineLink {
    Q_OBJECT
public:
    // Looks while connecting before giving up; the same bound holds for a socket that stays closed or
    // closing after the connect was started.
    static constexpr int kMaxConnectingLooks = 10;
    // A host name may take longer to resolve than a connect to take; still, the wait ends.
    static constexpr int kMaxLookupLooks = 100;
    static constexpr int kLookMs = 20;

    TcpEngineLink(Clock& clock, MessageQueue& queue, LinkSettings settings);
    ~TcpEngineLink() override;

    void sendCommand(const QString& command) override;
    void connectEngine(std::function<void()> done = {}) override;
    void close() override;
    bool isUdp() const override { return false; }
    bool isConnecting() const override { return m_polling; }
    std::int64_t discardedCount() const override { return m_framing.discardedCount(); }

    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    quint16 localPort() const { return m_socket.localPort(); }
    const TcpFraming& framing() const { return m_framing; }

private:
    // Starts a new connection; the old stream's unfinished message cannot be completed by it.
    void openConnection();
    void look();
    void endAttempt(bool connected);
    void readSocket();
    void resumeFraming();
    void holdBack();
    void reportFailures();

    MessageQueue& m_queue;
    LinkSettings m_settings;
    QTcpSocket m_socket;
    TcpFraming m_framing;
    std::unique_ptr<Timer> m_lookTimer;
    std::function<void()> m_done;
    bool m_polling = false;
    bool m_errored = false;
    bool m_closingOurselves = false;
    bool m_reportedUnresolved = false;
    int m_connectingLooks = 0;
    int m_otherLooks = 0;
    int m_lookupLooks = 0;
};

} // namespace corvane
