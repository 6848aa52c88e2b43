#pragma once
// The group tables that the switch description sizes: the names of the R-side and O-side groups (by
// group number, indices 0 to the capacity) and the two per-group counters of the statistics window,
// which share the O-side capacity. "S" grows them (and clears them when it does), "D" fills the names,
// painting counts new O-side connections, the minute timer reads and resets the counters.

#include <QString>
#include <cstdint>
#include <vector>

namespace corvane {

class GroupTables {
public:
    static constexpr int kInitialCapacity = 20;

    GroupTables();

    // Capacities are the highest valid index (20 gives indices 0 to 20).
    int capacityR() const { return m_capacityR; }
    int capacityO() const { return m_capacityO; }
    // GroupCount of the statistics: the upper index of the per-group counter tables.
    int groupCount() const { return m_capacityO; }

    // "S": a count above the current capacity recreates the table(s) with indices 0 to count, empty or
    // zero; a count that is not above it changes nothing. Counts are 16-bit, so a table never holds more
    // than 32768 entries.
    void growR(std::int16_t count);
    void growO(std::int16_t count);

    // "D": an index outside the table stores nothing (returns false).
    bool setNameR(int index, const QString& name);
    bool setNameO(int index, const QString& name);

    bool inR(int group) const { return group >= 0 && group <= m_capacityR; }
    bool inO(int group) const { return group >= 0 && group <= m_capacityO; }
    // Empty text for an index outside the table; check inR/inO where "outside" matters.
    const QString& nameR(int group) const {
        return inR(group) ? m_namesR[static_cast<std::size_t>(group)] : m_empty;
    }
    const QString& nameO(int group) const {
        return inO(group) ? m_namesO[static_cast<std::size_t>(group)] : m_empty;
    }

    // OConnectCount: new O-side connections since the last minute tick.
    std::int16_t oConnectCount(int group) const {
        return inO(group) ? m_oConnect[static_cast<std::size_t>(group)] : 0;
    }
    // Counts one more connection for the group; a group outside the table, or a counter that would pass
    // the 16-bit limit, is not counted (returns false).
    bool countConnection(int group);
    void setOConnectCount(int group, std::int16_t value);

    // ConnectedNow: the O-side channels connected at the last minute tick.
    std::int16_t connectedNow(int group) const {
        return inO(group) ? m_connectedNow[static_cast<std::size_t>(group)] : 0;
    }
    void setConnectedNow(int group, std::int16_t value);

private:
    int m_capacityR = kInitialCapacity;
    int m_capacityO = kInitialCapacity;
    std::vector<QString> m_namesR;
    std::vector<QString> m_namesO;
    std::vector<std::int16_t> m_oConnect;
    std::vector<std::int16_t> m_connectedNow;
    QString m_empty;
};

} // namespace corvane
