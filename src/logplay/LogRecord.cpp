#include "logplay/LogRecord.h"

#include "common/LegacyText.h"

namespace corvane {

QByteArray formatLogRecord(std::int32_t delayMs, const QString& message) {
    QByteArray line = QByteArray::number(delayMs);
    line.reserve(line.size() + message.size() + 5);
    line.append(",\"");
    line.append(toWire(message));
    line.append("\"\r\n");
    return line;
}

std::optional<LogRecord> parseLogRecord(QByteArrayView line) {
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
        line.chop(1);
    const qsizetype comma = line.indexOf(',');
    if (comma < 0)
        return std::nullopt;
    bool ok = false;
    const int delay = line.first(comma).trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    const qsizetype open = line.indexOf('"', comma + 1);
    const qsizetype close = line.lastIndexOf('"');
    if (open < 0 || close <= open)
        return std::nullopt;
    return LogRecord{delay, fromWire(line.sliced(open + 1, close - open - 1).toByteArray())};
}

} // namespace corvane
