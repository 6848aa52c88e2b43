#include "link/LinkActions.h"

#include "common/LegacyText.h"
#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"
#include "link/LinkHealth.h"
#include "link/LinkSocket.h"
#include "link/MessageQueue.h"
#include "link/TcpEngineLink.h"
#include "link/UdpEngineLink.h"

namespace corvane {

void installLinkActions(MainWindowModel& ui, LinkSocket& link, LinkHealth& health,
                        const QString& computerName) {
    ui.setMenuAction(MenuItem::Refresh,
                     [&link, &health, computerName] { reconnect(link, health, computerName); });
    ui.setElementAction(Element::TCP, MainWindowModel::Gesture::DoubleClick, [&ui, &link] {
        if (!link || link.isUdp())
            return;
        link.close();
        ui.setFore(Element::TCP, kRed);
    });
    // Only a TCP link connects and is closed by its peer.
    QObject::connect(&link, &LinkSocket::connected, &health, [&ui, &health](quint16 localPort) {
        ui.setFore(Element::TCP, kGreen);
        ui.setToolTip(Element::TCP, QStringLiteral("Port =") + numberText(static_cast<long long>(localPort)));
        health.linkConnected();
    });
    QObject::connect(&link, &LinkSocket::closedByPeer, &health, [&ui, &health] {
        ui.setFore(Element::TCP, kRed);
        health.linkLost();
    });
}

std::unique_ptr<EngineLink> createEngineLink(const MonitorConfig& config, Clock& clock, MessageQueue& queue) {
    LinkSettings settings{config.engineAddress, static_cast<quint16>(config.enginePort),
                          static_cast<quint16>(config.monitorPort), config.allowFrom};
    if (config.useUdp)
        return std::make_unique<UdpEngineLink>(clock, queue, std::move(settings));
    return std::make_unique<TcpEngineLink>(clock, queue, std::move(settings));
}

void reconnect(LinkSocket& link, LinkHealth& health, const QString& computerName,
               std::function<void()> then) {
    if (!link)
        return;
    const bool wasLost = health.isLost();
    link.close();
    link.connectEngine([&link, &health, computerName, wasLost, then = std::move(then)] {
        link.sendCommand(QStringLiteral("$") + computerName);
        // Back after a loss: the engine may have restarted, and every channel may have changed while
        // the link was down. A ReConnect of a link that was not lost sends the hello alone.
        if (wasLost && link && !health.isLost()) {
            health.boardRequested();
            link.sendCommand(QStringLiteral("UUUUU"));
        }
        if (then)
            then();
    });
}

} // namespace corvane
