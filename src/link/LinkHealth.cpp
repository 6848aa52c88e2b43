#include "link/LinkHealth.h"

#include "common/MonitorConfig.h"
#include "platform/Clock.h"

#include <QHostAddress>

namespace corvane {

namespace {
constexpr int kIdSlots = 32768;
constexpr int kTemplateCell = 1; // placed by the monitor itself, never reported by the engine
} // namespace

LinkHealth::LinkHealth(const MonitorConfig& config, Clock& clock,
                       std::function<std::vector<int>()> shownChannels)
    : m_config(config), m_clock(clock), m_shownChannels(std::move(shownChannels)) {}

QString LinkHealth::engineAddress() const {
    const QString host = m_config.engineAddress.trimmed();
    const QString port = QString::number(static_cast<quint16>(m_config.enginePort));
    const QHostAddress numeric(host);
    if (numeric.protocol() == QAbstractSocket::IPv6Protocol)
        return u'[' + host + QStringLiteral("]:") + port;
    return host + u':' + port;
}

void LinkHealth::linkLost() {
    if (m_lost)
        return;
    m_lost = true;
    m_requestDue = false;
    emit alarmRaised(QStringLiteral("Link to the engine lost (%1)").arg(engineAddress()));
    if (!m_stale) {
        // A second loss before the board was described again keeps the first moment and the channels
        // still awaited from then.
        m_stale = true;
        m_staleSince = m_clock.now();
        m_awaiting.assign(kIdSlots, false);
        m_awaited = 0;
        for (int id : m_shownChannels())
            if (id != kTemplateCell && id >= 0 && id < kIdSlots) {
                m_awaiting[static_cast<std::size_t>(id)] = true;
                ++m_awaited;
            }
    }
    emit changed();
}

void LinkHealth::linkConnected() {
    if (!m_lost)
        return;
    m_lost = false;
    m_requestDue = true;
    emit alarmRaised(QStringLiteral("Link to the engine restored (%1)").arg(engineAddress()));
    if (m_awaited == 0) {
        // Nothing was shown that could have gone out of date.
        m_stale = false;
        m_awaiting.clear();
    }
    emit changed();
}

void LinkHealth::boardRequested() {
    if (!m_requestDue)
        return;
    m_requestDue = false;
    emit alarmRaised(QStringLiteral("Asking the engine for the whole board again"));
}

void LinkHealth::channelReported(int id) {
    if (!m_stale || id < 0 || id >= static_cast<int>(m_awaiting.size()) ||
        !m_awaiting[static_cast<std::size_t>(id)])
        return;
    m_awaiting[static_cast<std::size_t>(id)] = false;
    --m_awaited;
    if (m_awaited == 0 && !m_lost) {
        m_stale = false;
        m_awaiting.clear();
    }
    emit changed();
}

QString LinkHealth::staleText() const {
    if (!m_stale)
        return {};
    const QString since = m_staleSince.toString(QStringLiteral("MM/dd/yy hh:mm:ss"));
    if (m_lost)
        return QStringLiteral("Board not current since %1: link to the engine lost").arg(since);
    return QStringLiteral("Board not current since %1: waiting for %2 channels to be reported again")
        .arg(since)
        .arg(m_awaited);
}

} // namespace corvane
