#pragma once
// The link as the operator sees it: the link chosen at load, the "&ReConnect" menu, the TCP label
// (green once connected with the local port in its tool tip, red once down) and its double-click that
// disconnects.

#include <QString>
#include <functional>
#include <memory>

namespace corvane {

class Clock;
class EngineLink;
class LinkHealth;
class LinkSocket;
class MainWindowModel;
class MessageQueue;
struct MonitorConfig;

// Installs the menu action and the label's gesture, and has the label and `health` follow the link's
// connects and losses, whichever link `link` holds.
void installLinkActions(MainWindowModel& ui, LinkSocket& link, LinkHealth& health,
                        const QString& computerName);
// The link chosen by the configuration (UDP unless the TCP key is present). Called once by the load step.
std::unique_ptr<EngineLink> createEngineLink(const MonitorConfig& config, Clock& clock, MessageQueue& queue);
// ReConnect: close, connect, then the hello "$" + ComputerName (followed by "UUUUU" when the link
// came back after a loss), then `then` (once the connect attempt has ended, whichever way).
void reconnect(LinkSocket& link, LinkHealth& health, const QString& computerName,
               std::function<void()> then = {});

} // namespace corvane
