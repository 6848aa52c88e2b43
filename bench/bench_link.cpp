// Throughput of the link and message processing against the simulated engine on loopback: a burst of
// 1,000,000 short messages over TCP (rate and losses), and steady UDP streams (losses).
// Prints one table row per case: case, messages sent, seconds, messages per second, lost.

#include "app/Monitor.h"
#include "link/EngineLink.h"
#include "link/LinkActions.h"
#include "messages/MessageIntake.h"
#include "platform/Clock.h"
#include "support/EngineSimProcess.h"
#include "support/ScriptedDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QUdpSocket>
#include <cstdio>

using namespace corvane;

namespace {

struct Rig {
    SystemClock clock;
    test::ScriptedDialogs dialogs;
    test::RecordingLauncher launcher;
    test::RecordingTones tones;
    Platform platform{clock, dialogs, launcher, tones};
    MonitorConfig config;
    std::unique_ptr<Monitor> monitor;
    qint64 processed = 0;
    qint64 outOfOrder = 0;
    qint64 lastNumber = 0;

    Rig(bool udp, quint16 enginePort, quint16 monitorPort) {
        config.useUdp = udp;
        config.engineAddress = QStringLiteral("127.0.0.1");
        config.enginePort = static_cast<std::int16_t>(enginePort);
        config.monitorPort = static_cast<std::int16_t>(monitorPort);
        monitor = std::make_unique<Monitor>(config, platform, QStringLiteral("BENCH"));
        // Only the link and message processing are measured: the blast's messages are counted here.
        monitor->dispatcher.setHandler('A', [this](QStringView body) {
            ++processed;
            const qint64 n = body.mid(body.lastIndexOf(u' ') + 1).toLongLong();
            if (n <= lastNumber)
                ++outOfOrder;
            lastNumber = n;
        });
        monitor->link = createEngineLink(*monitor);
    }
};

quint16 freeUdpPort() {
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

// Runs the event loop until `done` holds or nothing has been processed for `idleMs`.
void runUntil(Rig& rig, const std::function<bool()>& done, int idleMs) {
    qint64 seen = -1;
    QElapsedTimer idle;
    idle.start();
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (rig.processed != seen) {
            seen = rig.processed;
            idle.restart();
        } else if (idle.elapsed() > idleMs) {
            break;
        }
    }
}

void row(const char* name, qint64 sent, double seconds, qint64 processed, qint64 extraLost,
         const QString& note) {
    std::printf("| %-28s | %9lld | %7.3f | %10.0f | %8lld | %s\n", name, static_cast<long long>(sent),
                seconds, seconds > 0 ? static_cast<double>(processed) / seconds : 0.0,
                static_cast<long long>(sent - processed + extraLost), qPrintable(note));
    std::fflush(stdout);
}

bool tcpBurst(qint64 count) {
    test::EngineSimProcess sim;
    if (!sim.start({"--heartbeat-ms", "0", "--clock-ms", "0"}))
        return false;
    Rig rig(false, sim.tcpPort(), 0);
    reconnect(*rig.monitor);
    if (!sim.waitForCommand(QStringLiteral("$BENCH")))
        return false;
    QElapsedTimer timer;
    timer.start();
    sim.write(QStringLiteral("blast %1").arg(count));
    runUntil(
        rig, [&] { return rig.processed >= count; }, 5000);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    row("tcp burst", count, seconds, rig.processed, rig.outOfOrder,
        QStringLiteral("out of order %1, discarded %2")
            .arg(rig.outOfOrder)
            .arg(rig.monitor->link->discardedCount()));
    return true;
}

bool udpSteady(qint64 rate, qint64 count) {
    test::EngineSimProcess sim;
    if (!sim.start({"--heartbeat-ms", "0", "--clock-ms", "0"}))
        return false;
    Rig rig(true, sim.udpPort(), freeUdpPort());
    reconnect(*rig.monitor);
    if (!sim.waitForCommand(QStringLiteral("$BENCH")))
        return false;
    QElapsedTimer timer;
    timer.start();
    sim.write(QStringLiteral("blast %1 %2").arg(count).arg(rate));
    const qsizetype from = sim.lines().size();
    const QRegularExpression finishedLine(QStringLiteral("^# blast finished"));
    // Until everything sent has been handled, or the engine has finished and nothing more comes.
    runUntil(
        rig,
        [&] {
            return rig.processed >= count ||
                   (sim.waitForLine(finishedLine, 0, from).has_value() && rig.monitor->queue.isEmpty() &&
                    timer.elapsed() * rate / 1000 > count * 11 / 10);
        },
        1000);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const QByteArray name = QStringLiteral("udp steady %1/s").arg(rate).toLatin1();
    row(name.constData(), count, seconds, rig.processed, 0,
        QStringLiteral("dropped by the full ring %1, the rest lost before arrival")
            .arg(rig.monitor->link->discardedCount()));
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 burst = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    std::printf("| %-28s | %9s | %7s | %10s | %8s | %s\n", "case", "sent", "seconds", "msg/s", "lost",
                "note");
    bool ok = tcpBurst(burst);
    ok = udpSteady(20000, 100000) && ok;
    ok = udpSteady(100000, 500000) && ok;
    return ok ? 0 : 1;
}
