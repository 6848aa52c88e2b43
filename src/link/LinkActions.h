#pragma once
// The link as the operator sees it: the link chosen at load, the "&ReConnect" menu, the TCP label
// (green once connected with the local port in its tool tip, red once down) and its double-click that
// disconnects.

#include <functional>
#include <memory>

namespace corvane {

class EngineLink;
class Monitor;

// Installs the menu action and the label's gesture; they look the link up when they run.
void installLinkActions(Monitor& monitor);
// The link chosen by the configuration (UDP unless the TCP key is present), wired to the label and
// to the monitor's arrival-failure signal. Called once by the load step.
std::unique_ptr<EngineLink> createEngineLink(Monitor& monitor);
// ReConnect: close, connect, then the hello "$" + ComputerName (followed by "UUUUU" when the link
// came back after a loss), then `then` (once the connect attempt has ended, whichever way).
void reconnect(Monitor& monitor, std::function<void()> then = {});

} // namespace corvane
