#pragma once
// A monitor with scripted platform services and a manual clock, for tests that drive the logic
// without a display.

#include "app/Monitor.h"
#include "app/Startup.h"
#include "link/LinkActions.h"
#include "link/LinkHealth.h"
#include "support/ManualClock.h"
#include "support/ScriptedDialogs.h"

#include <memory>
#include <optional>

namespace corvane::test {

struct TestPlatform {
    ManualClock clock;
    ScriptedDialogs dialogs;
    RecordingLauncher launcher;
    RecordingTones tones;
    Platform platform{clock, dialogs, launcher, tones};
};

struct TestMonitor {
    explicit TestMonitor(MonitorConfig cfg = {}) : config(std::move(cfg)) {}
    MonitorConfig config;
    TestPlatform services;
    Monitor monitor{config, services.platform, QStringLiteral("TESTBOX")};
};

// The link the configuration chooses, made as the load step makes it, without the rest of the load.
inline std::unique_ptr<EngineLink> createEngineLink(Monitor& m) {
    return corvane::createEngineLink(m.config(), m.platform().clock, m.queue());
}
// ReConnect, as the menu and the relay watchdog do it.
inline void reconnect(Monitor& m, std::function<void()> then = {}) {
    corvane::reconnect(m.link(), m.linkHealth(), m.computerName(), std::move(then));
}

// Runs the entry procedure on the manual clock, in steps of a few milliseconds: true once the main window
// is up, false when the program ended instead or was still starting after limitMs of the clock.
inline bool runStartup(Startup& startup, ManualClock& clock, const QString& iniArgument,
                       qint64 limitMs = 30000) {
    auto result = std::make_shared<std::optional<bool>>();
    startup.start(iniArgument, [result](bool running) { *result = running; });
    for (qint64 t = 0; !*result && t < limitMs; t += 5)
        clock.advance(5);
    return result->value_or(false);
}

} // namespace corvane::test
