// End to end: the simulated engine (a process of its own) blasts alarm messages at the monitor, which
// runs as the program does, offscreen, with its main window and views and a 10,013-channel board
// described by the engine. Over TCP a burst of 1,000,000 messages: messages per second and messages
// lost. Over UDP, steady streams at 40,000 and 100,000 messages per second for several seconds: how
// many arrived, how many the kernel dropped at the socket's full buffer, and how many the monitor lost
// itself (neither arrived nor counted by the kernel).
// Run: QT_QPA_PLATFORM=offscreen build-bench/bench/bench_link [burst [tcp|udp]]

#include "alarms/AlarmHandler.h"
#include "alarms/AlarmList.h"
#include "app/Monitor.h"
#include "board/BoardModel.h"
#include "link/EngineLink.h"
#include "link/UdpEngineLink.h"
#include "messages/MessageIntake.h"
#include "support/BenchSupport.h"
#include "support/EngineSimProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

using namespace corvane;
using namespace corvane::bench;

namespace {

const QStringList kEngineBoard = {"--spans",
                                  QString::number(kSpans),
                                  "--channels-per-span",
                                  QString::number(kPerSpan),
                                  "--groups",
                                  QString::number(kGroups),
                                  "--heartbeat-ms",
                                  "0",
                                  "--clock-ms",
                                  "0"};

// Counts the blast's alarms as the dispatcher hands them to the alarm handler, which still handles them.
struct BlastCounter {
    qint64 received = 0;
    qint64 outOfOrder = 0;
    qint64 last = 0;
    QElapsedTimer sinceLast;

    void install(Monitor& monitor) {
        const AlarmHandler alarms(monitor.ui(), monitor.config(), monitor.alarms(), monitor.sounds(),
                                  monitor.pager());
        monitor.dispatcher().setHandler('A', [this, alarms](QStringView body) {
            if (body.startsWith(u" blast ")) {
                ++received;
                const qint64 n = body.mid(7).toLongLong();
                if (n <= last)
                    ++outOfOrder;
                last = n;
                sinceLast.restart();
            }
            alarms.handle(body);
        });
        sinceLast.start();
    }
};

// Runs the event loop until `done` holds, or nothing has been received for idleMs.
void runUntil(const BlastCounter& counter, const std::function<bool()>& done, int idleMs) {
    QEventLoop loop;
    QTimer look;
    look.setInterval(2);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done() || counter.sinceLast.elapsed() > idleMs)
            loop.quit();
    });
    look.start();
    loop.exec();
}

// The monitor started with its monitor.ini pointing at the engine, once the engine's description of the
// board has been processed (or, over UDP, has stopped arriving) and the board completed.
bool describedBoard(test::EngineSimProcess& sim, Program& program, const char* link) {
    if (!program.started() || !sim.waitForCommand(QStringLiteral("UUUUU"), 20000))
        return false;
    Monitor& monitor = program.monitor();
    const auto cells = [&] { return static_cast<int>(monitor.board().cells().size()) - 1; };
    QElapsedTimer waited;
    waited.start();
    QElapsedTimer still;
    still.start();
    int seen = cells();
    QEventLoop loop;
    QTimer look;
    look.setInterval(10);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (cells() != seen) {
            seen = cells();
            still.restart();
        }
        if (seen >= kSpans * kPerSpan || (seen > 0 && still.elapsed() > 1000) || waited.elapsed() > 30000)
            loop.quit();
    });
    look.start();
    loop.exec();
    completeBoard(monitor);
    // The window takes its new height and paints it before anything is measured.
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    note(QStringLiteral("%1: the engine's description built %2 of %3 channels in %4 ms")
             .arg(QLatin1String(link))
             .arg(seen)
             .arg(kSpans * kPerSpan)
             .arg(waited.elapsed()));
    return seen > 0;
}

bool tcpBurst(qint64 count) {
    test::EngineSimProcess sim;
    if (!sim.start(kEngineBoard))
        return false;
    Program program({QStringLiteral("TCP, 1"), QStringLiteral("ENG_LOC_IP, \"127.0.0.1\""),
                     QStringLiteral("ENG_LOC_PORT, %1").arg(sim.tcpPort()),
                     QStringLiteral("TITLE, \"Bench\"")});
    if (!describedBoard(sim, program, "tcp")) {
        note(QStringLiteral("tcp: the monitor did not receive the board"));
        return false;
    }
    Monitor& monitor = program.monitor();
    BlastCounter counter;
    counter.install(monitor);
    const qint64 processedBefore = monitor.intake().processedCount();
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuSeconds();
    sim.write(QStringLiteral("blast %1").arg(count));
    runUntil(
        counter, [&] { return counter.received >= count; }, 5000);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpuStart;
    const double rate = static_cast<double>(counter.received) / seconds;
    const qint64 lost = count - counter.received + counter.outOfOrder;
    figure(
        QStringLiteral("End to end: TCP burst of %1 messages from the simulated engine").arg(grouped(count)),
        QStringLiteral("%1 msg/s, %2 lost").arg(grouped(rate)).arg(lost),
        QStringLiteral(">= 200,000 msg/s, none lost"), rate >= 200000 && lost == 0);
    note(QStringLiteral("tcp: %1 of %2 received in %3 s (monitor processor time %4 s), %5 out of order, "
                        "%6 other messages processed, alarm list %7 lines")
             .arg(counter.received)
             .arg(count)
             .arg(seconds, 0, 'f', 3)
             .arg(cpu, 0, 'f', 3)
             .arg(counter.outOfOrder)
             .arg(monitor.intake().processedCount() - processedBefore - counter.received)
             .arg(monitor.alarms().count()));
    return true;
}

bool udpSteady(qint64 rate, qint64 count) {
    test::EngineSimProcess sim;
    if (!sim.start(kEngineBoard))
        return false;
    const quint16 monitorPort = test::EngineSimProcess::freeMonitorPort();
    Program program({QStringLiteral("ENG_LOC_IP, \"127.0.0.1\""),
                     QStringLiteral("ENG_LOC_PORT, %1").arg(sim.udpPort()),
                     QStringLiteral("MON_PORT, %1").arg(monitorPort), QStringLiteral("TITLE, \"Bench\"")});
    if (!describedBoard(sim, program, "udp")) {
        note(QStringLiteral("udp: the monitor did not receive the board"));
        return false;
    }
    Monitor& monitor = program.monitor();
    BlastCounter counter;
    counter.install(monitor);
    const auto& link = dynamic_cast<const UdpEngineLink&>(*monitor.link());
    const qint64 kernelDropsBefore = link.kernelDrops();
    QElapsedTimer timer;
    timer.start();
    const qsizetype from = sim.lines().size();
    sim.write(QStringLiteral("blast %1 %2").arg(count).arg(rate));
    const QRegularExpression finished(QStringLiteral("^# blast finished"));
    bool engineDone = false;
    // Until everything sent has arrived, or the engine has finished and nothing more comes.
    runUntil(
        counter,
        [&] {
            engineDone = engineDone || sim.waitForLine(finished, 0, from).has_value();
            return counter.received >= count ||
                   (engineDone && monitor.queue().isEmpty() && counter.sinceLast.elapsed() > 500);
        },
        3000);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const qint64 lost = count - counter.received;
    const qint64 kernelDrops = link.kernelDrops();
    const bool kernelTells = kernelDropsBefore >= 0 && kernelDrops >= 0;
    const qint64 kernelDropped = kernelTells ? kernelDrops - kernelDropsBefore : 0;
    figure(QStringLiteral("End to end: UDP at a steady %1 msg/s (%2 messages, %3 s)")
               .arg(grouped(rate), grouped(count))
               .arg(count / rate),
           QStringLiteral("%1 arrived, %2 lost: kernel dropped %3, monitor dropped %4")
               .arg(grouped(counter.received), grouped(lost),
                    kernelTells ? grouped(kernelDropped) : QStringLiteral("unknown"),
                    kernelTells ? grouped(lost - kernelDropped) : QStringLiteral("unknown")),
           QStringLiteral("none lost"), lost == 0);
    note(QStringLiteral("udp %1/s: socket receive buffer granted %2 bytes").arg(rate).arg(link.receiveBufferBytes()));
    note(QStringLiteral("udp %1/s: %2 of %3 received in %4 s, %5 out of order%6")
             .arg(rate)
             .arg(counter.received)
             .arg(count)
             .arg(seconds, 0, 'f', 3)
             .arg(counter.outOfOrder)
             .arg(engineDone ? QString() : QStringLiteral(", the engine had not finished")));
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 burst = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    // A second argument picks one link: "tcp" or "udp".
    const QByteArray only = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    bool ok = true;
    if (only.isEmpty() || only == "tcp")
        ok = tcpBurst(burst) && ok;
    if (only.isEmpty() || only == "udp") {
        ok = udpSteady(40000, 200000) && ok;
        ok = udpSteady(100000, 1000000) && ok;
    }
    return ok ? 0 : 1;
}
