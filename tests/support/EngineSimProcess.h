#pragma once
// Runs the simulated engine (corvane-engine-sim) as a child process on free loopback ports, collects
// what it prints and drives it through its control lines. Every wait runs the event loop
// (QTest::qWaitFor), so the test's own sockets keep working while it waits.

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace corvane::test {

// One command as the engine printed it: "<address>:<port> <text>".
struct SimCommand {
    qsizetype line = -1; // index in EngineSimProcess::lines()
    QString address;     // "127.0.0.1" (IPv6 addresses without brackets)
    quint16 port = 0;
    QString text; // CR and LF inside a command are printed as the two characters \r and \n
};

class EngineSimProcess {
public:
    EngineSimProcess();
    ~EngineSimProcess();
    EngineSimProcess(const EngineSimProcess&) = delete;
    EngineSimProcess& operator=(const EngineSimProcess&) = delete;

    // Starts the engine on free ports without traffic or alarms, then args (a later option overrides an
    // earlier one), and waits for its "listening udp=N tcp=N" line.
    bool start(const QStringList& args = {}, int timeoutMs = 10000);
    // Asks the engine to quit ("quit"), then kills it if it has not ended after timeoutMs.
    void stop(int timeoutMs = 5000);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    int exitCode() const { return m_process.exitCode(); }
    // Waits for the process to end by itself (after "quit", or a closed stdin).
    bool waitForExit(int timeoutMs = 5000);

    quint16 udpPort() const { return m_udpPort; }
    quint16 tcpPort() const { return m_tcpPort; }

    // Every complete line printed on stdout so far (Latin-1), without line ends.
    const QStringList& lines() const { return m_lines; }
    // Everything printed on stderr so far.
    QString errors() const { return m_errors; }
    // The printed commands (lines of the "<address>:<port> <text>" form) from line index `from` on.
    QList<SimCommand> commands(qsizetype from = 0) const;

    // The index of the first line at `from` or later matching pattern; nothing on time-out.
    std::optional<qsizetype> waitForLine(const QRegularExpression& pattern, int timeoutMs = 10000,
                                         qsizetype from = 0);
    // The first printed command at index `from` or later whose text equals `text` exactly.
    std::optional<SimCommand> waitForCommand(const QString& text, int timeoutMs = 10000, qsizetype from = 0);
    // Sends one control line and waits for the engine's "# done <line>"; false on "# error" or time-out.
    bool control(const QString& line, int timeoutMs = 10000);
    // Writes a control line without waiting.
    void write(const QString& line);

    // A UDP port from 20000 to 32767 that is free at the moment (0 when none is), for a monitor's
    // MON_PORT: the monitor keeps its ports as 16-bit signed numbers.
    static quint16 freeMonitorPort();

private:
    void readOutput();
    // The first line at index `from` or later for which found(index) holds, waiting up to timeoutMs.
    std::optional<qsizetype> waitFor(const std::function<bool(qsizetype)>& found, int timeoutMs,
                                     qsizetype from);

    QProcess m_process;
    QStringList m_lines;
    QByteArray m_partial;
    QString m_errors;
    quint16 m_udpPort = 0;
    quint16 m_tcpPort = 0;
};

// The rows of a test that runs once over each transport: a bool column "udp".
void overUdpAndTcp();

} // namespace corvane::test
