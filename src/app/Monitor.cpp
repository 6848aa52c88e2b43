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
      sounds(ui, platform.tones), timer1(platform.clock.createTimer()), timer2(platform.clock.createTimer()),
      timer3(platform.clock.createTimer()) {
    timer1->setInterval(1000);
    timer2->setInterval(5000);
    timer2->setEnabled(true);
    timer3->setInterval(1500);
    timer3->setEnabled(true);
    groups = std::make_unique<GroupTables>();
    board = std::make_unique<BoardModel>(*this);
    intake = std::make_unique<MessageIntake>(*this);
    logging = std::make_unique<Logging>(*this);
    installLinkActions(*this);
    alarms = std::make_unique<AlarmList>(ui, platform.clock);
    pager = std::make_unique<Pager>(
        ui, config, platform.clock, platform.dialogs,
        std::make_unique<SmtpMail>(config, platform.dialogs, platform.clock, computerName), link, *alarms);
    installPageMaskMenus(ui, config, platform.dialogs);
    AlarmHandler(ui, config, *alarms, sounds, *pager).install(dispatcher);
    stats = std::make_unique<Statistics>(*this);
    callDetails = std::make_unique<CallDetailList>(*this);
    heartbeat = std::make_unique<HeartbeatWatchdog>(*this);
    relay = std::make_unique<RelayWatchdog>(*this);
    commands = std::make_unique<SwitchCommands>(*this);
    selection = std::make_unique<Selection>(*this);
    chat = std::make_unique<ChatModel>(*this);
    status = std::make_unique<StatusHandlers>(*this);
    settingsFile = std::make_unique<SettingsFile>(*this);
    linkHealth = std::make_unique<LinkHealth>(*this);
    // A failed TCP arrival asks the engine for everything again.
    connect(this, &Monitor::linkArrivalFailed, this, [this] { commands->refreshInfo(); });
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
    link.reset(createEngineLink(*this));
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
    timer2->setEnabled(true);
    if (loaded)
        loaded();
}

void Monitor::playSound(int frequencyHz, int durationMs) {
    sounds.play(frequencyHz, durationMs);
}

} // namespace corvane
