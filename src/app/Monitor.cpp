#include "app/Monitor.h"

#include "alarms/AlarmHandler.h"
#include "alarms/AlarmList.h"
#include "alarms/PageFilter.h"
#include "alarms/Pager.h"
#include "app/SettingsFile.h"
#include "board/BoardModel.h"
#include "board/GroupTables.h"
#include "common/Version.h"
#include "link/EngineLink.h"
#include "link/LinkActions.h"
#include "link/LinkHealth.h"
#include "logplay/Logging.h"
#include "messages/ChannelHandlers.h"
#include "messages/MessageIntake.h"
#include "messages/StatusHandlers.h"
#include "operator/Selection.h"
#include "operator/SwitchCommands.h"
#include "platform/SmtpMail.h"
#include "platform/Tones.h"
#include "stats/Statistics.h"
#include "watchdogs/HeartbeatWatchdog.h"
#include "watchdogs/RelayWatchdog.h"
#include "windows/CallDetail.h"
#include "windows/ChatModel.h"

namespace corvane {

Monitor::Monitor(MonitorConfig& config_, Platform& platform_, QString computerName_)
    : config(config_), platform(platform_), computerName(std::move(computerName_)),
      sounds(ui, platform.tones) {
    groups = std::make_unique<GroupTables>();
    // The view paces to the screen only what message processing changes.
    board = std::make_unique<BoardModel>(ui, config, *groups, platform.clock, link,
                                         [this] { return intake && intake->inTick(); });
    installChannelHandlers(dispatcher, *board, ui);
    intake = std::make_unique<MessageIntake>(ui, platform.clock, link, queue, dispatcher);
    linkHealth = std::make_unique<LinkHealth>(config, platform.clock, [this] { return board->cellIds(); });
    connect(board.get(), &BoardModel::channelReported, linkHealth.get(), &LinkHealth::channelReported);
    installLinkActions(ui, link, *linkHealth, computerName);
    alarms = std::make_unique<AlarmList>(ui, platform.clock);
    connect(linkHealth.get(), &LinkHealth::alarmRaised, alarms.get(), &AlarmList::raise);
    connect(&link, &LinkSocket::problem, alarms.get(), &AlarmList::raise);
    // After the alarm list, where a log file that cannot be written is told.
    logging = std::make_unique<Logging>(ui, config, platform.clock, platform.dialogs, link, queue, *alarms);
    connect(intake.get(), &MessageIntake::messageTaken, this, [this](const QString& m) { logging->record(m); });
    pager = std::make_unique<Pager>(
        ui, config, platform.clock, platform.dialogs,
        std::make_unique<SmtpMail>(config, platform.dialogs, platform.clock, computerName), link, *alarms);
    installPageMaskMenus(ui, config, platform.dialogs);
    AlarmHandler(ui, config, *alarms, sounds, *pager).install(dispatcher);
    stats = std::make_unique<Statistics>(ui, config, platform.clock, *groups, *board, link, *alarms, sounds);
    callDetails = std::make_unique<CallDetailList>(ui, config, *board);
    // The relay watchdog paces its pings by the heartbeat's tick; the heartbeat watchdog words an
    // outage by the relay's state.
    relay = std::make_unique<RelayWatchdog>(
        ui, config, platform.clock, platform.tones, link, *board, *alarms,
        [this](std::function<void()> then) { reconnect(link, *linkHealth, computerName, std::move(then)); },
        [this] { return heartbeat->interval(); });
    heartbeat = std::make_unique<HeartbeatWatchdog>(ui, config, platform.clock, platform.dialogs, sounds,
                                                    *alarms, *pager, *relay);
    commands = std::make_unique<SwitchCommands>(ui, link, *board, platform.clock, platform.dialogs, platform.tones,
                                                *linkHealth, *relay, computerName);
    // A failed TCP arrival asks the engine for everything again.
    connect(&link, &LinkSocket::arrivalFailed, this, [this] { commands->refreshInfo(); });
    selection = std::make_unique<Selection>(*board, ui, *commands);
    chat = std::make_unique<ChatModel>(ui, config, link, sounds, *relay);
    status =
        std::make_unique<StatusHandlers>(dispatcher, ui, config, platform.clock, *groups, *board,
                                         StatusHandlers::RelayQueries{[this] { return relay->boardReady(); },
                                                                      [this] { return relay->period(); }});
    // The board's description request waits for the acknowledgement indicator to show "S".
    connect(status.get(), &StatusHandlers::acknowledgementShown, board.get(),
            &BoardModel::showAcknowledgement);
    connect(status.get(), &StatusHandlers::indicatorLit, relay.get(), &RelayWatchdog::startIndicatorReset);
    connect(status.get(), &StatusHandlers::pingAnswered, relay.get(), &RelayWatchdog::pingAnswered);
    connect(status.get(), &StatusHandlers::heartbeatArrived, this, [this] { heartbeat->heartbeatArrived(); });
    connect(status.get(), &StatusHandlers::clockArrived, this, [this] { heartbeat->clockArrived(); });
    connect(status.get(), &StatusHandlers::connectedReceived, chat.get(), &ChatModel::receiveConnected);
    connect(status.get(), &StatusHandlers::broadcastReceived, chat.get(), &ChatModel::receiveBroadcast);
    connect(status.get(), &StatusHandlers::alarmRaised, this,
            [this](const QString& text) { alarms->raise(text); });
    settingsFile = std::make_unique<SettingsFile>(*this);
    connect(relay.get(), &RelayWatchdog::boardCompleted, this, [this] {
        commands->unmarkAll();
        const int scheme = config.groupColorScheme;
        if (scheme >= 0 && scheme <= 3)
            board->setGroupColorMode(scheme);
    });
    connect(relay.get(), &RelayWatchdog::refreshWanted, this, [this] { commands->refreshInfo(); });
}

Monitor::~Monitor() = default;

void Monitor::load(std::function<void()> loaded) {
    ui.setVisible(Element::TCP, !config.useUdp);
    link.reset(createEngineLink(config, platform.clock, queue));
    ui.setCaption(Element::lblVersion,
                  QStringLiteral("%1.%2.%3").arg(version::major).arg(version::minor).arg(version::revision));
    // The template cell fixes the board's origin before the first report can arrive.
    board->placeCell(1, 8, 1);
    // Demonstration mode plays the log back instead of contacting the engine.
    if (config.demo) {
        logging->togglePlayback();
    } else {
        commands->refreshInfo(std::move(loaded));
        loaded = nullptr;
    }
    // Timer2 runs from here on, whether or not the watchdog bar is shown.
    relay->start();
    if (loaded)
        loaded();
}

void Monitor::playSound(int frequencyHz, int durationMs) {
    sounds.play(frequencyHz, durationMs);
}

} // namespace corvane
