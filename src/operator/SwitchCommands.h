#pragma once
// The commands the operator sends to the switch: the per-channel buttons, the "&Actions" menu, the
// refresh of the engine's description, the span label double-click and the watchdog period. Commands
// that wait for acknowledgements or pace their sends keep the window live while they do.

#include "operator/ActionRunner.h"

#include <QString>

namespace corvane {

class BoardModel;
class Clock;
class Dialogs;
class LinkHealth;
class LinkSocket;
class MainWindowModel;
class RelayWatchdog;
class ToneOutput;

class SwitchCommands {
public:
    // The per-channel buttons by index; index 2 is "Unmark All".
    static constexpr int kExclude = 0;
    static constexpr int kInclude = 1;
    static constexpr int kUnmarkAll = 2;
    static constexpr int kMsgOn = 3;
    static constexpr int kMsgOff = 4;
    static constexpr int kStart = 5;
    static constexpr int kStop = 6;
    // How the acknowledgement waits look at AckLbl.
    static constexpr int kAckLookMs = 100;
    static constexpr int kAckMaxLooks = 51;
    static constexpr int kChannelPaceMs = 10;

    SwitchCommands(MainWindowModel& ui, LinkSocket& link, BoardModel& board, Clock& clock, Dialogs& dialogs,
                   ToneOutput& tones, LinkHealth& health, RelayWatchdog& relay, QString computerName);

    // Reconnects and asks the engine for its whole description again (hello, "SSSSS", "CCCCC",
    // "UUUUU", and "DDDDD" first once start-up is done), waiting for each acknowledgement; `finished`
    // runs after the last request has gone out.
    void refreshInfo(std::function<void()> finished = {});
    // Clears every mark on the board.
    void unmarkAll();
    // A Command2 button by index 0 to 6.
    void command2(int index);
    // One command text for a channel: the letter, then the id with at least four digits.
    static QString channelCommand(QChar letter, int id);
    // "&Commit DB Changes" items 1, 2 and 7.
    void commitDb(int index);
    void hungTrunk();
    void killLapLink();
    void unloadApp();
    // A double-click on any span label.
    void spanLabelDoubleClick();
    // A double-click on the tab control shows or hides the engine-control buttons.
    void toggleEngineButtons();

    ActionRunner& runner() { return m_runner; }

private:
    // A command of the "&Actions" menu: over UDP the link is pointed at the engine again first.
    void sendEngineWide(const QString& text);
    // Steps that send `text` and wait for AckLbl to show `letter`.
    void addSendAndWait(ActionRunner::Steps& steps, const QString& text, const QString& letter);

    MainWindowModel& m_ui;
    LinkSocket& m_link;
    BoardModel& m_board;
    Dialogs& m_dialogs;
    ToneOutput& m_tones;
    LinkHealth& m_health;
    RelayWatchdog& m_relay;
    const QString m_computerName;
    ActionRunner m_runner;
};

} // namespace corvane
