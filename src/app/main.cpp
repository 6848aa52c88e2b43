#include "app/Monitor.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Launcher.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    corvane::SystemClock clock;
    corvane::QtDialogs dialogs;
    corvane::DesktopLauncher launcher;
    corvane::Platform platform{clock, dialogs, launcher};
    corvane::MonitorConfig config;
    corvane::Monitor monitor(config, platform, QStringLiteral("localhost"));
    monitor.load();
    return 0;
}
