#include "operator/AccessibleText.h"

#include "board/BoardAccessible.h"

#include <QStringList>
#include <cmath>

namespace corvane {

QString elementAccessibleName(Element e) {
    switch (e) {
    case Element::TCP:
        return QStringLiteral("TCP link");
    case Element::Repl:
        return QStringLiteral("Replication");
    case Element::AckLbl:
        return QStringLiteral("Acknowledgement");
    case Element::PendingLbl:
        return QStringLiteral("Pending messages");
    case Element::WD_Back:
        return QStringLiteral("Watchdog scale");
    case Element::WD_Progress:
        return QStringLiteral("Engine watchdog");
    case Element::lblVersion:
        return QStringLiteral("Version");
    case Element::FreeVox:
        return QStringLiteral("Free Vox");
    case Element::Image1:
        return QStringLiteral("Logo");
    case Element::UDP_WD:
        return QStringLiteral("Relay watched");
    case Element::BoxClock:
        return QStringLiteral("Switch clock");
    case Element::MarkedCount:
        return QStringLiteral("Marked channels");
    case Element::Picture1:
        return QStringLiteral("Channel board");
    case Element::CallText:
        return QStringLiteral("Call information");
    case Element::LastAlarm:
        return QStringLiteral("Last alarm");
    case Element::MaxListCount:
        return QStringLiteral("Alarm list max events");
    case Element::AlarmsList:
        return QStringLiteral("Alarms");
    default:
        return {};
    }
}

QString elementAccessibleDescription(Element e, const MainWindowModel& model) {
    const ElementState& s = model.element(e);
    QStringList parts;
    switch (e) {
    case Element::TCP:
    case Element::Repl:
    case Element::AckLbl:
    case Element::PendingLbl:
    case Element::lblVersion:
    case Element::FreeVox:
    case Element::BoxClock:
    case Element::MarkedCount:
    case Element::CallText:
    case Element::LastAlarm:
        if (const QString caption = s.caption.trimmed(); !caption.isEmpty())
            parts << caption;
        if (s.back)
            parts << colourName(*s.back);
        break;
    case Element::WD_Progress: {
        // The bar fills as the ticks since the engine's last heartbeat mount.
        const int scale = model.element(Element::WD_Back).twips.width();
        if (scale > 0)
            parts << QStringLiteral("%1 percent")
                         .arg(std::lround(100.0 * std::max(0, s.twips.width()) / scale));
        if (s.back)
            parts << colourName(*s.back);
        break;
    }
    default:
        break;
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace corvane
