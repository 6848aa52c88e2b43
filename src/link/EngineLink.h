#pragma once
// The one link to the engine: chosen at load (UDP unless the TCP key is present), pointed at the
// engine by connectEngine(), used by every Part that sends a command. Received data is framed into
// messages and stored in the MessageQueue.

#include <QObject>
#include <QString>
#include <functional>

namespace corvane {

class EngineLink : public QObject {
    Q_OBJECT
public:
    ~EngineLink() override = default;
    // SendCommand: one command; over UDP as one datagram, over TCP followed by "|". Errors are ignored.
    virtual void sendCommand(const QString& command) = 0;
    // ConnectEngine: UDP binds and sets the remote end; TCP connects asynchronously (the window stays
    // live) and calls `done` when the attempt has ended either way.
    virtual void connectEngine(std::function<void()> done = {}) = 0;
    // Closes the link, ignoring errors.
    virtual void close() = 0;
    virtual bool isUdp() const = 0;
};

} // namespace corvane
