#include "board/GroupTables.h"

#include <limits>

namespace corvane {

GroupTables::GroupTables()
    : m_namesR(kInitialCapacity + 1), m_namesO(kInitialCapacity + 1), m_oConnect(kInitialCapacity + 1, 0),
      m_connectedNow(kInitialCapacity + 1, 0) {}

void GroupTables::growR(std::int16_t count) {
    if (count <= m_capacityR)
        return;
    m_capacityR = count;
    m_namesR.assign(static_cast<std::size_t>(count) + 1, QString());
}

void GroupTables::growO(std::int16_t count) {
    if (count <= m_capacityO)
        return;
    m_capacityO = count;
    const auto size = static_cast<std::size_t>(count) + 1;
    m_namesO.assign(size, QString());
    m_oConnect.assign(size, 0);
    m_connectedNow.assign(size, 0);
}

bool GroupTables::setNameR(int index, const QString& name) {
    if (!inR(index))
        return false;
    m_namesR[static_cast<std::size_t>(index)] = name;
    return true;
}

bool GroupTables::setNameO(int index, const QString& name) {
    if (!inO(index))
        return false;
    m_namesO[static_cast<std::size_t>(index)] = name;
    return true;
}

bool GroupTables::countConnection(int group) {
    if (!inO(group))
        return false;
    auto& n = m_oConnect[static_cast<std::size_t>(group)];
    if (n == std::numeric_limits<std::int16_t>::max())
        return false;
    ++n;
    return true;
}

void GroupTables::setOConnectCount(int group, std::int16_t value) {
    if (inO(group))
        m_oConnect[static_cast<std::size_t>(group)] = value;
}

void GroupTables::setConnectedNow(int group, std::int16_t value) {
    if (inO(group))
        m_connectedNow[static_cast<std::size_t>(group)] = value;
}

} // namespace corvane
