#include "SimBoard.h"

#include <algorithm>

namespace corvane::sim {

namespace {

const char* const kRNames[] = {"Inbound PSTN", "Toll free",    "Trunks to HQ, east",
                               "Inbound IVR",  "Private line", "Inbound agents"};
const char* const kONames[] = {"Outbound PSTN",      "Agents",     "Voice mail",
                               "Trunks to HQ, west", "Conference", "Outbound IVR"};

} // namespace

SimBoard::SimBoard(int spans, int channelsPerSpan, int groups, quint32 seed)
    : m_groups(std::max(1, groups)), m_random(seed) {
    for (int s = 1; s <= spans; ++s) {
        for (int pos = 1; pos <= channelsPerSpan; ++pos) {
            Channel c;
            c.id = s * 100 + pos;
            // Incoming (R side) and outgoing (O side) trunks on alternate spans; a single span is
            // split in two halves so that calls can still be routed across it.
            c.rSide = spans == 1 ? pos <= (channelsPerSpan + 1) / 2 : s % 2 == 1;
            c.group = ((s - 1) + (pos - 1) / 12) % m_groups + 1;
            m_channels.push_back(c);
        }
    }
    // A board that is already busy when the monitor first asks for it.
    for (auto& c : m_channels) {
        if (chance(0.04))
            c.state = Excluded;
        else if (chance(0.03))
            c.state = Blocked;
    }
    auto rs = idle(true);
    auto os = idle(false);
    std::shuffle(rs.begin(), rs.end(), m_random);
    std::shuffle(os.begin(), os.end(), m_random);
    const std::size_t calls = std::min(rs.size(), os.size()) * 3 / 10;
    for (std::size_t i = 0; i < calls; ++i)
        connect(*at(rs[i]), *at(os[i]), Connected);
}

const Channel* SimBoard::find(int id) const {
    const auto it = std::lower_bound(m_channels.begin(), m_channels.end(), id,
                                     [](const Channel& c, int v) { return c.id < v; });
    return it != m_channels.end() && it->id == id ? &*it : nullptr;
}

Channel* SimBoard::at(int id) {
    return const_cast<Channel*>(std::as_const(*this).find(id));
}

QString SimBoard::report(const Channel& c) {
    return QStringLiteral("t%1,%2,%3,%4")
        .arg(c.id)
        .arg(c.group)
        .arg(c.state | (c.rSide ? kRSide : 0))
        .arg(c.peer);
}

QString SimBoard::number(int id) const {
    return QStringLiteral("555%1").arg(id % 10000, 4, 10, QLatin1Char('0'));
}

QStringList SimBoard::fullReport() const {
    QStringList out;
    for (const auto& c : m_channels)
        out << report(c);
    for (const auto& [r, o] : m_calls) {
        if (find(r)->state == Connected)
            out << QStringLiteral("C%1 CONNECTED %2 -> %3").arg(r).arg(number(r), number(o));
        else
            out << QStringLiteral("c%1 ALERTING from %2 to %3").arg(r).arg(number(r), number(o));
    }
    for (const auto& c : m_channels) {
        if (c.state == Blocked)
            out << QStringLiteral("c%1 Blocked by far end").arg(c.id);
    }
    return out;
}

QStringList SimBoard::groupNames() const {
    QStringList out;
    for (int kind : {1, 0}) {
        for (int g = 1; g <= m_groups; ++g) {
            const auto& names = kind ? kRNames : kONames;
            const int n = static_cast<int>(std::size(kRNames));
            QString name = QString::fromLatin1(names[(g - 1) % n]);
            if (g > n)
                name += QStringLiteral(" %1").arg((g - 1) / n + 1);
            out << QStringLiteral("D%1,%2,%3").arg(g).arg(kind).arg(name);
        }
    }
    return out;
}

QString SimBoard::freeVoxText() const {
    const int total = 24;
    const int busy = std::min<int>(total, static_cast<int>(m_calls.size()) % (total + 1));
    return QStringLiteral("%1/%2")
        .arg(total - busy, 3, 10, QLatin1Char('0'))
        .arg(total, 2, 10, QLatin1Char('0'));
}

std::vector<int> SimBoard::idle(bool rSide) const {
    std::vector<int> out;
    for (const auto& c : m_channels) {
        if (c.rSide == rSide && c.state == Idle && c.peer == 0)
            out.push_back(c.id);
    }
    return out;
}

void SimBoard::connect(Channel& r, Channel& o, int state) {
    r.state = o.state = state;
    r.peer = o.id;
    o.peer = r.id;
    m_calls.emplace_back(r.id, o.id);
}

void SimBoard::setState(Channel& c, int state, QStringList& out) {
    c.state = state;
    out << report(c);
}

void SimBoard::release(Channel& c, QStringList& out, bool mayHang) {
    Channel* r = c.rSide ? &c : at(c.peer);
    Channel* o = c.rSide ? at(c.peer) : &c;
    std::erase_if(m_calls, [&](const auto& call) { return call.first == c.id || call.second == c.id; });
    for (Channel* ch : {r, o}) {
        if (!ch)
            continue;
        ch->peer = 0;
        int next = Idle;
        if (ch->excludeWhenFree) {
            ch->excludeWhenFree = false;
            next = Excluded;
        } else if (ch == r && mayHang && chance(0.1)) {
            next = Seized; // code 14: the hung trunk the detector looks for
        }
        setState(*ch, next, out);
    }
    if (r)
        out << QStringLiteral("c%1 IDLE").arg(r->id);
}

QStringList SimBoard::nextTrafficStep() {
    QStringList out;
    // Hung channels clear after a while.
    for (auto& c : m_channels) {
        if (c.rSide && c.state == Seized && c.peer == 0 && chance(0.3)) {
            setState(c, Idle, out);
            return out;
        }
    }
    const auto alerting = std::find_if(m_calls.begin(), m_calls.end(),
                                       [&](const auto& call) { return find(call.first)->state == Alerting; });
    if (alerting != m_calls.end() && chance(0.5)) {
        const auto [r, o] = *alerting;
        setState(*at(r), Connected, out);
        setState(*at(o), Connected, out);
        out << QStringLiteral("C%1 CONNECTED %2 -> %3").arg(r).arg(number(r), number(o));
        return out;
    }
    if (chance(0.03)) {
        for (auto& c : m_channels) {
            if (c.state == Blocked) {
                setState(c, Idle, out);
                out << QStringLiteral("c%1 Unblocked").arg(c.id);
                return out;
            }
        }
    }
    const auto rs = idle(true);
    const auto os = idle(false);
    if (chance(0.02) && !os.empty()) {
        Channel& c = *at(os[static_cast<std::size_t>(pick(static_cast<int>(os.size())))]);
        setState(c, Blocked, out);
        out << QStringLiteral("c%1 Blocked by far end").arg(c.id);
        return out;
    }
    const bool canStart = !rs.empty() && !os.empty();
    if (!m_calls.empty() && (!canStart || chance(0.4))) {
        const auto& call = m_calls[static_cast<std::size_t>(pick(static_cast<int>(m_calls.size())))];
        release(*at(call.first), out, true);
        return out;
    }
    if (canStart) {
        Channel& r = *at(rs[static_cast<std::size_t>(pick(static_cast<int>(rs.size())))]);
        Channel& o = *at(os[static_cast<std::size_t>(pick(static_cast<int>(os.size())))]);
        connect(r, o, Alerting);
        out << report(r) << report(o);
        out << QStringLiteral("c%1 ALERTING from %2 to %3").arg(r.id).arg(number(r.id), number(o.id));
        return out;
    }
    // Nothing can move (every channel out of service): repeat one channel's state.
    if (!m_channels.empty())
        out << report(m_channels[static_cast<std::size_t>(pick(static_cast<int>(m_channels.size())))]);
    else
        out << QStringLiteral("T00:00:00 AM");
    return out;
}

QString SimBoard::nextFlip() {
    if (m_flipping.empty()) {
        for (std::size_t i = 0; i < m_channels.size(); ++i) {
            if (m_channels[i].state == Idle && m_channels[i].peer == 0)
                m_flipping.push_back(i);
        }
        if (m_flipping.empty())
            return m_channels.empty() ? QStringLiteral("T00:00:00 AM") : report(m_channels.front());
    }
    Channel& c = m_channels[m_flipping[static_cast<std::size_t>(pick(static_cast<int>(m_flipping.size())))]];
    // A channel an operator's command has taken out of the idle/connected pair keeps its new state.
    if (c.peer == 0 && (c.state == Idle || c.state == Connected))
        c.state = c.state == Idle ? Connected : Idle;
    return report(c);
}

QString SimBoard::nextAlarmText() {
    const int id = m_channels.empty()
                       ? 101
                       : m_channels[static_cast<std::size_t>(pick(static_cast<int>(m_channels.size())))].id;
    const int span = id / 100;
    switch (pick(9)) {
    case 0:
        return QStringLiteral("Trunk %1 down").arg(id);
    case 1:
        return QStringLiteral("Trunk %1 restored").arg(id);
    case 2:
        return QStringLiteral("Span %1 red alarm").arg(span);
    case 3:
        return QStringLiteral("Span %1 alarm cleared").arg(span);
    case 4:
        return QStringLiteral("Event: operator logged on at console %1").arg(pick(8) + 1);
    case 5:
        return QStringLiteral("Event: database commit completed");
    case 6:
        return QStringLiteral("Group %1 all trunks busy").arg(pick(m_groups) + 1);
    case 7:
        return QStringLiteral("Hung trunk detected on channel %1").arg(id);
    default:
        return QStringLiteral("Event: %1 calls in progress").arg(m_calls.size());
    }
}

bool SimBoard::channelCommand(QChar letter, int id, QStringList& changes) {
    Channel* c = at(id);
    if (!c)
        return false;
    const bool busy = c->peer != 0;
    switch (letter.unicode()) {
    case 'X': // exclude now, dropping a call in progress
        if (busy)
            release(*c, changes, false);
        setState(*c, Excluded, changes);
        break;
    case 'Y': // exclude once the call in progress is over
        if (busy)
            c->excludeWhenFree = true;
        else
            setState(*c, Excluded, changes);
        break;
    case 'x':
        c->excludeWhenFree = false;
        if (c->state == Excluded)
            setState(*c, Idle, changes);
        break;
    case 't':
        if (c->state == Stopped)
            setState(*c, Idle, changes);
        break;
    case 'T':
        if (busy)
            release(*c, changes, false);
        setState(*c, Stopped, changes);
        break;
    default: // message on/off: nothing visible on the board
        break;
    }
    return true;
}

} // namespace corvane::sim
