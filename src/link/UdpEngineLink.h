#pragma once
// The UDP link: every datagram from the engine is one message, every command one datagram. Only the
// engine's own address (and the further senders the site allows) is heard; the port is the monitor's
// alone.

#include "link/EngineLink.h"
#include "link/LinkSettings.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QStringList>
#include <QUdpSocket>
#include <memory>
#include <optional>

namespace corvane {

class Clock;
class MessageQueue;
class Timer;

class UdpEngineLink final : public EngineLink {
    Q_OBJECT
public:
    // A host name gets as long to resolve as the TCP connect gives it.
    static constexpr int kLookupMs = 2000;
    // Commands sent while the engine's name is being looked up wait for it, this many at most.
    static constexpr int kMaxHeldCommands = 1000;
    // Room in the kernel for a burst while message processing catches up; the system may grant less.
    static constexpr int kReceiveBuffer = 8 * 1024 * 1024;
    // Reports about strangers' datagrams and about a taken port come no more often than this.
    static constexpr qint64 kReportEveryMs = 60000;
    // Strangers named one by one in a report; the rest are summed up.
    static constexpr int kMaxNamedStrangers = 16;

    UdpEngineLink(Clock& clock, MessageQueue& queue, LinkSettings settings);
    ~UdpEngineLink() override;

    void sendCommand(const QString& command) override;
    void connectEngine(std::function<void()> done = {}) override;
    void close() override;
    bool isUdp() const override { return true; }
    // Datagrams lost: those the kernel dropped, as last sampled (at most once a second), and the
    // engine's datagrams still waiting in the socket when it was closed.
    std::int64_t discardedCount() const override;

    // The local port the socket is bound to, 0 when it is not bound.
    quint16 localPort() const { return m_socket.localPort(); }
    // The receive buffer the system granted, in bytes as it reports them; 0 when not bound.
    int receiveBufferBytes() const { return m_grantedBuffer; }
    // Datagrams the kernel dropped on this link's sockets so far, read now; -1 when the system does not
    // tell.
    std::int64_t kernelDrops() const;
    // Datagrams from senders that are not heard, since the start.
    std::int64_t ignoredCount() const { return m_ignoredTotal; }

private:
    void startLookup(const QString& host);
    void lookupEnded(const QList<QHostAddress>& addresses, const QString& host);
    void bindSocket();
    void transmit(const QString& command);
    void readDatagrams();
    bool isHeard(const QHostAddress& sender) const;
    void countStranger(const QHostAddress& sender);
    void reportStrangers();
    std::int64_t socketDrops() const;

    Clock& m_clock;
    MessageQueue& m_queue;
    LinkSettings m_settings;
    // With no engine named there is nobody to hear; asked for every datagram, so decided once.
    bool m_engineNamed = false;
    QUdpSocket m_socket;
    QByteArray m_buffer;
    int m_grantedBuffer = 0;

    // Where commands go, and every address whose datagrams are taken.
    QHostAddress m_engine;
    QList<QHostAddress> m_engineAddresses;
    QList<QHostAddress> m_allowed;
    bool m_settingsChecked = false;

    // The engine's name while it is being looked up, with what waits for it.
    bool m_lookingUp = false;
    int m_lookupId = -1;
    std::unique_ptr<Timer> m_lookupLimit;
    QStringList m_heldCommands;
    QList<std::function<void()>> m_waitingConnects;
    bool m_reportedUnresolved = false;

    std::optional<qint64> m_lastBindReport;
    bool m_waitingForRoom = false;

    QHash<QString, std::int64_t> m_strangers; // since the last report, by address
    std::int64_t m_otherStrangers = 0;        // beyond the named ones
    std::int64_t m_ignoredTotal = 0;
    std::optional<qint64> m_lastStrangerReport;
    std::unique_ptr<Timer> m_strangerReport;

    // Drops of the sockets closed before the current one, and the last sample.
    std::int64_t m_dropsOfClosedSockets = 0;
    std::int64_t m_lostAtClose = 0;
    mutable std::int64_t m_sampledDrops = 0;
    mutable std::optional<qint64> m_sampledAtMs;
};

} // namespace corvane
