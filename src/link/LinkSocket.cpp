#include "link/LinkSocket.h"

namespace corvane {

LinkSocket::LinkSocket() = default;
LinkSocket::~LinkSocket() = default;

void LinkSocket::reset(std::unique_ptr<EngineLink> link) {
    m_link = std::move(link);
    if (!m_link)
        return;
    connect(m_link.get(), &EngineLink::connected, this, &LinkSocket::connected);
    connect(m_link.get(), &EngineLink::closedByPeer, this, &LinkSocket::closedByPeer);
    connect(m_link.get(), &EngineLink::arrivalFailed, this, &LinkSocket::arrivalFailed);
    connect(m_link.get(), &EngineLink::problem, this, &LinkSocket::problem);
}

void LinkSocket::sendCommand(const QString& command) {
    if (m_link)
        m_link->sendCommand(command);
}

void LinkSocket::connectEngine(std::function<void()> done) {
    if (m_link)
        m_link->connectEngine(std::move(done));
}

void LinkSocket::close() {
    if (m_link)
        m_link->close();
}

} // namespace corvane
