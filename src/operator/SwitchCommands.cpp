#include "operator/SwitchCommands.h"

#include "app/Monitor.h"
#include "board/BoardModel.h"
#include "common/LegacyText.h"
#include "link/EngineLink.h"
#include "link/LinkHealth.h"
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

SwitchCommands::SwitchCommands(Monitor& monitor) : m_monitor(monitor), m_runner(monitor.platform.clock) {
    auto& ui = m_monitor.ui;
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

void SwitchCommands::send(const QString& text) {
    if (m_monitor.link)
        m_monitor.link->sendCommand(text);
}

void SwitchCommands::sendEngineWide(const QString& text) {
    EngineLink* link = m_monitor.link.get();
    if (!link)
        return;
    if (!link->isUdp()) {
        link->sendCommand(text);
        return;
    }
    // Over UDP the socket is pointed at the engine again and bound before the command goes out.
    ActionRunner::Steps steps;
    steps.async([this](std::function<void()> done) {
        if (m_monitor.link)
            m_monitor.link->connectEngine(std::move(done));
        else
            done();
    });
    steps.then([this, text] { send(text); });
    m_runner.run(std::move(steps));
}

void SwitchCommands::addSendAndWait(ActionRunner::Steps& steps, const QString& text, const QString& letter) {
    steps.then([this, text] { send(text); });
    steps.waitUntil([this, letter] { return m_monitor.ui.element(Element::AckLbl).caption == letter; },
                    kAckLookMs, kAckMaxLooks);
}

void SwitchCommands::refreshInfo(std::function<void()> finished) {
    ActionRunner::Steps steps;
    steps.then([this] {
        if (m_monitor.link)
            m_monitor.link->close();
    });
    steps.async([this](std::function<void()> done) {
        if (m_monitor.link)
            m_monitor.link->connectEngine(std::move(done));
        else
            done();
    });
    steps.then([this] {
        m_monitor.ui.setBack(Element::AckLbl, kYellow);
        m_monitor.relay->startIndicatorReset();
    });
    // "DDDDD" only once start-up is done; the flag is read when the sequence gets there.
    steps.then([this] {
        if (!m_monitor.relay->startupDone())
            return;
        ActionRunner::Steps names;
        addSendAndWait(names, QStringLiteral("DDDDD"), QStringLiteral("D"));
        m_runner.run(std::move(names));
    });
    steps.then([this] { send(QStringLiteral("$") + m_monitor.computerName); });
    addSendAndWait(steps, QStringLiteral("SSSSS"), QStringLiteral("S"));
    addSendAndWait(steps, QStringLiteral("CCCCC"), QStringLiteral("C"));
    steps.then([this] {
        if (m_monitor.linkHealth)
            m_monitor.linkHealth->boardRequested();
        send(QStringLiteral("UUUUU"));
    });
    if (finished)
        steps.then(std::move(finished));
    m_runner.run(std::move(steps));
}

void SwitchCommands::unmarkAll() {
    if (!m_monitor.board)
        return;
    auto& board = *m_monitor.board;
    for (int id : board.cellIds()) {
        if (board.cell(id) && !board.cell(id)->mark.isEmpty())
            board.setMark(id, QString());
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
            if (!m_monitor.board)
                return false;
            auto& board = *m_monitor.board;
            for (int id : board.cellIds()) {
                if (id <= batch->lastId)
                    continue;
                batch->lastId = id;
                if (!board.cell(id) || !board.cell(id)->isMarked())
                    continue;
                const bool truncate = m_monitor.ui.element(Element::Truncate).checked;
                send(channelCommand(commandLetter(index, truncate), id));
                ++batch->count;
                return true;
            }
            return false;
        },
        kChannelPaceMs);
    steps.then([this, batch] {
        if (batch->count == 0)
            m_monitor.platform.tones.play(kNoMarkBeepHz, kNoMarkBeepMs);
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
    if (!m_monitor.platform.dialogs.askYesNo(QStringLiteral("Do you really want to unload the switch?")))
        return;
    sendEngineWide(QStringLiteral("QQQQQ"));
}

void SwitchCommands::spanLabelDoubleClick() {
    ActionRunner::Steps steps;
    addSendAndWait(steps, QStringLiteral("DDDDD"), QStringLiteral("D"));
    m_runner.run(std::move(steps));
}

void SwitchCommands::toggleEngineButtons() {
    auto& ui = m_monitor.ui;
    for (Element e : {Element::Command2_3, Element::Command2_4, Element::Command2_5, Element::Command2_6,
                      Element::Label4})
        ui.setVisible(e, !ui.element(e).visible);
}

} // namespace corvane
