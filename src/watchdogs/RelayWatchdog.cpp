#include "watchdogs/RelayWatchdog.h"

#include "alarms/AlarmList.h"
#include "board/BoardModel.h"
#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"
#include "link/LinkSocket.h"
#include "platform/Clock.h"
#include "platform/Tones.h"
#include "platform/X11Windows.h"

namespace corvane {

RelayWatchdog::RelayWatchdog(MainWindowModel& ui, const MonitorConfig& config, Clock& clock,
                             ToneOutput& tones, LinkSocket& link, BoardModel& board, AlarmList& alarms,
                             Reconnect reconnect, HeartbeatPeriod heartbeatPeriod)
    : m_ui(ui), m_config(config), m_clock(clock), m_tones(tones), m_link(link), m_board(board),
      m_alarms(alarms), m_reconnect(std::move(reconnect)), m_heartbeatPeriod(std::move(heartbeatPeriod)),
      m_timer1(clock.createTimer()), m_timer2(clock.createTimer()),
      m_terminator(std::make_unique<x11::X11RelayTerminator>()), m_refreshPause(clock) {
    m_timer1->setInterval(1000);
    m_timer2->setInterval(5000);
    m_timer2->setEnabled(true);
    m_timer2->setCallback([this] { tick(); });
    m_timer1->setCallback([this] { resetIndicators(); });
}

RelayWatchdog::~RelayWatchdog() = default;

void RelayWatchdog::start() {
    m_timer2->setEnabled(true);
}

void RelayWatchdog::stop() {
    m_timer2->setEnabled(false);
}

bool RelayWatchdog::running() const {
    return m_timer2->isEnabled();
}

void RelayWatchdog::startIndicatorReset() {
    m_timer1->setEnabled(true);
}

bool RelayWatchdog::indicatorResetPending() const {
    return m_timer1->isEnabled();
}

void RelayWatchdog::pingAnswered() {
    m_relayDown = false;
    m_pingAnswered = true;
}

int RelayWatchdog::period() const {
    return m_timer2->interval();
}

void RelayWatchdog::tick() {
    if (m_boardReady)
        watchTick();
    else
        completionTick();
}

void RelayWatchdog::resetIndicators() {
    m_ui.setBack(Element::AckLbl, kGrey);
    m_ui.setBack(Element::Repl, kGrey);
    m_ui.setCaption(Element::Repl, QStringLiteral("Replic"));
    m_timer1->setEnabled(false);
}

void RelayWatchdog::completionTick() {
    // The board is complete once a whole tick has passed without a new cell.
    const int last = m_board.lastBuiltIndex();
    if (last == m_savedIndex)
        completeBoard();
    m_savedIndex = last;
}

void RelayWatchdog::completeBoard() {
    if (const ChannelCell* lowest = m_board.cell(m_board.highestBuiltIndex())) {
        const int height = lowest->back.top() + lowest->back.height() + kCompletionMarginTwips;
        m_ui.setClientSize(QSize(m_ui.clientSize().width(), height));
    }
    m_boardReady = true;
    m_board.fillTheLabels();
    m_startupDone = true;
    m_link.sendCommand(QStringLiteral("W")); // the first ping
    m_ui.requestRaise();
    m_link.sendCommand(QStringLiteral("SSSSS"));
    emit boardCompleted();
}

void RelayWatchdog::watchTick() {
    const QDateTime now = m_clock.now();
    const int period = m_heartbeatPeriod();
    if (m_pingAnswered) {
        m_link.sendCommand(QStringLiteral("W"));
        // P / 30 seconds: 50 s with the default 1500 ms heartbeat tick.
        m_deadline = now.addMSecs(static_cast<qint64>(period) * 1000 / 30);
        m_pingAnswered = false;
    } else if (!m_deadline.isValid() || now > m_deadline) {
        pingTimedOut(now);
    } else {
        m_link.sendCommand(QStringLiteral("W"));
    }
    m_timer2->setInterval(10 * period);
}

void RelayWatchdog::pingTimedOut(const QDateTime& now) {
    m_ui.setCaption(Element::AckLbl, QStringLiteral("W"));
    m_ui.setBack(Element::AckLbl, kRed);
    m_relayDown = true;
    // ReConnect, and the ping once the connect has ended: a TCP connect takes a while, and a ping sent
    // before it is connected is lost, which would leave the deadline past and reconnect at every tick.
    m_reconnect([this] { m_link.sendCommand(QStringLiteral("W")); });
    // Without a relay title the deadline stays past, so every later tick reconnects again.
    if (!m_config.relayWindowTitle.isEmpty())
        terminateRelay(now);
}

void RelayWatchdog::terminateRelay(const QDateTime& now) {
    m_deadline = now.addSecs(kGraceSeconds); // time for the relay to be restarted
    QString text;
    switch (m_terminator->terminateWindowOwner(m_config.relayWindowTitle)) {
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
        m_tones.play(kBeepHz, kBeepMs); // a window was found: beep whatever the sounds menu says
    m_alarms.raise(text);
    // Give the relay a moment before the engine is asked for its description again.
    m_refreshPause.start(kRefreshPauseMs, [this] { emit refreshWanted(); });
}

} // namespace corvane
