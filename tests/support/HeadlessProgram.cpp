#include "support/HeadlessProgram.h"

#include <QTest>

namespace corvane::test {

HeadlessProgram::HeadlessProgram() {
    connect(this, &QProcess::readyReadStandardOutput, [this] { readOutput(); });
    connect(this, &QProcess::readyReadStandardError,
            [this] { m_errors += QString::fromUtf8(readAllStandardError()); });
}

HeadlessProgram::~HeadlessProgram() {
    if (isRunning()) {
        kill();
        waitForFinished(5000);
    }
}

void HeadlessProgram::start(const QStringList& args, bool keepDisplay) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (!keepDisplay)
        env.remove(QStringLiteral("DISPLAY"));
    setProcessEnvironment(env);
    QProcess::start(QStringLiteral(CORVANE_MONITOR), args);
}

bool HeadlessProgram::waitForExit(int timeoutMs) {
    const bool ended = QTest::qWaitFor([this] { return !isRunning(); }, timeoutMs);
    readOutput();
    m_errors += QString::fromUtf8(readAllStandardError());
    return ended;
}

std::optional<qsizetype> HeadlessProgram::waitForLine(const QRegularExpression& pattern, int timeoutMs,
                                                      qsizetype from) {
    std::optional<qsizetype> found;
    qsizetype next = from;
    const auto look = [&] {
        readOutput();
        for (; next < m_lines.size(); ++next)
            if (pattern.match(m_lines.at(next)).hasMatch()) {
                found = next;
                return true;
            }
        return !isRunning();
    };
    static_cast<void>(QTest::qWaitFor(look, timeoutMs));
    return found;
}

bool HeadlessProgram::waitForError(const QString& text, int timeoutMs) {
    return QTest::qWaitFor([&] { return m_errors.contains(text) || !isRunning(); }, timeoutMs) &&
           m_errors.contains(text);
}

QRegularExpression HeadlessProgram::alarmLine(const QString& text) {
    return QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d [AP]M ---") +
                              QRegularExpression::escape(text) + u'$');
}

void HeadlessProgram::readOutput() {
    m_partial += readAllStandardOutput();
    qsizetype end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        m_lines << QString::fromUtf8(m_partial.left(end));
        m_partial.remove(0, end + 1);
    }
}

} // namespace corvane::test
