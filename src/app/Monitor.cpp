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
    : m_config(config_), m_platform(platform_), m_computerName(std::move(computerName_)),
      m_sounds(m_ui, m_platform.tones) {
    m_groups = std::make_unique<GroupTables>();
    // The view paces to the screen only what message processing changes.
    m_board = std::make_unique<BoardModel>(m_ui, m_config, *m_groups, m_platform.clock, m_link,
                                           [this] { return m_intake && m_intake->inTick(); });
    installChannelHandlers(m_dispatcher, *m_board, m_ui);
    m_intake = std::make_unique<MessageIntake>(m_ui, m_platform.clock, m_link, m_queue, m_dispatcher,
                                               [this](const QString& m) { m_logging->record(m); });
    m_linkHealth =
        std::make_unique<LinkHealth>(m_config, m_platform.clock, [this] { return m_board->cellIds(); });
    connect(m_board.get(), &BoardModel::channelReported, m_linkHealth.get(), &LinkHealth::channelReported);
    installLinkActions(m_ui, m_link, *m_linkHealth, m_computerName);
    m_alarms = std::make_unique<AlarmList>(m_ui, m_platform.clock);
    connect(m_linkHealth.get(), &LinkHealth::alarmRaised, m_alarms.get(), &AlarmList::raise);
    connect(&m_link, &LinkSocket::problem, m_alarms.get(), &AlarmList::raise);
    // After the alarm list, where a log file that cannot be written is told.
    m_logging = std::make_unique<Logging>(m_ui, m_config, m_platform.clock, m_platform.dialogs, m_link,
                                          m_queue, *m_alarms);
    m_pager = std::make_unique<Pager>(
        m_ui, m_config, m_platform.clock, m_platform.dialogs,
        std::make_unique<SmtpMail>(m_config, m_platform.dialogs, m_platform.clock, m_computerName), m_link,
        *m_alarms);
    installPageMaskMenus(m_ui, m_config, m_platform.dialogs);
    AlarmHandler(m_ui, m_config, *m_alarms, m_sounds, *m_pager).install(m_dispatcher);
    m_stats = std::make_unique<Statistics>(m_ui, m_config, m_platform.clock, *m_groups, *m_board, m_link,
                                           *m_alarms, m_sounds);
    m_callDetails = std::make_unique<CallDetailList>(m_ui, m_config, *m_board);
    // The relay watchdog paces its pings by the heartbeat's tick; the heartbeat watchdog words an
    // outage by the relay's state.
    m_relay = std::make_unique<RelayWatchdog>(
        m_ui, m_config, m_platform.clock, m_platform.tones, m_link, *m_board, *m_alarms,
        [this](std::function<void()> then) {
            reconnect(m_link, *m_linkHealth, m_computerName, std::move(then));
        },
        [this] { return m_heartbeat->interval(); });
    m_heartbeat = std::make_unique<HeartbeatWatchdog>(m_ui, m_config, m_platform.clock, m_platform.dialogs,
                                                      m_sounds, *m_alarms, *m_pager, *m_relay);
    m_commands =
        std::make_unique<SwitchCommands>(m_ui, m_link, *m_board, m_platform.clock, m_platform.dialogs,
                                         m_platform.tones, *m_linkHealth, *m_relay, m_computerName);
    // A failed TCP arrival asks the engine for everything again.
    connect(&m_link, &LinkSocket::arrivalFailed, this, [this] { m_commands->refreshInfo(); });
    m_selection = std::make_unique<Selection>(*m_board, m_ui, *m_commands);
    m_chat = std::make_unique<ChatModel>(m_ui, m_config, m_link, m_sounds, *m_relay);
    m_status = std::make_unique<StatusHandlers>(
        m_dispatcher, m_ui, m_config, m_platform.clock, *m_groups, *m_board,
        StatusHandlers::RelayQueries{[this] { return m_relay->boardReady(); },
                                     [this] { return m_relay->period(); }});
    connect(m_status.get(), &StatusHandlers::indicatorLit, m_relay.get(),
            &RelayWatchdog::startIndicatorReset);
    connect(m_status.get(), &StatusHandlers::pingAnswered, m_relay.get(), &RelayWatchdog::pingAnswered);
    connect(m_status.get(), &StatusHandlers::heartbeatArrived, this,
            [this] { m_heartbeat->heartbeatArrived(); });
    connect(m_status.get(), &StatusHandlers::clockArrived, this, [this] { m_heartbeat->clockArrived(); });
    connect(m_status.get(), &StatusHandlers::connectedReceived, m_chat.get(), &ChatModel::receiveConnected);
    connect(m_status.get(), &StatusHandlers::broadcastReceived, m_chat.get(), &ChatModel::receiveBroadcast);
    connect(m_status.get(), &StatusHandlers::alarmRaised, m_alarms.get(), &AlarmList::raise);
    m_settingsFile =
        std::make_unique<SettingsFile>(m_ui, m_config, m_platform.launcher, *m_alarms, *m_heartbeat);
    connect(m_relay.get(), &RelayWatchdog::boardCompleted, this, [this] {
        m_commands->unmarkAll();
        const int scheme = m_config.groupColorScheme;
        if (scheme >= 0 && scheme <= 3)
            m_board->setGroupColorMode(scheme);
    });
    connect(m_relay.get(), &RelayWatchdog::refreshWanted, this, [this] { m_commands->refreshInfo(); });
}

Monitor::~Monitor() = default;

void Monitor::load(std::function<void()> loaded) {
    m_ui.setVisible(Element::TCP, !m_config.useUdp);
    m_link.reset(createEngineLink(m_config, m_platform.clock, m_queue));
    m_ui.setCaption(
        Element::lblVersion,
        QStringLiteral("%1.%2.%3").arg(version::major).arg(version::minor).arg(version::revision));
    // The template cell fixes the board's origin before the first report can arrive.
    m_board->placeCell(1, 8, 1);
    // Demonstration mode plays the log back instead of contacting the engine.
    if (m_config.demo) {
        m_logging->togglePlayback();
    } else {
        m_commands->refreshInfo(std::move(loaded));
        loaded = nullptr;
    }
    // Timer2 runs from here on, whether or not the watchdog bar is shown.
    m_relay->start();
    if (loaded)
        loaded();
}

} // namespace corvane
