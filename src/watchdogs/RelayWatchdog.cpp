#include "watchdogs/RelayWatchdog.h"

#include "alarms/AlarmList.h"
#include "app/Monitor.h"
#include "board/BoardModel.h"
#include "common/LegacyText.h"
#include "link/EngineLink.h"
#include "link/LinkActions.h"
#include "platform/Tones.h"
#include "platform/X11Windows.h"

#include <iterator>

namespace corvane {

RelayWatchdog::RelayWatchdog(Monitor& monitor)
    : m_monitor(monitor), m_terminator(std::make_unique<x11::X11RelayTerminator>()),
      m_refreshPause(monitor.platform.clock) {
    m_monitor.timer2->setCallback([this] { tick(); });
    m_monitor.timer1->setCallback([this] { resetIndicators(); });
}

RelayWatchdog::~RelayWatchdog() = default;

void RelayWatchdog::startIndicatorReset() {
    m_monitor.timer1->setEnabled(true);
}

void RelayWatchdog::pingAnswered() {
    m_monitor.watchdog.relayDown = false;
    m_monitor.watchdog.pingAnswered = true;
}

bool RelayWatchdog::boardReady() const {
    return m_monitor.watchdog.boardReady;
}

bool RelayWatchdog::startupDone() const {
    return m_monitor.watchdog.startupDone;
}

bool RelayWatchdog::relayDown() const {
    return m_monitor.watchdog.relayDown;
}

int RelayWatchdog::period() const {
    return m_monitor.timer2->interval();
}

void RelayWatchdog::tick() {
    if (m_monitor.watchdog.boardReady)
        watchTick();
    else
        completionTick();
}

void RelayWatchdog::resetIndicators() {
    MainWindowModel& ui = m_monitor.ui;
    ui.setBack(Element::AckLbl, kGrey);
    ui.setBack(Element::Repl, kGrey);
    ui.setCaption(Element::Repl, QStringLiteral("Replic"));
    m_monitor.timer1->setEnabled(false);
}

void RelayWatchdog::completionTick() {
    if (!m_monitor.board)
        return;
    // The board is complete once a whole tick has passed without a new cell.
    const int last = m_monitor.board->lastBuiltIndex();
    if (last == m_savedIndex)
        completeBoard();
    m_savedIndex = last;
}

void RelayWatchdog::completeBoard() {
    MainWindowModel& ui = m_monitor.ui;
    BoardModel& board = *m_monitor.board;
    if (const ChannelCell* lowest = board.cell(board.highestBuiltIndex())) {
        const int height = lowest->back.top() + lowest->back.height() + kCompletionMarginTwips;
        ui.setClientSize(QSize(ui.clientSize().width(), height));
    }
    m_monitor.watchdog.boardReady = true;
    board.fillTheLabels();
    m_monitor.watchdog.startupDone = true;
    send(QStringLiteral("W")); // the first ping
    ui.requestRaise();
    send(QStringLiteral("SSSSS"));
    emit boardCompleted();
}

void RelayWatchdog::watchTick() {
    const QDateTime now = m_monitor.platform.clock.now();
    const int period = m_monitor.timer3->interval();
    if (m_monitor.watchdog.pingAnswered) {
        send(QStringLiteral("W"));
        // P / 30 seconds: 50 s with the default 1500 ms heartbeat tick.
        m_deadline = now.addMSecs(static_cast<qint64>(period) * 1000 / 30);
        m_monitor.watchdog.pingAnswered = false;
    } else if (!m_deadline.isValid() || now > m_deadline) {
        pingTimedOut(now);
    } else {
        send(QStringLiteral("W"));
    }
    m_monitor.timer2->setInterval(10 * period);
}

void RelayWatchdog::pingTimedOut(const QDateTime& now) {
    MainWindowModel& ui = m_monitor.ui;
    ui.setCaption(Element::AckLbl, QStringLiteral("W"));
    ui.setBack(Element::AckLbl, kRed);
    m_monitor.watchdog.relayDown = true;
    // ReConnect, and the ping once the connect has ended: a TCP connect takes a while, and a ping sent
    // before it is connected is lost, which would leave the deadline past and reconnect at every tick.
    reconnect(m_monitor.link, *m_monitor.linkHealth, m_monitor.computerName, [this] { send(QStringLiteral("W")); });
    // Without a relay title the deadline stays past, so every later tick reconnects again.
    if (!m_monitor.config.relayWindowTitle.isEmpty())
        terminateRelay(now);
}

void RelayWatchdog::terminateRelay(const QDateTime& now) {
    m_deadline = now.addSecs(kGraceSeconds); // time for the relay to be restarted
    QString text;
    switch (m_terminator->terminateWindowOwner(m_monitor.config.relayWindowTitle)) {
    case RelayTermination::Terminated:
        text = QLatin1String(kTerminated);
        break;
    case RelayTermination::Refused:
        text = QLatin1String(kNotTerminated);
        break;
    case RelayTermination::NotFound:
        text = QLatin1String(kNotFound);
        break;
    }
    if (text != QLatin1String(kNotFound))
        m_monitor.platform.tones.play(kBeepHz,
                                      kBeepMs); // a window was found: beep whatever the sounds menu says
    const QString line = alarmStamp(m_monitor.platform.clock.now()) + text;
    if (m_monitor.alarms)
        m_monitor.alarms->appendAlarmLine(line);
    else
        m_monitor.ui.setCaption(Element::LastAlarm, line);
    // Give the relay a moment before the engine is asked for its description again.
    m_refreshPause.start(kRefreshPauseMs, [this] { emit refreshWanted(); });
}

void RelayWatchdog::send(const QString& command) {
    if (m_monitor.link)
        m_monitor.link->sendCommand(command);
}

} // namespace corvane
