#pragma once
// Command-line settings of the simulated engine.

#include <QString>
#include <QStringList>

namespace corvane::sim {

// The fault kinds that --faults accepts: disconnect, silence, pings, oversize, garbage.
const QStringList& allFaultKinds();

struct SimOptions {
    QString bindAddress = QStringLiteral("127.0.0.1");
    int udpPort = 1260; // 0 = any free port
    int tcpPort = 1260;
    QString switchName = QStringLiteral("CORVANE-SIM");
    int spans = 4;
    int channelsPerSpan = 24;
    int groups = 4;
    double trafficRate = 5.0; // channel messages per second, 0 = quiet
    double alarmRate = 0.05;  // alarms and events per second
    int heartbeatMs = 1000;   // 0 = no heartbeats
    int clockMs = 1000;       // 0 = no clock messages
    quint32 seed = 1;
    QString refused; // command letters answered with "-"
    bool answerPings = true;
    bool exitOnStdinEof = false;
    // Fault modes for soak runs: the mean interval between random faults (0 = none), the kinds drawn
    // from, and whether every TCP connection starts with a "#connection N" marker.
    double faultEverySeconds = 0.0;
    QStringList faultKinds = allFaultKinds();
    bool markConnections = false;
    // What the traffic is: calls that start, are answered and end, or idle channels flipped between
    // idle and connected, one report each (the steady state changes a painting benchmark needs).
    bool flipTraffic = false;
};

// Reads the options from a full argument list (program name first). On failure or --help returns
// false with the text to print in message; exitCode tells which exit status fits.
bool parseOptions(const QStringList& arguments, SimOptions& out, QString& message, int& exitCode);

} // namespace corvane::sim
