#include "app/IniFile.h"

#include "board/BoardZoom.h"
#include "common/LegacyText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

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

// A port is 0 to 32767; anything else would wrap to some other port and leaves the setting alone.
void setPort(std::int16_t& setting, const Field& value) {
    if (const auto number = numberOf(value)) {
        if (const auto converted = toInt16(*number); converted && *converted >= 0)
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
    {"ENG_LOC_PORT", [](MonitorConfig& c, const Field& v, ReadState&) { setPort(c.enginePort, v); }},
    {"MON_PORT", [](MonitorConfig& c, const Field& v, ReadState&) { setPort(c.monitorPort, v); }},
    {"ENG_LOC_IP", [](MonitorConfig& c, const Field& v, ReadState&) { c.engineAddress = textOf(v); }},
    {"ENG_ALLOW_FROM", [](MonitorConfig& c, const Field& v, ReadState&) { c.allowFrom = textOf(v); }},
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
    {"BOARD_ZOOM",
     [](MonitorConfig& c, const Field& v, ReadState&) {
         if (const auto number = numberOf(v))
             if (const auto percent = boardZoomPercent(*number))
                 c.boardZoomPercent = *percent;
     }},
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
    // The settings this program added, only those that are set, come after the lines that have always
    // been written but before the last two: MAX_ALARMS is written as typed, unquoted, so a maximum typed
    // with a comma shifts the reader's pairing of everything after it.
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        if (!c.allowFrom.isEmpty())
            out << QStringLiteral("ENG_ALLOW_FROM, ") + quoted(c.allowFrom);
    }},
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        // A password typed at logon is not among them: only one that came from this file goes back.
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
    {[](Lines& out, const MonitorConfig& c, const LiveSettings&) {
        if (c.boardZoomPercent != 100)
            out << QStringLiteral("BOARD_ZOOM,") + numberText(static_cast<long long>(c.boardZoomPercent));
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

namespace {

// A descriptor that closes itself.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }
    // Closes now and says whether the close succeeded: a late write error shows only here.
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    void reset() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    int m_fd;
};

QString reason() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

// Writes `bytes` to the open file and forces them to the disk; the failure's reason, or nothing.
std::optional<QString> writeDurably(Descriptor& fd, const QByteArray& bytes) {
    if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0 || !fd.close())
        return reason();
    return std::nullopt;
}

std::optional<QString> syncFolder(const QByteArray& folder) {
    Descriptor dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.ok() || ::fsync(dir.get()) != 0)
        return reason();
    return std::nullopt;
}

// A copy of `from` under the new name `to` (which must not exist), itself on the disk, for file systems
// that cannot link.
std::optional<QString> copyDurably(const QByteArray& from, const QByteArray& to, mode_t mode) {
    QFile source(QFile::decodeName(from));
    if (!source.open(QIODevice::ReadOnly))
        return source.errorString();
    const QByteArray bytes = source.readAll();
    Descriptor copy(::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!copy.ok())
        return reason();
    if (auto failed = writeDurably(copy, bytes)) {
        ::unlink(to.constData());
        return failed;
    }
    return std::nullopt;
}

// Rewrites the file where it stands: for a folder where no new file can be made. A crash in the middle
// can cut this one short, which is why it is only the fallback.
WriteOutcome rewriteInPlace(const QByteArray& target, const QByteArray& bytes) {
    Descriptor fd(::open(target.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (!fd.ok())
        return {false, reason()};
    if (auto failed = writeDurably(fd, bytes))
        return {false, *failed};
    return {true, {}};
}

} // namespace

WriteOutcome writeFile(const QString& path, const MonitorConfig& config, const LiveSettings& live,
                       const std::function<void(WriteStep)>& reached) {
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    const QByteArray old = target + ".old";
    const QByteArray bytes = content(config, live);
    const auto step = [&reached](WriteStep s) {
        if (reached)
            reached(s);
    };

    struct stat current {};
    const bool hadCurrent = ::stat(target.constData(), &current) == 0;
    // The new file is readable as the old one was.
    const mode_t mode = hadCurrent ? (current.st_mode & 07777) : 0644;

    QByteArray fresh = folder + "/." + QFile::encodeName(info.fileName()) + ".XXXXXX";
    Descriptor fd(::mkstemp(fresh.data()));
    if (!fd.ok()) {
        const int err = errno;
        if (hadCurrent && (err == EACCES || err == EROFS || err == EPERM) &&
            ::access(target.constData(), W_OK) == 0)
            return rewriteInPlace(target, bytes);
        errno = err;
        return {false, reason()};
    }
    const auto discard = [&fresh](const QString& why) {
        ::unlink(fresh.constData());
        return WriteOutcome{false, why};
    };
    if (::fchmod(fd.get(), mode) != 0)
        return discard(reason());
    if (auto failed = writeDurably(fd, bytes))
        return discard(*failed);
    step(WriteStep::NewFileWritten);

    // The previous file becomes ".old" under a second name, so the current name never goes missing.
    if (hadCurrent) {
        const QByteArray keep = fresh + ".old";
        if (::link(target.constData(), keep.constData()) != 0) {
            if (errno != EPERM && errno != EXDEV && errno != EMLINK && errno != EOPNOTSUPP)
                return discard(reason());
            if (auto failed = copyDurably(target, keep, mode))
                return discard(*failed);
        }
        if (::rename(keep.constData(), old.constData()) != 0) {
            const QString why = reason();
            ::unlink(keep.constData());
            return discard(why);
        }
        step(WriteStep::PreviousKept);
    }
    if (::rename(fresh.constData(), target.constData()) != 0)
        return discard(reason());
    step(WriteStep::NewFileInPlace);
    if (auto failed = syncFolder(folder))
        return {true, *failed};
    return {true, {}};
}

} // namespace corvane::ini
