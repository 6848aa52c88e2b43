#pragma once
// Other programs the monitor starts: the text editor for monitor.ini and the system information
// tool. Always started with an argument list, never through a shell, and never waited for.

#include <QString>

namespace corvane {

class Launcher {
public:
    virtual ~Launcher() = default;
    // Opens a text file in the desktop's text editor; false when no editor could be started.
    virtual bool openInEditor(const QString& path) = 0;
    // Starts the desktop's system information tool; false when none is installed or it fails to start.
    virtual bool startSystemInfo() = 0;
};

class DesktopLauncher final : public Launcher {
public:
    bool openInEditor(const QString& path) override;
    bool startSystemInfo() override;
};

} // namespace corvane
