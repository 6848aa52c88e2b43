#pragma once
// One line of the log file: the delay in ms since recording began, a comma and the message in double
// quotes, CR LF. The message is not escaped; reading takes the text between the quote after the comma
// and the quote that ends the line, so a message holding quotes comes back intact. A record is one
// line, so a CR or LF inside a message is recorded, and played back, as a blank.

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
// Reads one line (its CR LF, if any, included); nothing when the line is not laid out as a record.
std::optional<LogRecord> parseLogRecord(QByteArrayView line);

} // namespace corvane
