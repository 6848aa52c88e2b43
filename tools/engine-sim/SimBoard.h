#pragma once
// The simulated switch's channels: their groups, sides, states and routes, the reports that describe
// them, the call traffic that changes them and the effect of the operator's per-channel commands.
// Plain logic with a seeded generator, so a given seed always plays the same session.

#include <QString>
#include <QStringList>
#include <deque>
#include <random>
#include <vector>

namespace corvane::sim {

// State codes as the monitor paints them: the low bits pick the colour, bit value 8 marks the R side.
enum StateCode : int {
    Stopped = 0,   // black
    Connected = 1, // red
    Idle = 2,      // green
    Alerting = 3,  // yellow
    Excluded = 4,  // blue
    Blocked = 5,   // light grey
    Seized = 6,    // cyan; on the R side (code 14) a channel that lost its route shows "?"
};
constexpr int kRSide = 8;

struct Channel {
    int id = 0;
    int group = 0;
    bool rSide = false;
    int state = Idle;
    int peer = 0;
    bool excludeWhenFree = false; // "Y": exclude once the call is over
};

class SimBoard {
public:
    SimBoard(int spans, int channelsPerSpan, int groups, quint32 seed);

    int groups() const { return m_groups; }
    const std::vector<Channel>& channels() const { return m_channels; }
    const Channel* find(int id) const;

    // "t<id>,<group>,<state code>,<peer>"
    static QString report(const Channel& c);
    // The reports of every channel, then the call information of the calls already up.
    QStringList fullReport() const;
    // "D<index>,<kind>,<name>" for every group, R side (kind 1) then O side (kind 0).
    QStringList groupNames() const;
    // The free voice resources, as shown beside the hung trunk acknowledgement ("012/24").
    QString freeVoxText() const;

    // The next few messages of random call traffic (never empty).
    QStringList nextTrafficStep();
    // One report of a channel moved between idle and connected (no peer). The channels that take
    // part are those idle and free when it is first called; calls, excluded and blocked channels
    // keep their state, so they stay still on the monitor's board.
    QString nextFlip();
    // One random alarm or event text, without its "A".
    QString nextAlarmText();

    // A per-channel command: letter X, Y, x, M, m, t or T and a channel id. Returns false when the
    // channel does not exist; `changes` receives the reports of the channels it changed.
    bool channelCommand(QChar letter, int id, QStringList& changes);

private:
    Channel* at(int id);
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(m_random) < p; }
    QString number(int id) const;
    void connect(Channel& r, Channel& o, int state);
    // Ends the call of c (and its peer); reports go to out. A hung R side channel keeps code 14.
    void release(Channel& c, QStringList& out, bool mayHang);
    void setState(Channel& c, int state, QStringList& out);
    std::vector<int> idle(bool rSide) const;

    int m_groups;
    std::vector<Channel> m_channels; // ascending ids
    std::mt19937 m_random;
    std::deque<std::pair<int, int>> m_calls; // (R channel, O channel) of calls in progress
    std::vector<std::size_t> m_flipping;     // indices in m_channels, chosen on the first flip
};

} // namespace corvane::sim
