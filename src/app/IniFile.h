#pragma once
// monitor.ini: the reader that fills MonitorConfig at start-up and WriteIniFile, which writes the current
// settings back in the same format. The keys live in one table each for reading and writing, so a new
// setting is one entry in each.

#include "app/MonitorConfig.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace corvane::ini {

// The settings WriteIniFile takes from the running window rather than from MonitorConfig.
struct LiveSettings {
    bool allowSounds = false;                         // "&Allow Sounds" checked
    bool pagerEnabled = false;                        // "Enable &Pager" checked
    int heartbeatIntervalMs = 1500;                   // the heartbeat watchdog timer's interval
    QString maxListCountText = QStringLiteral("200"); // the alarm list maximum as typed
};

// Applies every key of the file's content to `config`. A value that does not convert leaves its setting
// as it was and reading goes on; unknown keys (and so keys commented out with ";") are skipped.
void read(const QByteArray& content, MonitorConfig& config);
// The keys the reader accepts, upper case, in the order it tests them.
QStringList readKeys();
// Reads the file at `path`; false when it cannot be opened (the settings are then untouched).
bool readFile(const QString& path, MonitorConfig& config);

// The file's content: one "KEY, value" line per setting, CR LF line ends, 8-bit text.
QByteArray content(const MonitorConfig& config, const LiveSettings& live);
// WriteIniFile: the new content goes to a temporary file in the same folder first and replaces `path`
// only once it is complete, so a full disk or a read-only folder never costs the current file. The file
// it replaces is kept as `path` + ".old". Returns whether the new file is in place.
bool writeFile(const QString& path, const MonitorConfig& config, const LiveSettings& live);

} // namespace corvane::ini
