#pragma once
// A monitor with scripted platform services and a manual clock, for tests that drive the logic
// without a display.

#include "app/Monitor.h"
#include "support/ManualClock.h"
#include "support/ScriptedDialogs.h"

#include <memory>

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

} // namespace corvane::test
