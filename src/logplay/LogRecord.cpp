#include "logplay/LogRecord.h"

#include "common/LegacyText.h"

namespace corvane {

namespace {

// A line break inside a message would end its record early, and the rest would read as a record of
// its own; a blank stands in for it, on both sides, so a record stays one line and one message.
void blankLineBreaks(QByteArray& text, qsizetype from) {
    for (qsizetype i = from; i < text.size(); ++i)
        if (text[i] == '\r' || text[i] == '\n')
            text[i] = ' ';
}

bool isDelay(QByteArrayView text) {
    if (text.startsWith('-'))
        text = text.sliced(1);
    if (text.isEmpty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

QByteArray formatLogRecord(std::int32_t delayMs, const QString& message) {
    QByteArray line = QByteArray::number(delayMs);
    line.reserve(line.size() + message.size() + 5);
    line.append(",\"");
    const qsizetype text = line.size();
    line.append(toWire(message));
    blankLineBreaks(line, text);
    line.append("\"\r\n");
    return line;
}

std::optional<LogRecord> parseLogRecord(QByteArrayView line) {
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
        line.chop(1);
    // Exactly as the writer lays it out: anything else (a piece of a record that an older writer broke
    // over two lines, say) is not taken for one.
    const qsizetype comma = line.indexOf(',');
    if (comma < 0 || !isDelay(line.first(comma)) || line.size() < comma + 3 || line[comma + 1] != '"' ||
        line.back() != '"')
        return std::nullopt;
    bool ok = false;
    const int delay = line.first(comma).toInt(&ok);
    if (!ok)
        return std::nullopt;
    QByteArray text = line.sliced(comma + 2, line.size() - comma - 3).toByteArray();
    blankLineBreaks(text, 0);
    return LogRecord{delay, fromWire(text)};
}

} // namespace corvane
