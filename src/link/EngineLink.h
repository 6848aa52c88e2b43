#pragma once
// The one link to the engine: chosen at load (UDP unless the TCP key is present), pointed at the
// engine by connectEngine(), used by every Part that sends a command. Received data is framed into
// messages and stored in the MessageQueue.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

namespace corvane {

class EngineLink : public QObject {
    Q_OBJECT
public:
    ~EngineLink() override = default;
    // SendCommand: one command; over UDP as one datagram, over TCP followed by "|". Errors are ignored.
    virtual void sendCommand(const QString& command) = 0;
    // ConnectEngine: UDP binds and sets the remote end; TCP connects asynchronously (the window stays
    // live) and calls `done` when the attempt has ended either way. Starting again while an attempt is
    // under way ends that attempt (its `done` is called) and starts afresh.
    virtual void connectEngine(std::function<void()> done = {}) = 0;
    // Closes the link, ignoring errors.
    virtual void close() = 0;
    virtual bool isUdp() const = 0;
    // Whether a connect attempt is under way (TCP only).
    virtual bool isConnecting() const { return false; }
    // Received text lost: UDP datagrams the kernel dropped for want of room, overlong TCP messages.
    virtual std::int64_t discardedCount() const = 0;

signals:
    // ConnectEngine reached the connected state (TCP), with the connection's local port.
    void connected(quint16 localPort);
    // The engine or the network closed the TCP connection (not sent for our own close()).
    void closedByPeer();
    // A TCP arrival failed (an overlong message was discarded). Sent after the arrival is handled.
    void arrivalFailed();
    // Something the operator must hear about the link (a port taken, a name that does not resolve,
    // datagrams from strangers), as the text of an alarm line.
    void problem(const QString& text);
};

} // namespace corvane
