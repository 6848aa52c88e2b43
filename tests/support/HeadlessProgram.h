#pragma once
// Runs the real program as `corvane-monitor --headless ...` in a child process and collects what it
// prints: its alarm lines (standard output, one a line) and its start-up facts and refusals (standard
// error). By default the child gets no DISPLAY, no WAYLAND_DISPLAY and no Qt platform; a test of relay
// termination keeps the X display.
//
// Every wait runs the event loop (QTest::qWaitFor), so the test's own processes and sockets keep working.

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <optional>

namespace corvane::test {

class HeadlessProgram {
public:
    HeadlessProgram();
    ~HeadlessProgram();
    HeadlessProgram(const HeadlessProgram&) = delete;
    HeadlessProgram& operator=(const HeadlessProgram&) = delete;

    // args follow the program's name as they are ("--headless" included).
    void start(const QStringList& args, bool keepDisplay = false);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // Sends SIGTERM.
    void terminate() { m_process.terminate(); }
    bool waitForExit(int timeoutMs = 20000);
    int exitCode() const { return m_process.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }

    // The lines printed on standard output so far, without line ends.
    const QStringList& lines() const { return m_lines; }
    // Everything printed on standard error so far.
    const QString& errors() const { return m_errors; }

    // The index of the first output line at `from` or later that matches, waiting up to timeoutMs.
    std::optional<qsizetype> waitForLine(const QRegularExpression& pattern, int timeoutMs = 20000,
                                         qsizetype from = 0);
    // Whether standard error comes to hold `text` within timeoutMs.
    bool waitForError(const QString& text, int timeoutMs = 20000);

    // An alarm line as the alarm list shows it: "mm/dd/yy hh:mm AMPM ---" and exactly `text`.
    static QRegularExpression alarmLine(const QString& text);

private:
    void readOutput();

    QProcess m_process;
    QByteArray m_partial;
    QStringList m_lines;
    QString m_errors;
};

} // namespace corvane::test
