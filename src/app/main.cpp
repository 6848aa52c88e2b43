#include "app/Monitor.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Launcher.h"
#include "platform/Tones.h"

#include <QApplication>

namespace {
// Until the audio output exists the program is silent.
class SilentTones final : public corvane::ToneOutput {
public:
    void play(int, int) override {}
};
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    corvane::SystemClock clock;
    corvane::QtDialogs dialogs;
    corvane::DesktopLauncher launcher;
    SilentTones tones;
    corvane::Platform platform{clock, dialogs, launcher, tones};
    corvane::MonitorConfig config;
    corvane::Monitor monitor(config, platform, QStringLiteral("localhost"));
    monitor.load();
    return 0;
}
