#include "app/Monitor.h"

#include "common/Version.h"
#include "platform/Tones.h"

namespace corvane {

Monitor::Monitor(MonitorConfig& config_, Platform& platform_, QString computerName_)
    : config(config_), platform(platform_), computerName(std::move(computerName_)),
      timer1(platform.clock.createTimer()), timer2(platform.clock.createTimer()),
      timer3(platform.clock.createTimer()) {
    timer1->setInterval(1000);
    timer2->setInterval(5000);
    timer2->setEnabled(true);
    timer3->setInterval(1500);
    timer3->setEnabled(true);
}

Monitor::~Monitor() = default;

void Monitor::load() {
    ui.setVisible(Element::TCP, !config.useUdp);
    ui.setCaption(Element::lblVersion,
                  QStringLiteral("%1.%2.%3").arg(version::major).arg(version::minor).arg(version::revision));
}

void Monitor::playSound(int frequencyHz, int durationMs) {
    if (ui.isChecked(MenuItem::AllowSounds))
        platform.tones.play(frequencyHz, durationMs);
}

} // namespace corvane
