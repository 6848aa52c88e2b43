#pragma once
// The text conventions that the engine's messages, monitor.ini and the displays share. Every subsystem
// reads and writes numbers through these helpers so that the rules live in one place.

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace corvane {

// The leading number of a text: leading blanks skipped, then an optional sign, digits, an optional
// fraction and an optional exponent; the number stops at the first character that cannot continue it.
// Text without a leading number reads as 0.
double leadingNumber(QStringView text);

// Rounds to the nearest 16-bit signed integer, halves to the even neighbour. Values that do not fit
// (and NaN) give nothing: the caller skips the step that needed the number.
std::optional<std::int16_t> toInt16(double value);
// Same rounding into 32 bits, for the few values kept that wide.
std::optional<std::int32_t> toInt32(double value);

// leadingNumber followed by toInt16.
std::optional<std::int16_t> leadingInt16(QStringView text);

// A number written with one blank before it when it is not negative: 205 -> " 205", -3 -> "-3".
QString numberText(long long value);
// Plain and 16-bit integers take the integer form (without this they could not choose between the two).
inline QString numberText(int value) {
    return numberText(static_cast<long long>(value));
}
// The same for a single-precision value: 2 -> " 2", 1.5 -> " 1.5", 0.25 -> " .25".
QString numberText(float value);

// Fields of a message body separated by ",". Field k (1-based) starts after the (k-1)-th comma found by
// searching from the previous field's start; a missing comma restarts the search from the body's first
// character, so a short body reads its first field again for the missing ones.
class Fields {
public:
    explicit Fields(QStringView body) : m_body(body) {}
    // 0-based index at which field k starts.
    qsizetype start(int k) const;
    // The text from field k's start to the end of the body (the format decides where a field ends).
    QStringView from(int k) const { return m_body.mid(start(k)); }
    // The leading number of field k as a 16-bit value, or nothing when it does not fit.
    std::optional<std::int16_t> int16(int k) const { return leadingInt16(from(k)); }

private:
    QStringView m_body;
};

// "mm/dd/yy " + "hh:mm AMPM ---": the stamp in front of every alarm line, the same whatever the locale.
QString alarmStamp(const QDateTime& when);
// "mm/dd/yy hh:nn:ss" in 24-hour form: the layout of scheduled command patterns.
QString scheduleStamp(const QDateTime& when);
// Reads "mm/dd/yy hh:nn:ss" back; an invalid QDateTime when the text is not such a date and time.
QDateTime readScheduleStamp(QStringView text);

// Engine messages, monitor.ini and the log file are 8-bit text: every byte maps to one character.
inline QString fromWire(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}
inline QByteArray toWire(const QString& text) {
    return text.toLatin1();
}

} // namespace corvane
