#include "platform/Launcher.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace corvane {

namespace {
bool startFirstFound(const QStringList& programs, const QStringList& arguments) {
    for (const QString& program : programs) {
        const QString found = QStandardPaths::findExecutable(program);
        if (!found.isEmpty() && QProcess::startDetached(found, arguments))
            return true;
    }
    return false;
}
} // namespace

bool DesktopLauncher::openInEditor(const QString& path) {
    // The desktops' own plain-text editors, then the desktop's opener for text files. Terminal editors
    // named by EDITOR are no use to a program started from a menu without a terminal.
    QStringList editors;
    editors << QStringLiteral("gnome-text-editor") << QStringLiteral("gedit") << QStringLiteral("kate")
            << QStringLiteral("kwrite") << QStringLiteral("mousepad") << QStringLiteral("pluma")
            << QStringLiteral("xed") << QStringLiteral("leafpad") << QStringLiteral("xdg-open");
    return startFirstFound(editors, {path});
}

bool DesktopLauncher::startSystemInfo() {
    return startFirstFound({QStringLiteral("hardinfo"), QStringLiteral("gnome-system-monitor"),
                            QStringLiteral("ksysguard"), QStringLiteral("xfce4-taskmanager")},
                           {});
}

} // namespace corvane
