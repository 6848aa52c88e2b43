#pragma once
// The simulated engine's network side: the UDP socket and the TCP server that monitors talk to, the
// answers to their requests, the periodic heartbeats, clock texts, traffic and alarms, and the control
// lines that tests use to change its behaviour while it runs.

#include "SimBoard.h"
#include "SimOptions.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;

namespace corvane::sim {

class SimEngine : public QObject {
    Q_OBJECT
public:
    // `print` receives every line meant for stdout, without its line end.
    SimEngine(const SimOptions& options, std::function<void(const QString&)> print);
    ~SimEngine() override;

    // Opens both sockets; on failure `error` says why.
    bool listen(QString& error);
    quint16 udpPort() const;
    quint16 tcpPort() const;

    // One control line from stdin.
    void control(const QString& line);

signals:
    void quitRequested();

private:
    struct TcpClient;
    struct UdpPeer;
    // Where a command came from; the answers go back there.
    struct Origin {
        TcpClient* tcp = nullptr;
        UdpPeer* udp = nullptr;
    };

    void acceptConnections();
    void readTcp(TcpClient* client);
    // The monitor or the network ended the connection: forget it at once.
    void dropTcp(TcpClient* client);
    // We end the connection: everything already written still reaches the monitor first.
    void closeTcp(TcpClient* client);
    // Removes the client from the open connections; null when it is not among them.
    std::unique_ptr<TcpClient> takeTcp(TcpClient* client);
    // Prints what went out on a connection that has ended, and who ended it.
    void closed(const TcpClient& client, const char* closedBy);
    void printSent(const TcpClient* client, const char* closedBy);
    void readUdp();
    void handleCommand(Origin from, const QString& command);

    void sendTo(Origin to, const QString& message);
    void sendTo(TcpClient* client, const QString& message);
    void sendTo(UdpPeer* peer, const QString& message);
    void sendAll(const QString& message);
    bool anyMonitor() const { return !m_tcp.empty() || !m_udp.empty(); }
    void acknowledge(Origin to, QChar letter, const QString& rest = {});
    QString monitorList() const;
    QString peerText(const QHostAddress& address, quint16 port) const;

    void heartbeat();
    void clockTick();
    void trafficTick();
    void startBlast(qint64 count, double rate);
    void pumpTcpBlast(TcpClient* client);
    void pumpUdpBlast();
    void checkBlastFinished();
    QString blastMessage(qint64 n) const;
    void setTimer(QTimer& timer, int intervalMs);
    void closeAllTcp();

    // Faults for soak runs.
    bool silent() const { return m_uptime.elapsed() < m_silentUntilMs; }
    bool pingsMuted() const { return m_uptime.elapsed() < m_pingsMutedUntilMs; }
    QByteArray garbageMessage();
    void sendGarbage(qint64 count);
    void sendOversized(qint64 bytes);
    void silence(qint64 ms);
    void mutePings(qint64 ms);
    void scheduleFault();
    void faultTick();

    SimOptions m_options;
    std::function<void(const QString&)> m_print;
    SimBoard m_board;
    std::unique_ptr<QUdpSocket> m_udpSocket;
    std::unique_ptr<QTcpServer> m_server;
    std::vector<std::unique_ptr<TcpClient>> m_tcp;
    std::vector<std::unique_ptr<UdpPeer>> m_udp;
    bool m_hungTrunkOn = false;
    bool m_listening = true;
    int m_nextConnection = 1;

    // Fault modes: their own random numbers, so the board and traffic stay those of the seed.
    QRandomGenerator m_faultRandom;
    QTimer m_faultTimer;
    bool m_faultsOn = false;
    QElapsedTimer m_uptime;
    qint64 m_silentUntilMs = 0;
    qint64 m_pingsMutedUntilMs = 0;

    QTimer m_heartbeatTimer;
    QTimer m_clockTimer;
    QTimer m_rateTimer; // traffic, alarms and paced UDP blasts
    QElapsedTimer m_trafficSince;
    qint64 m_trafficSent = 0;
    QElapsedTimer m_alarmSince;
    qint64 m_alarmsSent = 0;

    // The blast in progress: numbered messages 1..m_blastCount.
    qint64 m_blastCount = 0;
    double m_blastRate = 0;
    qint64 m_udpBlastNext = 0; // next number for the UDP peers, 0 when none
    QElapsedTimer m_blastSince;
    bool m_blastRunning = false;
};

} // namespace corvane::sim
