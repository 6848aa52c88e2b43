#include "common/LegacyText.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace corvane {

namespace {
bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}
} // namespace

double leadingNumber(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    const qsizetype begin = i;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    const bool fraction = i < n && text[i] == u'.';
    if (fraction) {
        ++i;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    qsizetype end = i;
    // An exponent counts only when at least one digit follows it.
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j]))
                ++j;
            end = j;
        }
    }
    // Plain integers, nearly every field of every message, are summed directly: exact up to 15 digits.
    if (!fraction && end == i && digits <= 15) {
        double sum = 0.0;
        for (qsizetype k = begin; k < end; ++k)
            if (isDigit(text[k]))
                sum = sum * 10.0 + (text[k].unicode() - u'0');
        return text[begin] == u'-' ? -sum : sum;
    }
    bool ok = false;
    const double value = text.mid(begin, end - begin).toString().toDouble(&ok);
    return ok ? value : 0.0;
}

namespace {
template <typename Int> std::optional<Int> roundInto(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // the default rounding mode is halves to even
    if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(rounded);
}
} // namespace

std::optional<std::int16_t> toInt16(double value) {
    return roundInto<std::int16_t>(value);
}
std::optional<std::int32_t> toInt32(double value) {
    return roundInto<std::int32_t>(value);
}

std::optional<std::int16_t> leadingInt16(QStringView text) {
    return toInt16(leadingNumber(text));
}

QString numberText(long long value) {
    const QString digits = QString::number(value);
    return value < 0 ? digits : QLatin1Char(' ') + digits;
}

QString numberText(float value) {
    QString text = QString::number(static_cast<double>(value), 'g', 7);
    // A fraction below one is written without its leading zero: " .25", "-.25".
    if (text.startsWith(QLatin1String("0.")))
        text.remove(0, 1);
    else if (text.startsWith(QLatin1String("-0.")))
        text.remove(1, 1);
    return value < 0 ? text : QLatin1Char(' ') + text;
}

qsizetype Fields::start(int k) const {
    qsizetype start = 0;
    for (int field = 1; field < k; ++field) {
        const qsizetype comma = m_body.indexOf(u',', start);
        start = comma < 0 ? 0 : comma + 1;
    }
    return start;
}

QString alarmStamp(const QDateTime& when) {
    const QDate d = when.date();
    const QTime t = when.time();
    const int hour12 = t.hour() % 12 == 0 ? 12 : t.hour() % 12;
    const int fields[] = {d.month(), d.day(), d.year() % 100, hour12, t.minute()};
    // Every alarm line is stamped, and printf-style formatting cost more than the rest of the line's
    // handling, so the digits are put in place by hand; anything that is not two digits goes the slow way.
    if (std::all_of(std::begin(fields), std::end(fields), [](int n) { return n >= 0 && n <= 99; })) {
        QString stamp = QStringLiteral("00/00/00 00:00 AM ---");
        QChar* out = stamp.data();
        for (int i = 0; i < 5; ++i) {
            out[3 * i] = QChar(u'0' + fields[i] / 10);
            out[3 * i + 1] = QChar(u'0' + fields[i] % 10);
        }
        if (t.hour() >= 12)
            out[15] = u'P';
        return stamp;
    }
    return QString::asprintf("%02d/%02d/%02d %02d:%02d %s ---", d.month(), d.day(), d.year() % 100, hour12,
                             t.minute(), t.hour() < 12 ? "AM" : "PM");
}

QString scheduleStamp(const QDateTime& when) {
    const QDate d = when.date();
    const QTime t = when.time();
    return QString::asprintf("%02d/%02d/%02d %02d:%02d:%02d", d.month(), d.day(), d.year() % 100, t.hour(),
                             t.minute(), t.second());
}

QDateTime readScheduleStamp(QStringView text) {
    const QString trimmed = text.trimmed().toString();
    // Two-digit years are this century's, whatever QDate's own default century is.
    const QDateTime read = QDateTime::fromString(trimmed, QStringLiteral("MM/dd/yy HH:mm:ss"));
    if (!read.isValid())
        return {};
    QDate d = read.date();
    if (d.year() < 2000)
        d = d.addYears(100);
    return QDateTime(d, read.time());
}

} // namespace corvane
