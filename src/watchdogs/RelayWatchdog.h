#pragma once
// Timer2 first waits for the board to stop growing and completes it; from then on it pings the relay
// ("W") along the command path and expects "+W" before the ping's deadline. A missed deadline marks
// the relay down, reconnects and, when the relay's window title is configured, kills the relay so that
// it can be restarted, allowing it 60 seconds before the next time-out. Timer1 greys the
// acknowledgement and replication indicators one second after they were lit.

#include "platform/PollingWait.h"
#include "platform/RelayTerminator.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace corvane {

class AlarmList;
class BoardModel;
class Clock;
class LinkSocket;
class MainWindowModel;
class Timer;
class ToneOutput;
struct MonitorConfig;

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

    // ReConnect, then `then` once the connect attempt has ended.
    using Reconnect = std::function<void(std::function<void()> then)>;
    // The heartbeat watchdog's tick period in ms: the pings are paced by it.
    using HeartbeatPeriod = std::function<int()>;

    // Creates Timer1 (1 s, off until an indicator lights) and Timer2 (5 s, running). Relay termination
    // works on the X11 display unless another terminator is set.
    RelayWatchdog(MainWindowModel& ui, const MonitorConfig& config, Clock& clock, ToneOutput& tones,
                  LinkSocket& link, BoardModel& board, AlarmList& alarms, Reconnect reconnect,
                  HeartbeatPeriod heartbeatPeriod);
    ~RelayWatchdog() override;

    void setTerminator(std::unique_ptr<RelayTerminator> terminator) { m_terminator = std::move(terminator); }

    // Timer2 runs (again, its period counted from now), or stops: no completion and no pings.
    void start();
    void stop();
    bool running() const;
    // One Timer2 tick: board completion until the board is ready, the relay watchdog afterwards.
    void tick();
    // What the tick does once a whole tick passed without a new cell.
    void completeBoard();
    // One Timer1 tick.
    void resetIndicators();
    // An indicator was lit: Timer1 greys it a second later.
    void startIndicatorReset();
    bool indicatorResetPending() const;
    // The relay answered a ping ("+W").
    void pingAnswered();

    bool boardReady() const { return m_boardReady; }   // the board has stopped growing and was completed
    bool startupDone() const { return m_startupDone; } // the board completion has run to its end
    bool relayDown() const { return m_relayDown; }     // the relay did not answer the last ping in time
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
    void watchTick();
    void pingTimedOut(const QDateTime& now);
    void terminateRelay(const QDateTime& now);

    MainWindowModel& m_ui;
    const MonitorConfig& m_config;
    Clock& m_clock;
    ToneOutput& m_tones;
    LinkSocket& m_link;
    BoardModel& m_board;
    AlarmList& m_alarms;
    Reconnect m_reconnect;
    HeartbeatPeriod m_heartbeatPeriod;
    std::unique_ptr<Timer> m_timer1; // IndicatorResetTimer
    std::unique_ptr<Timer> m_timer2;
    std::unique_ptr<RelayTerminator> m_terminator;
    int m_savedIndex = 0;
    QDateTime m_deadline;
    bool m_boardReady = false;
    bool m_startupDone = false;
    bool m_relayDown = false;
    bool m_pingAnswered = false; // the relay answered the ping in flight
    Delay m_refreshPause;
};

} // namespace corvane
