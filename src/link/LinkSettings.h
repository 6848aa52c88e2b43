#pragma once
// Where the engine is and which local port the monitor listens on, as monitor.ini gives them.

#include <QString>

namespace corvane {

struct LinkSettings {
    QString engineAddress;   // ENG_LOC_IP: an address or a host name
    quint16 enginePort = 0;  // ENG_LOC_PORT
    quint16 monitorPort = 0; // MON_PORT
    QString allowFrom;       // ENG_ALLOW_FROM: further senders heard over UDP, addresses separated by ";"
};

} // namespace corvane
