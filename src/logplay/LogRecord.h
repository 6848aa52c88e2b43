#pragma once
// One line of the log file: the delay in ms since recording began, a comma and the message in double
// quotes, CR LF. The message is not escaped; reading takes the text between the first quote after the
// comma and the last quote of the line, so a message holding quotes comes back intact. A message
// holding a line break cannot: a record is one line.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace corvane {

struct LogRecord {
    std::int32_t delayMs = 0;
    QString message;
};

QByteArray formatLogRecord(std::int32_t delayMs, const QString& message);
// Reads one line (its CR LF, if any, included); nothing when the line is not a record.
std::optional<LogRecord> parseLogRecord(QByteArrayView line);

} // namespace corvane
