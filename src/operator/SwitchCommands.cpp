#include "operator/SwitchCommands.h"

#include "board/BoardModel.h"
#include "common/LegacyText.h"
#include "common/MainWindowModel.h"
#include "link/LinkHealth.h"
#include "link/LinkSocket.h"
#include "platform/Dialogs.h"
#include "platform/Tones.h"
#include "watchdogs/RelayWatchdog.h"

#include <cmath>

namespace corvane {

namespace {
constexpr LegacyColor kYellow = 0x00FFFF; // RGB (255,255,0)
constexpr int kNoMarkBeepHz = 100;
constexpr int kNoMarkBeepMs = 300;

// The letter a Command2 button sends, by index; index 2 sends nothing.
QChar commandLetter(int index, bool truncate) {
    switch (index) {
    case SwitchCommands::kExclude:
        return truncate ? u'X' : u'Y';
    case SwitchCommands::kInclude:
        return u'x';
    case SwitchCommands::kMsgOn:
        return u'M';
    case SwitchCommands::kMsgOff:
        return u'm';
    case SwitchCommands::kStart:
        return u't';
    case SwitchCommands::kStop:
        return u'T';
    default:
        return QChar();
    }
}

constexpr Element kCommand2[] = {Element::Command2_0, Element::Command2_1, Element::Command2_2,
                                 Element::Command2_3, Element::Command2_4, Element::Command2_5,
                                 Element::Command2_6};
} // namespace

SwitchCommands::SwitchCommands(MainWindowModel& ui, LinkSocket& link, BoardModel& board, Clock& clock,
                               Dialogs& dialogs, ToneOutput& tones, LinkHealth& health, RelayWatchdog& relay,
                               QString computerName)
    : m_ui(ui), m_link(link), m_board(board), m_dialogs(dialogs), m_tones(tones), m_health(health),
      m_relay(relay), m_computerName(std::move(computerName)), m_runner(clock) {
    for (int i = 0; i < 7; ++i)
        ui.setElementAction(kCommand2[i], MainWindowModel::Gesture::Click, [this, i] { command2(i); });
    ui.setMenuAction(MenuItem::CommitDb1, [this] { commitDb(1); });
    ui.setMenuAction(MenuItem::CommitDb2, [this] { commitDb(2); });
    ui.setMenuAction(MenuItem::CommitDb7, [this] { commitDb(7); });
    ui.setMenuAction(MenuItem::HungTrunk, [this] { hungTrunk(); });
    ui.setMenuAction(MenuItem::KillLapLink, [this] { killLapLink(); });
    ui.setMenuAction(MenuItem::UnloadApp, [this] { unloadApp(); });
    ui.setMenuAction(MenuItem::RefreshInfo, [this] { refreshInfo(); });
    ui.setElementAction(Element::SSTab1, MainWindowModel::Gesture::DoubleClick,
                        [this] { toggleEngineButtons(); });
}

QString SwitchCommands::channelCommand(QChar letter, int id) {
    return QString(letter) + QStringLiteral("%1").arg(id, 4, 10, QLatin1Char('0'));
}

void SwitchCommands::sendEngineWide(const QString& text) {
    if (!m_link)
        return;
    if (!m_link.isUdp()) {
        m_link.sendCommand(text);
        return;
    }
    // Over UDP the socket is pointed at the engine again and bound before the command goes out.
    ActionRunner::Steps steps;
    steps.async([this](std::function<void()> done) {
        if (m_link)
            m_link.connectEngine(std::move(done));
        else
            done();
    });
    steps.then([this, text] { m_link.sendCommand(text); });
    m_runner.run(std::move(steps));
}

void SwitchCommands::addSendAndWait(ActionRunner::Steps& steps, const QString& text, const QString& letter) {
    steps.then([this, text] { m_link.sendCommand(text); });
    steps.waitUntil([this, letter] { return m_ui.element(Element::AckLbl).caption == letter; }, kAckLookMs,
                    kAckMaxLooks);
}

void SwitchCommands::refreshInfo(std::function<void()> finished) {
    ActionRunner::Steps steps;
    steps.then([this] { m_link.close(); });
    steps.async([this](std::function<void()> done) {
        if (m_link)
            m_link.connectEngine(std::move(done));
        else
            done();
    });
    steps.then([this] {
        m_ui.setBack(Element::AckLbl, kYellow);
        m_relay.startIndicatorReset();
    });
    // "DDDDD" only once start-up is done; the flag is read when the sequence gets there.
    steps.then([this] {
        if (!m_relay.startupDone())
            return;
        ActionRunner::Steps names;
        addSendAndWait(names, QStringLiteral("DDDDD"), QStringLiteral("D"));
        m_runner.run(std::move(names));
    });
    steps.then([this] { m_link.sendCommand(QStringLiteral("$") + m_computerName); });
    addSendAndWait(steps, QStringLiteral("SSSSS"), QStringLiteral("S"));
    addSendAndWait(steps, QStringLiteral("CCCCC"), QStringLiteral("C"));
    steps.then([this] {
        m_health.boardRequested();
        m_link.sendCommand(QStringLiteral("UUUUU"));
    });
    if (finished)
        steps.then(std::move(finished));
    m_runner.run(std::move(steps));
}

void SwitchCommands::unmarkAll() {
    for (int id : m_board.cellIds()) {
        if (m_board.cell(id) && !m_board.cell(id)->mark.isEmpty())
            m_board.setMark(id, QString());
    }
}

void SwitchCommands::command2(int index) {
    if (index == kUnmarkAll) {
        unmarkAll();
        return;
    }
    if (index < 0 || index > kStop)
        return;
    // The batch goes through the cells in ascending id order and reads each mark when it gets there,
    // so the operator may still change marks further on while it runs.
    struct Batch {
        int lastId = -32769;
        int count = 0;
    };
    auto batch = std::make_shared<Batch>();
    ActionRunner::Steps steps;
    steps.repeat(
        [this, index, batch] {
            for (int id : m_board.cellIds()) {
                if (id <= batch->lastId)
                    continue;
                batch->lastId = id;
                if (!m_board.cell(id) || !m_board.cell(id)->isMarked())
                    continue;
                const bool truncate = m_ui.element(Element::Truncate).checked;
                m_link.sendCommand(channelCommand(commandLetter(index, truncate), id));
                ++batch->count;
                return true;
            }
            return false;
        },
        kChannelPaceMs);
    steps.then([this, batch] {
        if (batch->count == 0)
            m_tones.play(kNoMarkBeepHz, kNoMarkBeepMs);
    });
    m_runner.run(std::move(steps));
}

void SwitchCommands::commitDb(int index) {
    sendEngineWide(QStringLiteral("I%1").arg(index));
}

void SwitchCommands::hungTrunk() {
    sendEngineWide(QStringLiteral("HHHHH"));
}

void SwitchCommands::killLapLink() {
    sendEngineWide(QStringLiteral("LLLLL"));
}

void SwitchCommands::unloadApp() {
    // Asked under the program's own title, not the switch's.
    if (!m_dialogs.askYesNo(QStringLiteral("Do you really want to unload the switch?")))
        return;
    sendEngineWide(QStringLiteral("QQQQQ"));
}

void SwitchCommands::spanLabelDoubleClick() {
    ActionRunner::Steps steps;
    addSendAndWait(steps, QStringLiteral("DDDDD"), QStringLiteral("D"));
    m_runner.run(std::move(steps));
}

void SwitchCommands::toggleEngineButtons() {
    for (Element e : {Element::Command2_3, Element::Command2_4, Element::Command2_5, Element::Command2_6,
                      Element::Label4})
        m_ui.setVisible(e, !m_ui.element(e).visible);
}

} // namespace corvane
