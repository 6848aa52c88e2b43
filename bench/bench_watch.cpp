// The headless watch beside the windowed monitor: the real corvane-monitor program, once with
// --headless and no display, once with its window on the X display named by $DISPLAY (the bench script
// starts a private Xvfb), each linked over TCP to its own simulated engine with a 10,013-channel board
// (323 spans of 31) sending call traffic at 3,000 msg/s. After the board is built and has settled, the
// program's processor share is taken from /proc/PID/stat over a measuring window, and its resident
// memory from /proc/PID/status at the end of it. The engine's own count of messages written to the
// connection gives the rate the program really got.
// Run: DISPLAY=:NN build-bench/bench/bench_watch [measure-seconds]

#include "support/BenchSupport.h"
#include "support/EngineSimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace corvane;
using namespace corvane::bench;

namespace {

constexpr int kRate = 3000;
constexpr int kSettleMs = 15000;

// utime + stime of a process, in seconds; -1 when it cannot be read.
double processCpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble();
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A field of /proc/PID/status in kB ("VmRSS", "VmHWM"); -1 when it cannot be read.
long processStatusKb(qint64 pid, const char* field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').front().toLong();
    return -1;
}

// The engine's count of messages written to its one TCP connection so far; -1 when not told.
qint64 messagesSent(test::EngineSimProcess& sim) {
    const qsizetype from = sim.lines().size();
    if (!sim.control(QStringLiteral("counts")))
        return -1;
    static const QRegularExpression sent(QStringLiteral("^# tcp sent .* messages=(\\d+) .*closed-by=open$"));
    for (qsizetype i = from; i < sim.lines().size(); ++i)
        if (const auto m = sent.match(sim.lines().at(i)); m.hasMatch())
            return m.captured(1).toLongLong();
    return -1;
}

struct Run {
    double cpuShare = -1; // per cent of one core
    double rate = -1;     // messages per second the engine wrote
    long rssKb = -1;
    long peakKb = -1;
};

std::optional<Run> measure(bool headless, int measureMs) {
    test::EngineSimProcess sim;
    if (!sim.start({QStringLiteral("--spans"), QString::number(kSpans), QStringLiteral("--channels-per-span"),
                    QString::number(kPerSpan), QStringLiteral("--groups"), QString::number(kGroups),
                    QStringLiteral("--traffic-rate"), QString::number(kRate)})) {
        note(QStringLiteral("the simulated engine did not start: ") + sim.errors());
        return std::nullopt;
    }
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("watch.ini"));
    QFile file(ini);
    if (!file.open(QIODevice::WriteOnly))
        return std::nullopt;
    file.write("TCP, 1\r\nENG_LOC_IP, \"127.0.0.1\"\r\nENG_LOC_PORT, " + QByteArray::number(sim.tcpPort()) +
               "\r\nTITLE, \"CorvaneWatchBench\"\r\n");
    file.close();

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.setStandardOutputFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QStringList args{ini};
    if (headless) {
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        args.prepend(QStringLiteral("--headless"));
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(CORVANE_MONITOR), args);
    if (!program.waitForStarted(10000) || !sim.waitForCommand(QStringLiteral("UUUUU"), 30000)) {
        note(QStringLiteral("the monitor did not ask for the board"));
        return std::nullopt;
    }
    QTest::qWait(kSettleMs);
    if (program.state() != QProcess::Running)
        return std::nullopt;

    const qint64 pid = program.processId();
    QElapsedTimer wall;
    const double cpu0 = processCpuSeconds(pid);
    const qint64 sent0 = messagesSent(sim);
    wall.start();
    QTest::qWait(measureMs);
    const double cpu1 = processCpuSeconds(pid);
    const qint64 sent1 = messagesSent(sim);
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    Run run;
    run.cpuShare = 100.0 * (cpu1 - cpu0) / seconds;
    run.rate = static_cast<double>(sent1 - sent0) / seconds;
    run.rssKb = processStatusKb(pid, "VmRSS");
    run.peakKb = processStatusKb(pid, "VmHWM");
    program.terminate();
    if (!program.waitForFinished(10000))
        program.kill();
    return run;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int measureMs = (argc > 1 ? std::max(5, std::atoi(argv[1])) : 30) * 1000;
    note(
        QStringLiteral("%1-channel board (%2 spans of %3), call traffic at %4 msg/s over TCP; %5 s settling, "
                       "%6 s measured")
            .arg(grouped(kSpans * kPerSpan))
            .arg(kSpans)
            .arg(kPerSpan)
            .arg(grouped(kRate))
            .arg(kSettleMs / 1000)
            .arg(measureMs / 1000));
    bool ok = true;
    for (const bool headless : {true, false}) {
        if (!headless && qEnvironmentVariableIsEmpty("DISPLAY")) {
            note(QStringLiteral("no DISPLAY: the windowed monitor is not measured"));
            ok = false;
            continue;
        }
        const QString who = headless ? QStringLiteral("Headless watch") : QStringLiteral("Windowed monitor");
        const auto run = measure(headless, measureMs);
        if (!run) {
            note(who + QStringLiteral(": not measured"));
            ok = false;
            continue;
        }
        figure(who + QStringLiteral(": resident memory, 10,013-channel board, traffic running"),
               QStringLiteral("%1 MB (peak %2 MB)")
                   .arg(static_cast<double>(run->rssKb) / 1024.0, 0, 'f', 1)
                   .arg(static_cast<double>(run->peakKb) / 1024.0, 0, 'f', 1));
        figure(who + QStringLiteral(": processor share at 3,000 msg/s (10,013-channel board)"),
               QStringLiteral("%1 % of one core (%2 msg/s received)")
                   .arg(run->cpuShare, 0, 'f', 1)
                   .arg(grouped(run->rate)));
    }
    return ok ? 0 : 1;
}
