#include "support/EngineSimProcess.h"

#include <QRandomGenerator>
#include <QTest>
#include <QUdpSocket>

namespace corvane::test {

EngineSimProcess::EngineSimProcess() {
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { readOutput(); });
    QObject::connect(&m_process, &QProcess::readyReadStandardError,
                     [this] { m_errors += QString::fromLatin1(m_process.readAllStandardError()); });
}

EngineSimProcess::~EngineSimProcess() {
    stop(2000);
}

bool EngineSimProcess::start(const QStringList& args, int timeoutMs) {
    if (isRunning())
        return false;
    m_lines.clear();
    m_partial.clear();
    m_errors.clear();
    m_udpPort = m_tcpPort = 0;
    const QString defaults =
        QStringLiteral("--udp-port 0 --tcp-port 0 --traffic-rate 0 --alarm-rate 0 --exit-on-stdin-eof");
    m_process.start(QStringLiteral(CORVANE_ENGINE_SIM), defaults.split(QLatin1Char(' ')) + args);
    if (!m_process.waitForStarted(timeoutMs))
        return false;
    static const QRegularExpression listening(QStringLiteral("^listening udp=(\\d+) tcp=(\\d+)$"));
    const auto index = waitForLine(listening, timeoutMs);
    if (!index)
        return false;
    const auto match = listening.match(m_lines.at(*index));
    m_udpPort = static_cast<quint16>(match.captured(1).toUInt());
    m_tcpPort = static_cast<quint16>(match.captured(2).toUInt());
    return true;
}

void EngineSimProcess::stop(int timeoutMs) {
    if (!isRunning())
        return;
    write(QStringLiteral("quit"));
    if (!waitForExit(timeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(timeoutMs);
    }
    readOutput();
}

bool EngineSimProcess::waitForExit(int timeoutMs) {
    return QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
}

void EngineSimProcess::write(const QString& line) {
    if (isRunning())
        m_process.write(line.toLatin1() + '\n');
}

void EngineSimProcess::readOutput() {
    m_partial += m_process.readAllStandardOutput();
    qsizetype start = 0;
    for (qsizetype end = m_partial.indexOf('\n'); end >= 0; end = m_partial.indexOf('\n', start)) {
        QByteArray line = m_partial.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        m_lines.append(QString::fromLatin1(line));
        start = end + 1;
    }
    m_partial.remove(0, start);
}

std::optional<qsizetype> EngineSimProcess::waitFor(const std::function<bool(qsizetype)>& found, int timeoutMs,
                                                   qsizetype from) {
    qsizetype next = std::max<qsizetype>(from, 0);
    std::optional<qsizetype> at;
    const auto look = [&] {
        readOutput();
        for (; next < m_lines.size(); ++next) {
            if (found(next)) {
                at = next;
                return true;
            }
        }
        return !isRunning(); // an engine that has ended prints nothing more
    };
    if (!look())
        static_cast<void>(QTest::qWaitFor(look, timeoutMs));
    return at;
}

std::optional<qsizetype> EngineSimProcess::waitForLine(const QRegularExpression& pattern, int timeoutMs,
                                                       qsizetype from) {
    return waitFor([&](qsizetype i) { return pattern.match(m_lines.at(i)).hasMatch(); }, timeoutMs, from);
}

namespace {

// One printed command line, "<address>:<port> <text>" with an IPv6 address in brackets; nothing when
// the line is not a command.
std::optional<SimCommand> parseCommand(const QString& line, qsizetype index) {
    static const QRegularExpression command(QStringLiteral("^\\[?([^ \\[\\]]+)\\]?:(\\d{1,5}) (.*)$"));
    const auto m = command.match(line);
    if (!m.hasMatch() || QHostAddress(m.captured(1)).isNull() || m.captured(2).toUInt() > 65535)
        return std::nullopt;
    return SimCommand{index, m.captured(1), static_cast<quint16>(m.captured(2).toUInt()), m.captured(3)};
}

} // namespace

quint16 EngineSimProcess::freeMonitorPort() {
    for (int i = 0; i < 500; ++i) {
        const auto port = static_cast<quint16>(QRandomGenerator::global()->bounded(20000, 32768));
        QUdpSocket probe;
        if (probe.bind(QHostAddress::Any, port))
            return port;
    }
    return 0;
}

QList<SimCommand> EngineSimProcess::commands(qsizetype from) const {
    QList<SimCommand> out;
    for (qsizetype i = std::max<qsizetype>(from, 0); i < m_lines.size(); ++i)
        if (auto cmd = parseCommand(m_lines.at(i), i))
            out.append(*cmd);
    return out;
}

std::optional<SimCommand> EngineSimProcess::waitForCommand(const QString& text, int timeoutMs,
                                                           qsizetype from) {
    const auto at = waitFor(
        [&](qsizetype i) {
            const auto cmd = parseCommand(m_lines.at(i), i);
            return cmd && cmd->text == text;
        },
        timeoutMs, from);
    return at ? parseCommand(m_lines.at(*at), *at) : std::nullopt;
}

bool EngineSimProcess::control(const QString& line, int timeoutMs) {
    const qsizetype from = m_lines.size();
    write(line);
    const QRegularExpression answer(QStringLiteral("^# (done|error[^:]*:) ") +
                                    QRegularExpression::escape(line.trimmed()) + QStringLiteral("$"));
    const auto index = waitForLine(answer, timeoutMs, from);
    return index && m_lines.at(*index).startsWith(QStringLiteral("# done "));
}

void overUdpAndTcp() {
    QTest::addColumn<bool>("udp");
    QTest::newRow("udp") << true;
    QTest::newRow("tcp") << false;
}

} // namespace corvane::test
