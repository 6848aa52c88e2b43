#pragma once
// Command-line settings of the simulated engine.

#include <QString>
#include <QStringList>

namespace corvane::sim {

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
};

// Reads the options from a full argument list (program name first). On failure or --help returns
// false with the text to print in message; exitCode tells which exit status fits.
bool parseOptions(const QStringList& arguments, SimOptions& out, QString& message, int& exitCode);

} // namespace corvane::sim
