#include "messages/StatusHandlers.h"

#include "board/BoardModel.h"
#include "board/GroupTables.h"
#include "common/LegacyText.h"
#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"
#include "messages/Dispatcher.h"
#include "messages/RefusedCommands.h"
#include "platform/Clock.h"

namespace corvane {

namespace {
// The relay watchdog's period at the default heartbeat period: only then does "+C" light an outer label.
constexpr int kDefaultRelayPeriodMs = 15000;
} // namespace

StatusHandlers::StatusHandlers(Dispatcher& d, MainWindowModel& ui, const MonitorConfig& config, Clock& clock_,
                               GroupTables& groups, BoardModel& board, RelayQueries relay)
    : m_ui(ui), m_config(config), m_clock(clock_), m_groups(groups), m_board(board),
      m_relay(std::move(relay)), m_refusals(std::make_unique<RefusedCommands>(clock_)) {
    connect(m_refusals.get(), &RefusedCommands::alarmRaised, this, &StatusHandlers::alarmRaised);
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
    m_ui.setCaption(Element::AckLbl, QString(letter));
    m_ui.setBack(Element::AckLbl, positive ? kGreen : kRed);
}

void StatusHandlers::acknowledged(QStringView body) {
    auto& ui = m_ui;
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
            emit pingAnswered();
            break;
        default:
            setAck(letter, true);
            break;
        }
    }
    emit indicatorLit();
}

void StatusHandlers::markReplicatedSpan(QStringView rest) {
    BoardModel& board = m_board;
    const auto span = leadingInt16(rest);
    // A span number that does not fit matches no label; every label then turns white.
    const int n = span ? *span : -1;
    bool found = false;
    for (int s = 0; s <= BoardModel::kMaxSpan; ++s) {
        if (!board.innerLabel(s).exists)
            continue;
        if (s == n) {
            found = true;
            if (m_relay.boardReady())
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
            if (m_relay.period() == kDefaultRelayPeriodMs)
                board.setLabelBack(false, s, kRed);
        } else {
            board.setLabelBack(false, s, kWhite);
        }
    }
}

void StatusHandlers::refused(QStringView body) {
    auto& ui = m_ui;
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
    emit indicatorLit();
}

void StatusHandlers::withdrawControl() {
    auto& ui = m_ui;
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
    const QDateTime now = m_clock.now();
    ui.setToolTip(Element::ControlWithdrawn,
                  QStringLiteral("The engine withdrew control from this monitor at %1: Exclude, Include "
                                 "and the Actions menu are off; the board is still watched.")
                      .arg(now.toString(QStringLiteral("MM/dd/yy hh:mm:ss"))));
    ui.setVisible(Element::ControlWithdrawn, true);
    emit alarmRaised(
        QStringLiteral("Engine withdrew control from this monitor: Exclude, Include and Actions are off"));
}

void StatusHandlers::switchDescription(QStringView body) {
    const Fields fields(body);
    const qsizetype comma = body.indexOf(u',');
    if (comma >= 0)
        m_ui.setWindowCaption(m_config.title + u' ' + body.left(comma).toString());
    if (const auto countR = fields.int16(2))
        m_groups.growR(*countR);
    if (const auto countO = fields.int16(3))
        m_groups.growO(*countO);
    setAck(u'S', true);
    emit indicatorLit();
}

void StatusHandlers::groupName(QStringView body) {
    const Fields fields(body);
    const auto index = leadingInt16(body);
    const auto kind = fields.int16(2);
    const QString text = fields.from(3).toString();
    if (index && kind) {
        if (*kind != 0)
            m_groups.setNameR(*index, text);
        else
            m_groups.setNameO(*index, text);
    }
    setAck(u'D', true);
    m_board.fillTheLabels();
    emit indicatorLit();
}

void StatusHandlers::heartbeat(QStringView) {
    emit heartbeatArrived();
}

void StatusHandlers::clock(QStringView body) {
    m_ui.setCaption(Element::BoxClock, body.toString());
    m_ui.setVisible(Element::BoxClock, true);
    emit clockArrived();
}

void StatusHandlers::connectedMonitors(QStringView body) {
    emit connectedReceived(body.toString());
}

void StatusHandlers::broadcast(QStringView body) {
    emit broadcastReceived(body.toString());
}

} // namespace corvane
