#include "app/IniFile.h"

#include "common/LegacyText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryFile>
#include <cfloat>
#include <cmath>
#include <optional>

namespace corvane::ini {

namespace {

struct Field {
    QString text;
    bool quoted = false;
};

bool isLineEnd(QChar c) {
    return c == u'\r' || c == u'\n';
}
bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// The file as a sequence of fields separated by commas or line ends.
class FieldReader {
public:
    explicit FieldReader(QStringView text) : m_text(text) {}

    std::optional<Field> next() {
        const qsizetype n = m_text.size();
        for (;;) {
            while (m_pos < n && isBlank(m_text[m_pos]))
                ++m_pos;
            if (m_pos >= n)
                return std::nullopt;
            if (!isLineEnd(m_text[m_pos]))
                break;
            // A line end right after a comma ends an empty value; an empty line holds no field at all.
            const bool emptyValue = !m_atLineStart;
            skipLineEnd();
            if (emptyValue)
                return Field{};
        }
        Field field;
        if (m_text[m_pos] == u'"') {
            field.quoted = true;
            const qsizetype close = m_text.indexOf(u'"', m_pos + 1);
            // An unterminated quote runs to the end of the file.
            const qsizetype end = close < 0 ? n : close;
            field.text = m_text.mid(m_pos + 1, end - m_pos - 1).toString();
            m_pos = close < 0 ? n : close + 1;
            // Anything between the closing quote and the delimiter is not part of the field.
            while (m_pos < n && m_text[m_pos] != u',' && !isLineEnd(m_text[m_pos]))
                ++m_pos;
        } else {
            const qsizetype start = m_pos;
            while (m_pos < n && m_text[m_pos] != u',' && !isLineEnd(m_text[m_pos]))
                ++m_pos;
            qsizetype end = m_pos;
            while (end > start && isBlank(m_text[end - 1]))
                --end;
            field.text = m_text.mid(start, end - start).toString();
        }
        skipDelimiter();
        return field;
    }

private:
    void skipLineEnd() {
        if (m_text[m_pos] == u'\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == u'\n')
            ++m_pos;
        ++m_pos;
        m_atLineStart = true;
    }
    void skipDelimiter() {
        if (m_pos >= m_text.size())
            return;
        if (m_text[m_pos] == u',') {
            ++m_pos;
            m_atLineStart = false;
        } else {
            skipLineEnd();
        }
    }

    QStringView m_text;
    qsizetype m_pos = 0;
    bool m_atLineStart = true;
};

// A value that begins with a number reads as that leading number; anything else does not convert.
std::optional<double> numberOf(const Field& value) {
    const QStringView t = QStringView(value.text).trimmed();
    qsizetype k = 0;
    if (k < t.size() && (t[k] == u'+' || t[k] == u'-'))
        ++k;
    const auto digitAt = [&t](qsizetype i) { return i < t.size() && t[i] >= u'0' && t[i] <= u'9'; };
    if (!digitAt(k) && !(k < t.size() && t[k] == u'.' && digitAt(k + 1)))
        return std::nullopt;
    const double number = leadingNumber(t);
    if (!std::isfinite(number))
        return std::nullopt;
    return number;
}

QString decimalText(double number) {
    return QString::number(number, 'g', 15);
}

// Text settings take the text; an unquoted number is read as a number first and becomes its decimal
// text ("007" gives "7").
QString textOf(const Field& value) {
    static const QRegularExpression wholeNumber(
        QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    if (!value.quoted && wholeNumber.match(value.text).hasMatch()) {
        if (const auto number = numberOf(value))
            return decimalText(*number);
    }
    return value.text;
}

void setInt16(std::int16_t& setting, const Field& value) {
    if (const auto number = numberOf(value)) {
        if (const auto converted = toInt16(*number))
            setting = *converted;
    }
}

void setBool(bool& setting, const Field& value) {
    if (const auto number = numberOf(value)) {
        setting = *number != 0.0;
        return;
    }
    const QString word = value.text.trimmed();
    if (word.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        setting = true;
    else if (word.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        setting = false;
}

struct ReadState {
    int scheduleEntries = 0;
};

void readSchedule(MonitorConfig& config, const Field& value, ReadState& state) {
    const QString text = textOf(value).trimmed();
    const qsizetype dash = text.indexOf(u'-');
    // A value without the "-" names no command; it takes no entry.
    if (dash < 0 || state.scheduleEntries >= static_cast<int>(config.schedule.size()))
        return;
    ScheduledCommand& entry = config.schedule[static_cast<std::size_t>(state.scheduleEntries++)];
    entry.pattern = text.left(dash).trimmed();
    entry.command = text.mid(dash + 1).trimmed();
}

// The leading number after the first `letter`, or of the whole value when the letter is missing.
void readFontPart(std::int16_t& setting, const QString& value, QChar letter) {
    const qsizetype at = value.indexOf(letter);
    const QStringView from = at < 0 ? QStringView(value) : QStringView(value).mid(at + 1);
    if (const auto converted = leadingInt16(from))
        setting = *converted;
}

void readFont(MonitorConfig& config, const Field& value) {
    config.present.setFont = true;
    const QString text = textOf(value);
    readFontPart(config.fontNarrow, text, u'N');
    readFontPart(config.fontBold, text, u'B');
    readFontPart(config.fontSize, text, u'S');
    if (config.fontSize > 12)
        config.fontSize = 12;
    if (config.fontSize < 8)
        config.fontSize = 8;
}

struct ReadKey {
    const char* name;
    void (*apply)(MonitorConfig&, const Field&, ReadState&);
};

// Keys as the reader tests them. A key not in this table is skipped together with its value.
const ReadKey kReadKeys[] = {
    {"TCP", [](MonitorConfig& c, const Field&, ReadState&) { c.useUdp = false; }},
    {"ENG_LOC_PORT", [](MonitorConfig& c, const Field& v, ReadState&) { setInt16(c.enginePort, v); }},
    {"MON_PORT", [](MonitorConfig& c, const Field& v, ReadState&) { setInt16(c.monitorPort, v); }},
    {"ENG_LOC_IP", [](MonitorConfig& c, const Field& v, ReadState&) { c.engineAddress = textOf(v); }},
    {"TITLE", [](MonitorConfig& c, const Field& v, ReadState&) { c.title = textOf(v); }},
    {"LOGO_PATH", [](MonitorConfig& c, const Field& v, ReadState&) { c.logoPath = textOf(v); }},
    {"DELTA_Y",
     [](MonitorConfig& c, const Field& v, ReadState&) {
         const auto number = numberOf(v);
         if (number && std::fabs(*number) <= static_cast<double>(FLT_MAX))
             c.deltaY = static_cast<float>(*number);
     }},
    {"WD_PROGRESS",
     [](MonitorConfig& c, const Field& v, ReadState&) {
         c.present.watchdogProgress = true;
         setBool(c.watchdogProgress, v);
     }},
    {"LOG_FILE", [](MonitorConfig& c, const Field& v, ReadState&) { c.logFile = textOf(v); }},
    {"DEMO", [](MonitorConfig& c, const Field&, ReadState&) { c.demo = true; }},
    {"CHK_UDP",
     [](MonitorConfig& c, const Field& v, ReadState&) {
         c.present.relayWindowTitle = true;
         c.relayWindowTitle = textOf(v);
     }},
    {"SCHED_CMD", [](MonitorConfig& c, const Field& v, ReadState& s) { readSchedule(c, v, s); }},
    {"PLAY_SOUND", [](MonitorConfig& c, const Field&, ReadState&) { c.present.playSound = true; }},
    {"SET_FONT", [](MonitorConfig& c, const Field& v, ReadState&) { readFont(c, v); }},
    {"MAIL_PAGEES",
     [](MonitorConfig& c, const Field& v, ReadState&) {
         c.present.pagerRecipients = true;
         c.pagerRecipients = textOf(v);
         c.pagerEnabledAtStart = true;
     }},
    {"MAIL_MASK", [](MonitorConfig& c, const Field& v, ReadState&) { c.alarmNumberMask = textOf(v); }},
    {"MAIL_STR_MASK", [](MonitorConfig& c, const Field& v, ReadState&) { c.alarmStringMask = textOf(v); }},
    {"MAIL_STR_ALLOW", [](MonitorConfig& c, const Field& v, ReadState&) { c.alarmStringAllow = textOf(v); }},
    {"GROUP_COLOR", [](MonitorConfig& c, const Field& v, ReadState&) { setInt16(c.groupColorScheme, v); }},
    {"WATCHDOG_TO", [](MonitorConfig& c, const Field& v, ReadState&) { setInt16(c.watchdogTimeout, v); }},
    {"MAX_ALARMS",
     [](MonitorConfig& c, const Field& v, ReadState&) {
         const auto number = numberOf(v);
         if (number && *number != 0.0) {
             c.maxAlarms = decimalText(*number);
             c.present.maxAlarms = true;
         }
     }},
    {"MAIL_SERVER", [](MonitorConfig& c, const Field& v, ReadState&) { c.mailServer = textOf(v); }},
    {"MAIL_FROM", [](MonitorConfig& c, const Field& v, ReadState&) { c.mailSender = textOf(v); }},
    {"MAIL_CA_FILE", [](MonitorConfig& c, const Field& v, ReadState&) { c.mailCaFile = textOf(v); }},
    // Credentials are taken as written: an unquoted 0042 is a password, not the number 42.
    {"MAIL_USER", [](MonitorConfig& c, const Field& v, ReadState&) { c.mailUser = v.text; }},
    {"MAIL_PASSWORD", [](MonitorConfig& c, const Field& v, ReadState&) { c.mailPassword = v.text; }},
};

QString quoted(const QString& text) {
    // A double quote inside the value would end it early when the file is read back and shift every
    // following pair; it is written as an apostrophe instead.
    QString inner = text;
    inner.replace(u'"', u'\'');
    return u'"' + inner + u'"';
}

// A credential written so that the reader gives it back exactly: quoted, unless it holds a double quote,
// which ends a quoted field; then bare, which the reader takes up to a comma or line end with blanks at
// either end removed. A value that neither form carries is not written (the logon then asks for it).
std::optional<QString> exactly(const QString& text) {
    if (!text.contains(u'"'))
        return u'"' + text + u'"';
    const bool bare = !text.startsWith(u'"') && !isBlank(text.front()) && !isBlank(text.back()) &&
                      !text.contains(u',') && !text.contains(u'\r') && !text.contains(u'\n');
    if (bare)
        return text;
    return std::nullopt;
}

using Lines = QStringList;

struct WriteKey {
    void (*write)(Lines&, const MonitorConfig&, const LiveSettings&);
};

// The lines of the file in their order, each with the condition under which it is written.
const WriteKey kWriteKeys[] = {
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        if (!c.useUdp)
            out << QStringLiteral("TCP, 1");
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        out << QStringLiteral("ENG_LOC_PORT,") + numberText(static_cast<long long>(c.enginePort));
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        out << QStringLiteral("MON_PORT,") + numberText(static_cast<long long>(c.monitorPort));
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        out << QStringLiteral("ENG_LOC_IP, ") + quoted(c.engineAddress);
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        out << QStringLiteral("TITLE, ") + quoted(c.title);
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        out << QStringLiteral("LOGO_PATH, ") + quoted(c.logoPath);
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        out << QStringLiteral("DELTA_Y,") + numberText(c.deltaY);
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        out << QStringLiteral("GROUP_COLOR,") + numberText(static_cast<long long>(c.groupColorScheme));
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        if (c.watchdogProgress)
            out << QStringLiteral("WD_PROGRESS, 1");
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        out << QStringLiteral("LOG_FILE, ") + quoted(c.logFile);
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        if (c.demo)
            out << QStringLiteral("DEMO, 1");
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        if (!c.relayWindowTitle.isEmpty())
            out << QStringLiteral("CHK_UDP, ") + quoted(c.relayWindowTitle);
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        for (const ScheduledCommand& entry : c.schedule) {
            if (!entry.command.isEmpty())
                out << QStringLiteral("SCHED_CMD,") +
                           quoted(entry.pattern + QStringLiteral(" - ") + entry.command);
        }
    }},
    {[](Lines& out, const MonitorConfig&, const LiveSettings& live) {
        if (live.allowSounds)
            out << QStringLiteral("PLAY_SOUND, 1");
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        out << QStringLiteral("SET_FONT, \"N%1B%2S%3\"").arg(c.fontNarrow).arg(c.fontBold).arg(c.fontSize);
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings& live) {
        if (live.pagerEnabled) {
            out << QStringLiteral("MAIL_PAGEES, ") + quoted(c.pagerRecipients)
                << QStringLiteral("MAIL_MASK, ") + quoted(c.alarmNumberMask)
                << QStringLiteral("MAIL_STR_MASK, ") + quoted(c.alarmStringMask)
                << QStringLiteral("MAIL_STR_ALLOW, ") + quoted(c.alarmStringAllow);
        } else if (!c.pagerRecipients.isEmpty()) {
            // Kept for the operator but commented out, so that reading the file leaves the pager off.
            out << QStringLiteral(";MAIL_PAGEES, ") + quoted(c.pagerRecipients)
                << QStringLiteral(";MAIL_MASK, ") + quoted(c.alarmNumberMask)
                << QStringLiteral(";MAIL_STR_ALLOW, ") + quoted(c.alarmStringAllow);
        }
    }},
    {[](Lines& out, const MonitorConfig&, const LiveSettings& live) {
        if (live.heartbeatIntervalMs != 1500)
            out << QStringLiteral("WATCHDOG_TO,") +
                       numberText(static_cast<long long>(live.heartbeatIntervalMs / 10));
    }},
    {[](Lines& out, const MonitorConfig&, const LiveSettings& live) {
        if (leadingNumber(live.maxListCountText) != 200.0)
            out << QStringLiteral("MAX_ALARMS,") + live.maxListCountText;
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        // The mail server settings, only those that are set. A password typed at logon is not among
        // them: only one that came from this file goes back into it.
        const std::pair<const char*, const QString*> mail[] = {{"MAIL_SERVER, ", &c.mailServer},
                                                               {"MAIL_FROM, ", &c.mailSender},
                                                               {"MAIL_CA_FILE, ", &c.mailCaFile}};
        for (const auto& [key, value] : mail)
            if (!value->isEmpty())
                out << QString::fromLatin1(key) + quoted(*value);
        for (const auto& [key, value] : {std::pair{"MAIL_USER, ", &c.mailUser},
                                         std::pair{"MAIL_PASSWORD, ", &c.mailPassword}})
            if (const auto written = exactly(*value); written && !value->isEmpty())
                out << QString::fromLatin1(key) + *written;
    }},
};

} // namespace

void read(const QByteArray& fileContent, MonitorConfig& config) {
    // A byte-order mark left by a modern editor would otherwise become part of the first key and lose it.
    static const QByteArray byteOrderMark("\xEF\xBB\xBF");
    const QString text =
        fromWire(fileContent.startsWith(byteOrderMark) ? fileContent.mid(byteOrderMark.size()) : fileContent);
    FieldReader fields(text);
    ReadState state;
    for (;;) {
        const auto key = fields.next();
        if (!key)
            break;
        const auto value = fields.next();
        if (!value)
            break;
        const QString name = key->text.trimmed().toUpper();
        for (const ReadKey& k : kReadKeys) {
            if (name == QLatin1String(k.name)) {
                k.apply(config, *value, state);
                break;
            }
        }
    }
}

QStringList readKeys() {
    QStringList names;
    for (const ReadKey& k : kReadKeys)
        names << QString::fromLatin1(k.name);
    return names;
}

bool readFile(const QString& path, MonitorConfig& config) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    file.close();
    read(bytes, config);
    return true;
}

QByteArray content(const MonitorConfig& config, const LiveSettings& live) {
    Lines lines;
    for (const WriteKey& k : kWriteKeys)
        k.write(lines, config, live);
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += toWire(line) + "\r\n";
    return bytes;
}

bool writeFile(const QString& path, const MonitorConfig& config, const LiveSettings& live) {
    const QFileInfo target(path);
    QTemporaryFile fresh(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                         QStringLiteral(".XXXXXX"));
    fresh.setAutoRemove(true);
    if (!fresh.open())
        return false;
    const QByteArray bytes = content(config, live);
    if (fresh.write(bytes) != bytes.size() || !fresh.flush())
        return false;
    // The new file is readable as the old one was (the temporary file starts private).
    fresh.setPermissions(target.exists() ? target.permissions()
                                         : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ReadGroup | QFileDevice::ReadOther);
    fresh.close();

    const QString old = path + QStringLiteral(".old");
    QFile::remove(old);
    const bool hadCurrent = QFile::rename(path, old);
    const QString freshName = fresh.fileName();
    fresh.setAutoRemove(false);
    if (!QFile::rename(freshName, path)) {
        QFile::remove(freshName);
        if (hadCurrent)
            QFile::rename(old, path);
        return false;
    }
    return true;
}

} // namespace corvane::ini
