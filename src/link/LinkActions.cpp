#include "link/LinkActions.h"

#include "alarms/AlarmList.h"
#include "app/Monitor.h"
#include "common/LegacyText.h"
#include "link/LinkHealth.h"
#include "link/MessageQueue.h"
#include "link/TcpEngineLink.h"
#include "link/UdpEngineLink.h"

namespace corvane {

void installLinkActions(Monitor& monitor) {
    monitor.ui.setMenuAction(MenuItem::Refresh, [&monitor] { reconnect(monitor); });
    monitor.ui.setElementAction(Element::TCP, MainWindowModel::Gesture::DoubleClick, [&monitor] {
        if (!monitor.link || monitor.link->isUdp())
            return;
        monitor.link->close();
        monitor.ui.setFore(Element::TCP, kRed);
    });
}

std::unique_ptr<EngineLink> createEngineLink(Monitor& monitor) {
    const MonitorConfig& config = monitor.config;
    LinkSettings settings{config.engineAddress, static_cast<quint16>(config.enginePort),
                          static_cast<quint16>(config.monitorPort), config.allowFrom};
    std::unique_ptr<EngineLink> link;
    if (config.useUdp)
        link = std::make_unique<UdpEngineLink>(monitor.platform.clock, monitor.queue, std::move(settings));
    else
        link = std::make_unique<TcpEngineLink>(monitor.platform.clock, monitor.queue, std::move(settings));
    if (!config.useUdp) {
        QObject::connect(link.get(), &EngineLink::connected, &monitor, [&monitor](quint16 localPort) {
            monitor.ui.setFore(Element::TCP, kGreen);
            monitor.ui.setToolTip(Element::TCP,
                                  QStringLiteral("Port =") + numberText(static_cast<long long>(localPort)));
            if (monitor.linkHealth)
                monitor.linkHealth->linkConnected();
        });
        QObject::connect(link.get(), &EngineLink::closedByPeer, &monitor, [&monitor] {
            monitor.ui.setFore(Element::TCP, kRed);
            if (monitor.linkHealth)
                monitor.linkHealth->linkLost();
        });
    }
    QObject::connect(link.get(), &EngineLink::arrivalFailed, &monitor, &Monitor::linkArrivalFailed);
    QObject::connect(link.get(), &EngineLink::problem, &monitor, [&monitor](const QString& text) {
        if (monitor.alarms)
            monitor.alarms->appendAlarmLine(monitor.alarms->alarmLine(text));
    });
    return link;
}

void reconnect(Monitor& monitor, std::function<void()> then) {
    if (!monitor.link)
        return;
    const bool wasLost = monitor.linkHealth && monitor.linkHealth->isLost();
    monitor.link->close();
    monitor.link->connectEngine([&monitor, wasLost, then = std::move(then)] {
        if (monitor.link)
            monitor.link->sendCommand(QStringLiteral("$") + monitor.computerName);
        // Back after a loss: the engine may have restarted, and every channel may have changed while
        // the link was down. A ReConnect of a link that was not lost sends the hello alone.
        if (wasLost && monitor.link && monitor.linkHealth && !monitor.linkHealth->isLost()) {
            monitor.linkHealth->boardRequested();
            monitor.link->sendCommand(QStringLiteral("UUUUU"));
        }
        if (then)
            then();
    });
}

} // namespace corvane
