#pragma once
// monitor.ini: the reader that fills MonitorConfig at start-up and WriteIniFile, which writes the current
// settings back in the same format. The keys live in one table each for reading and writing, so a new
// setting is one entry in each.

#include "common/MonitorConfig.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

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
// What writeFile did: whether the new file is in place, and why not (or what went wrong after).
struct WriteOutcome {
    bool inPlace = false;
    QString failure; // empty when every step succeeded
};
// The points between the steps of writeFile, where a crash may cut it short.
enum class WriteStep { NewFileWritten, PreviousKept, NewFileInPlace };

// WriteIniFile: the new content goes to a new file in the same folder and onto the disk first; the
// current file is then kept as `path` + ".old" under a second name, the new one renamed over it and the
// folder flushed, so that at every moment `path` holds either the old content or the new, whole. Where
// the folder takes no new file but the file is writable, the file is rewritten in place instead.
// `reached` is told of each step as it completes.
WriteOutcome writeFile(const QString& path, const MonitorConfig& config, const LiveSettings& live,
                       const std::function<void(WriteStep)>& reached = {});

} // namespace corvane::ini
