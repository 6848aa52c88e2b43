#pragma once
// The running monitor: the state that the main window owns and the subsystems that act on it. It is
// plain logic; the widgets observe its models and forward the operator's actions to it.

#include "app/MonitorConfig.h"
#include "app/Platform.h"
#include "messages/Dispatcher.h"
#include "operator/MainWindowModel.h"
#include "platform/Clock.h"
#include "watchdogs/WatchdogState.h"

#include <QObject>
#include <QString>
#include <memory>

namespace corvane {

class Monitor : public QObject {
    Q_OBJECT
public:
    Monitor(MonitorConfig& config, Platform& platform, QString computerName);
    ~Monitor() override;

    // The main window's load step.
    void load();
    // PlaySound: one tone, sounded only while "&Allow Sounds" is checked.
    void playSound(int frequencyHz, int durationMs);

    MonitorConfig& config;
    Platform& platform;
    const QString computerName;
    MainWindowModel ui;
    Dispatcher dispatcher;
    WatchdogState watchdog;
    // The main window's timers: Timer1 resets the indicators (IndicatorResetTimer), Timer2 completes the
    // board and then runs the relay watchdog, Timer3 is the heartbeat watchdog's tick.
    std::unique_ptr<Timer> timer1;
    std::unique_ptr<Timer> timer2;
    std::unique_ptr<Timer> timer3;
    // Subsystems are added below by their owners, each constructed in Monitor's constructor and wired
    // there (message handlers, menu actions) so that the order of construction is in one place.
};

} // namespace corvane
