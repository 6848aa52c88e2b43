#pragma once
// Timer2 first waits for the board to stop growing and completes it; from then on it pings the relay
// ("W") along the command path and expects "+W" before the ping's deadline. A missed deadline marks
// the relay down, reconnects and, when the relay's window title is configured, kills the relay so that
// it can be restarted, allowing it 60 seconds before the next time-out. Timer1 greys the
// acknowledgement and replication indicators one second after they were lit.

#include "common/PollingWait.h"
#include "platform/RelayTerminator.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <memory>

namespace corvane {

class Monitor;

class RelayWatchdog : public QObject {
    Q_OBJECT
public:
    static constexpr int kCompletionMarginTwips = 3000;
    static constexpr int kGraceSeconds = 60;
    static constexpr int kRefreshPauseMs = 1000;
    static constexpr int kBeepHz = 620;
    static constexpr int kBeepMs = 250;
    static constexpr const char* kTerminated = "UDPRelay terminated";
    static constexpr const char* kNotTerminated = "Could not terminate UDPRelay";
    static constexpr const char* kNotFound = "Could not Find UDPRelay to terminate";

    // Installs the ticks of Timer2 and Timer1. Relay termination works on the X11 display unless
    // another terminator is set.
    explicit RelayWatchdog(Monitor& monitor);
    ~RelayWatchdog() override;

    void setTerminator(std::unique_ptr<RelayTerminator> terminator) { m_terminator = std::move(terminator); }

    // One Timer2 tick: board completion until the board is ready, the relay watchdog afterwards.
    void tick();
    // One Timer1 tick.
    void resetIndicators();
    // An indicator was lit: Timer1 greys it a second later.
    void startIndicatorReset();
    // The relay answered a ping ("+W").
    void pingAnswered();

    bool boardReady() const;  // the board has stopped growing and was completed
    bool startupDone() const; // the board completion has run to its end
    bool relayDown() const;   // the relay did not answer the last ping in time
    // Timer2's period: the completion's and, once the relay was killed, the grace period's.
    int period() const;

signals:
    // The board was completed: the marks are cleared and the configured group colours applied.
    void boardCompleted();
    // The relay was killed and given its pause: the engine is asked for its description again.
    void refreshWanted();

public:

    // The ping's deadline; invalid while none was set, which counts as long past.
    const QDateTime& deadline() const { return m_deadline; }
    // LastBuiltIndex as the previous tick saw it.
    int savedIndex() const { return m_savedIndex; }

private:
    void completionTick();
    void completeBoard();
    void watchTick();
    void pingTimedOut(const QDateTime& now);
    void terminateRelay(const QDateTime& now);
    void send(const QString& command);

    Monitor& m_monitor;
    std::unique_ptr<RelayTerminator> m_terminator;
    int m_savedIndex = 0;
    QDateTime m_deadline;
    Delay m_refreshPause;
};

} // namespace corvane
