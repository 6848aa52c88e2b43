#include "support/LiveMonitor.h"

#include "board/BoardModel.h"
#include "board/Colors.h"

#include <QFile>
#include <QTest>

namespace corvane::test {

long statusKb(const char* field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

bool LiveMonitor::start(bool udp, const QString& engineAddress, const QString& bind) {
    if (!sim.start({"--heartbeat-ms", "0", "--clock-ms", "0", "--bind", bind}))
        return false;
    config.useUdp = udp;
    config.engineAddress = engineAddress;
    config.enginePort = static_cast<std::int16_t>(udp ? sim.udpPort() : sim.tcpPort());
    config.monitorPort = static_cast<std::int16_t>(EngineSimProcess::freeMonitorPort());
    monitor = std::make_unique<Monitor>(config, services.platform, QStringLiteral("LIVEBOX"));
    monitor->load();
    // The refresh sequence ends with "UUUUU"; by then the engine knows this monitor.
    return sim.waitForCommand(QStringLiteral("UUUUU"), 20000).has_value();
}

bool LiveMonitor::paints(int state, int group) {
    const QString report = QStringLiteral("t305,%1,%2,1207").arg(group).arg(state);
    if (!sim.control(QStringLiteral("send ") + report))
        return false;
    return QTest::qWaitFor(
        [&] {
            const ChannelCell* c = monitor->board().cell(305);
            return c && c->group == group && c->stateColor == stateColor(static_cast<std::int16_t>(state)) &&
                   c->connected && c->peerNumber() == 1207;
        },
        20000);
}

} // namespace corvane::test
