#include "messages/StatusHandlers.h"

#include "alarms/AlarmList.h"
#include "app/Monitor.h"
#include "board/BoardModel.h"
#include "board/GroupTables.h"
#include "common/LegacyText.h"
#include "messages/RefusedCommands.h"
#include "watchdogs/HeartbeatWatchdog.h"
#include "watchdogs/RelayWatchdog.h"
#include "windows/ChatModel.h"

namespace corvane {

namespace {
// The relay watchdog's period at the default heartbeat period: only then does "+C" light an outer label.
constexpr int kDefaultRelayPeriodMs = 15000;
} // namespace

StatusHandlers::StatusHandlers(Monitor& monitor)
    : m_monitor(monitor), m_refusals(std::make_unique<RefusedCommands>(monitor)) {
    auto& d = m_monitor.dispatcher;
    d.setHandler('+', [this](QStringView body) { acknowledged(body); });
    d.setHandler('-', [this](QStringView body) { refused(body); });
    d.setHandler('S', [this](QStringView body) { switchDescription(body); });
    d.setHandler('D', [this](QStringView body) { groupName(body); });
    d.setHandler('W', [this](QStringView body) { heartbeat(body); });
    d.setHandler('T', [this](QStringView body) { clock(body); });
    d.setHandler('!', [this](QStringView body) { connectedMonitors(body); });
    d.setHandler('@', [this](QStringView body) { broadcast(body); });
}

StatusHandlers::~StatusHandlers() = default;

void StatusHandlers::setAck(QChar letter, bool positive) {
    m_monitor.ui.setCaption(Element::AckLbl, QString(letter));
    m_monitor.ui.setBack(Element::AckLbl, positive ? kGreen : kRed);
}

void StatusHandlers::indicatorResetOn() {
    m_monitor.relay->startIndicatorReset();
}

void StatusHandlers::resetWatchdogBar() {
    m_monitor.heartbeat->heartbeatArrived();
}

void StatusHandlers::acknowledged(QStringView body) {
    auto& ui = m_monitor.ui;
    if (!body.isEmpty()) {
        const QChar letter = body.front();
        const QStringView rest = body.mid(1);
        switch (letter.unicode()) {
        case u'A':
            ui.setBack(Element::Repl, kGreen);
            ui.setCaption(Element::Repl, QStringLiteral("Repl") + rest.toString());
            break;
        case u'C':
            ui.setBack(Element::Repl, kGreen);
            markReplicatedSpan(rest);
            setAck(letter, true);
            break;
        case u'N':
            ui.setBack(Element::Repl, kRed);
            break;
        case u'H':
            ui.setMenuChecked(MenuItem::HungTrunk, true);
            setAck(letter, true);
            ui.setCaption(Element::FreeVox, rest.toString());
            break;
        case u'h':
            ui.setMenuChecked(MenuItem::HungTrunk, false);
            setAck(letter, true);
            break;
        case u'W':
            setAck(letter, true);
            m_monitor.relay->pingAnswered();
            break;
        default:
            setAck(letter, true);
            break;
        }
    }
    indicatorResetOn();
}

void StatusHandlers::markReplicatedSpan(QStringView rest) {
    if (!m_monitor.board)
        return;
    BoardModel& board = *m_monitor.board;
    const auto span = leadingInt16(rest);
    // A span number that does not fit matches no label; every label then turns white.
    const int n = span ? *span : -1;
    bool found = false;
    for (int s = 0; s <= BoardModel::kMaxSpan; ++s) {
        if (!board.innerLabel(s).exists)
            continue;
        if (s == n) {
            found = true;
            if (m_monitor.relay->boardReady())
                board.setLabelBack(true, s, kRed);
        } else {
            board.setLabelBack(true, s, kWhite);
        }
    }
    if (found)
        return;
    for (int s = 0; s <= BoardModel::kMaxSpan; ++s) {
        if (!board.outerLabel(s).exists)
            continue;
        if (s == n) {
            if (m_monitor.relay->period() == kDefaultRelayPeriodMs)
                board.setLabelBack(false, s, kRed);
        } else {
            board.setLabelBack(false, s, kWhite);
        }
    }
}

void StatusHandlers::refused(QStringView body) {
    auto& ui = m_monitor.ui;
    if (!body.isEmpty()) {
        const QChar letter = body.front();
        const QStringView rest = body.mid(1);
        switch (letter.unicode()) {
        case u'A':
            ui.setBack(Element::Repl, kGreen);
            break;
        case u'N':
            ui.setBack(Element::Repl, kRed);
            ui.setCaption(Element::Repl, QStringLiteral("Repl") + rest.toString());
            break;
        case u'S':
            withdrawControl();
            break;
        default:
            setAck(letter, false);
            m_refusals->refused(letter);
            break;
        }
    }
    indicatorResetOn();
}

void StatusHandlers::withdrawControl() {
    auto& ui = m_monitor.ui;
    // Told once: the engine may repeat "-S", the controls are gone already.
    const bool news = ui.element(Element::Command2_0).visible || ui.element(Element::Command2_1).visible ||
                      ui.element(Element::Truncate).visible || ui.menu(MenuItem::Actions).enabled;
    // This monitor may watch the switch but no longer control it.
    ui.setMenuEnabled(MenuItem::Actions, false);
    ui.setVisible(Element::Command2_0, false);
    ui.setVisible(Element::Command2_1, false);
    ui.setVisible(Element::Truncate, false);
    if (!news)
        return;
    const QDateTime now = m_monitor.platform.clock.now();
    ui.setToolTip(Element::ControlWithdrawn,
                  QStringLiteral("The engine withdrew control from this monitor at %1: Exclude, Include "
                                 "and the Actions menu are off; the board is still watched.")
                      .arg(now.toString(QStringLiteral("MM/dd/yy hh:mm:ss"))));
    ui.setVisible(Element::ControlWithdrawn, true);
    if (m_monitor.alarms)
        m_monitor.alarms->appendAlarmLine(m_monitor.alarms->alarmLine(QStringLiteral(
            "Engine withdrew control from this monitor: Exclude, Include and Actions are off")));
}

void StatusHandlers::switchDescription(QStringView body) {
    const Fields fields(body);
    const qsizetype comma = body.indexOf(u',');
    if (comma >= 0)
        m_monitor.ui.setWindowCaption(m_monitor.config.title + u' ' + body.left(comma).toString());
    if (m_monitor.groups) {
        if (const auto countR = fields.int16(2))
            m_monitor.groups->growR(*countR);
        if (const auto countO = fields.int16(3))
            m_monitor.groups->growO(*countO);
    }
    setAck(u'S', true);
    indicatorResetOn();
}

void StatusHandlers::groupName(QStringView body) {
    const Fields fields(body);
    const auto index = leadingInt16(body);
    const auto kind = fields.int16(2);
    const QString text = fields.from(3).toString();
    if (index && kind && m_monitor.groups) {
        if (*kind != 0)
            m_monitor.groups->setNameR(*index, text);
        else
            m_monitor.groups->setNameO(*index, text);
    }
    setAck(u'D', true);
    if (m_monitor.board)
        m_monitor.board->fillTheLabels();
    indicatorResetOn();
}

void StatusHandlers::heartbeat(QStringView) {
    resetWatchdogBar();
}

void StatusHandlers::clock(QStringView body) {
    m_monitor.ui.setCaption(Element::BoxClock, body.toString());
    m_monitor.ui.setVisible(Element::BoxClock, true);
    m_monitor.heartbeat->clockArrived();
}

void StatusHandlers::connectedMonitors(QStringView body) {
    if (m_monitor.chat)
        m_monitor.chat->receiveConnected(body.toString());
}

void StatusHandlers::broadcast(QStringView body) {
    if (m_monitor.chat)
        m_monitor.chat->receiveBroadcast(body.toString());
}

} // namespace corvane
