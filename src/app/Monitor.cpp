#include "app/Monitor.h"

#include "common/Version.h"

namespace corvane {

Monitor::Monitor(MonitorConfig& config_, Platform& platform_, QString computerName_)
    : config(config_), platform(platform_), computerName(std::move(computerName_)) {}

Monitor::~Monitor() = default;

void Monitor::load() {
    ui.setVisible(Element::TCP, !config.useUdp);
    ui.setCaption(Element::lblVersion,
                  QStringLiteral("%1.%2.%3").arg(version::major).arg(version::minor).arg(version::revision));
}

} // namespace corvane
