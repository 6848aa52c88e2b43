#pragma once
// A real monitor on the system clock, linked over loopback sockets to the simulated engine process.

#include "app/Monitor.h"
#include "platform/Clock.h"
#include "support/EngineSimProcess.h"
#include "support/ScriptedDialogs.h"

#include <memory>

namespace corvane::test {

// Real time, scripted dialogs, and no processes or sounds started.
struct SystemPlatform {
    SystemClock clock;
    ScriptedDialogs dialogs;
    RecordingLauncher launcher;
    RecordingTones tones;
    Platform platform{clock, dialogs, launcher, tones};
};

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when it cannot be read.
long statusKb(const char* field);

struct LiveMonitor {
    EngineSimProcess sim;
    MonitorConfig config;
    SystemPlatform services;
    std::unique_ptr<Monitor> monitor;

    // Starts the engine (no heartbeat, no clock messages, listening on `bind`) and a monitor linked to
    // it at `engineAddress`; true once the engine has seen the monitor's whole refresh sequence.
    bool start(bool udp, const QString& engineAddress = QStringLiteral("127.0.0.1"),
               const QString& bind = QStringLiteral("127.0.0.1"));
    // Sends a normal report through the engine and waits until it has painted its cell.
    bool paints(int state, int group);
};

} // namespace corvane::test
