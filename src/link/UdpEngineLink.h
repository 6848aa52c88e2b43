#pragma once
// The UDP link: every datagram from the engine is one message, every command one datagram.

#include "link/EngineLink.h"
#include "link/LinkSettings.h"

#include <QHostAddress>
#include <QUdpSocket>

namespace corvane {

class MessageQueue;

class UdpEngineLink final : public EngineLink {
    Q_OBJECT
public:
    UdpEngineLink(MessageQueue& queue, LinkSettings settings);
    ~UdpEngineLink() override;

    void sendCommand(const QString& command) override;
    void connectEngine(std::function<void()> done = {}) override;
    void close() override;
    bool isUdp() const override { return true; }
    std::int64_t discardedCount() const override;

    // The local port the socket is bound to, 0 when it is not bound.
    quint16 localPort() const { return m_socket.localPort(); }

private:
    void readDatagrams();

    MessageQueue& m_queue;
    LinkSettings m_settings;
    QUdpSocket m_socket;
    QHostAddress m_engine;
    int m_lookupId = -1;
    QByteArray m_buffer;
};

} // namespace corvane
