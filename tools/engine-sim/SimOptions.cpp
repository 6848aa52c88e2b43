#include "SimOptions.h"

#include <QCommandLineParser>
#include <QHostAddress>

namespace corvane::sim {

const QStringList& allFaultKinds() {
    static const QStringList kinds{QStringLiteral("disconnect"), QStringLiteral("silence"),
                                   QStringLiteral("pings"), QStringLiteral("oversize"),
                                   QStringLiteral("garbage")};
    return kinds;
}

namespace {

const char* const kDescription =
    "Simulated CorvaneBox engine for demonstrations, tests and benchmarks.\n"
    "Listens for monitors on UDP and TCP, answers their requests, sends heartbeats, clock texts,\n"
    "channel reports, call traffic and alarms. Prints every command received as\n"
    "\"<address>:<port> <command>\". Reads control lines on stdin:\n"
    "  heartbeat on|off     start/stop the \"W\" heartbeats\n"
    "  pings on|off         answer (or not) the \"W\" pings with \"+W\"\n"
    "  clock on|off         start/stop the \"T\" clock texts\n"
    "  traffic RATE         call traffic in messages per second (0 = quiet)\n"
    "  alarms RATE          alarms and events per second (0 = none)\n"
    "  refuse [LETTERS]     answer these command letters with \"-\" (none = accept all)\n"
    "  replication on|off   announce replication up (\"+A OK\") or down (\"-N down\")\n"
    "  close                close every TCP connection\n"
    "  listen on|off        accept new TCP connections or not (off also closes them)\n"
    "  forget               forget the UDP monitors heard so far\n"
    "  blast N [RATE]       send \"A blast 000001\" .. N to every monitor, TCP without loss;\n"
    "                       over UDP at RATE datagrams per second (default: as fast as possible)\n"
    "  send TEXT            send TEXT as one message to every monitor\n"
    "  status               print the connected monitors and switches\n"
    "  counts               print what was sent on each open TCP connection\n"
    "  garbage N            send N malformed messages to every monitor\n"
    "  oversize [BYTES]     send BYTES (default 40000) without a separator, then \"|\"\n"
    "  silence MS           send nothing at all for MS milliseconds\n"
    "  mute-pings MS        leave the \"W\" pings unanswered for MS milliseconds\n"
    "  faults on|off        start/stop random faults (every --fault-every seconds on average)\n"
    "  quit                 end the program\n"
    "Each control line is answered with \"# done <line>\" or \"# error <reason>: <line>\".";

bool readInt(const QCommandLineParser& p, const QString& name, int low, int high, int& out,
             QString& message) {
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (!ok || v < low || v > high) {
        message = QStringLiteral("--%1 must be a whole number from %2 to %3").arg(name).arg(low).arg(high);
        return false;
    }
    out = v;
    return true;
}

bool readRate(const QCommandLineParser& p, const QString& name, double& out, QString& message) {
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const double v = p.value(name).toDouble(&ok);
    if (!ok || !(v >= 0.0) || v > 1e6) {
        message = QStringLiteral("--%1 must be a rate from 0 to 1000000 per second").arg(name);
        return false;
    }
    out = v;
    return true;
}

} // namespace

bool parseOptions(const QStringList& arguments, SimOptions& out, QString& message, int& exitCode) {
    QCommandLineParser p;
    p.setApplicationDescription(QString::fromLatin1(kDescription));
    p.addHelpOption();
    const auto opt = [&](const char* name, const char* help, const char* value) {
        p.addOption(QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(help),
                                       QString::fromLatin1(value)));
    };
    opt("udp-port", "UDP port to listen on, 0 = any free port from 20000 to 32767 (default 1260).", "port");
    opt("tcp-port", "TCP port to listen on, 0 = any free port from 20000 to 32767 (default 1260).", "port");
    opt("bind", "Address to listen on (default 127.0.0.1).", "address");
    opt("name", "Switch name sent in the \"S\" description (default CORVANE-SIM).", "name");
    opt("spans", "Number of spans on the board, 1 to 327 (default 4).", "n");
    opt("channels-per-span", "Channels in each span, 1 to 31 (default 24).", "n");
    opt("groups", "Number of channel groups, 1 to 999 (default 4).", "n");
    opt("traffic-rate", "Call traffic in messages per second, 0 = quiet (default 5).", "rate");
    opt("traffic-kind",
        "calls (default): calls start, are answered and end; flip: channels idle at the start move "
        "between idle and connected, one report per message.",
        "kind");
    opt("alarm-rate", "Alarms and events per second, 0 = none (default 0.05).", "rate");
    opt("heartbeat-ms", "Interval of the \"W\" heartbeats, 0 = none (default 1000).", "ms");
    opt("clock-ms", "Interval of the \"T\" clock texts, 0 = none (default 1000).", "ms");
    opt("seed", "Seed of the random board and traffic (default 1).", "n");
    opt("refuse", "Command letters to refuse with \"-\" instead of \"+\" (e.g. XIH).", "letters");
    opt("fault-every", "Mean seconds between random faults, 0 = none (default 0).", "seconds");
    opt("faults",
        "Fault kinds to draw from, comma-separated (default all: "
        "disconnect,silence,pings,oversize,garbage).",
        "kinds");
    p.addOption(
        QCommandLineOption(QStringLiteral("mark-connections"),
                           QStringLiteral("Start every TCP connection with a \"#connection N\" message.")));
    p.addOption(QCommandLineOption(QStringLiteral("no-pings"), QStringLiteral("Do not answer \"W\" pings.")));
    p.addOption(QCommandLineOption(QStringLiteral("exit-on-stdin-eof"),
                                   QStringLiteral("Quit when stdin is closed (for test harnesses).")));

    exitCode = 2;
    if (!p.parse(arguments)) {
        message = p.errorText() + QStringLiteral("\n\n") + p.helpText();
        return false;
    }
    if (p.isSet(QStringLiteral("help"))) {
        message = p.helpText();
        exitCode = 0;
        return false;
    }
    if (!p.positionalArguments().isEmpty()) {
        message = QStringLiteral("unexpected argument: ") + p.positionalArguments().first();
        return false;
    }
    SimOptions o;
    if (!readInt(p, QStringLiteral("udp-port"), 0, 65535, o.udpPort, message) ||
        !readInt(p, QStringLiteral("tcp-port"), 0, 65535, o.tcpPort, message) ||
        !readInt(p, QStringLiteral("spans"), 1, 327, o.spans, message) ||
        !readInt(p, QStringLiteral("channels-per-span"), 1, 31, o.channelsPerSpan, message) ||
        !readInt(p, QStringLiteral("groups"), 1, 999, o.groups, message) ||
        !readInt(p, QStringLiteral("heartbeat-ms"), 0, 3600000, o.heartbeatMs, message) ||
        !readInt(p, QStringLiteral("clock-ms"), 0, 3600000, o.clockMs, message) ||
        !readRate(p, QStringLiteral("traffic-rate"), o.trafficRate, message) ||
        !readRate(p, QStringLiteral("alarm-rate"), o.alarmRate, message))
        return false;
    if (p.isSet(QStringLiteral("fault-every"))) {
        bool ok = false;
        o.faultEverySeconds = p.value(QStringLiteral("fault-every")).toDouble(&ok);
        if (!ok || !(o.faultEverySeconds >= 0.0) || o.faultEverySeconds > 86400.0) {
            message = QStringLiteral("--fault-every must be a number of seconds from 0 to 86400");
            return false;
        }
    }
    if (p.isSet(QStringLiteral("faults"))) {
        o.faultKinds = p.value(QStringLiteral("faults")).split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString& kind : o.faultKinds) {
            if (!allFaultKinds().contains(kind)) {
                message = QStringLiteral("--faults: unknown fault ") + kind;
                return false;
            }
        }
        if (o.faultKinds.isEmpty()) {
            message = QStringLiteral("--faults needs at least one fault kind");
            return false;
        }
    }
    if (p.isSet(QStringLiteral("traffic-kind"))) {
        const QString kind = p.value(QStringLiteral("traffic-kind"));
        if (kind != QLatin1String("calls") && kind != QLatin1String("flip")) {
            message = QStringLiteral("--traffic-kind must be calls or flip, not ") + kind;
            return false;
        }
        o.flipTraffic = kind == QLatin1String("flip");
    }
    o.markConnections = p.isSet(QStringLiteral("mark-connections"));
    if (p.isSet(QStringLiteral("seed"))) {
        bool ok = false;
        o.seed = p.value(QStringLiteral("seed")).toUInt(&ok);
        if (!ok) {
            message = QStringLiteral("--seed must be a whole number from 0 to 4294967295");
            return false;
        }
    }
    if (p.isSet(QStringLiteral("bind"))) {
        o.bindAddress = p.value(QStringLiteral("bind"));
        if (QHostAddress(o.bindAddress).isNull()) {
            message = QStringLiteral("--bind needs a numeric address, not ") + o.bindAddress;
            return false;
        }
    }
    if (p.isSet(QStringLiteral("name")))
        o.switchName = p.value(QStringLiteral("name"));
    if (p.isSet(QStringLiteral("refuse")))
        o.refused = p.value(QStringLiteral("refuse"));
    o.answerPings = !p.isSet(QStringLiteral("no-pings"));
    o.exitOnStdinEof = p.isSet(QStringLiteral("exit-on-stdin-eof"));
    out = o;
    exitCode = 0;
    return true;
}

} // namespace corvane::sim
