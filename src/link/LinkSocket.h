#pragma once
// LinkSocket: the place of the monitor's one link to the engine. The link itself is made at load, as
// the configuration says, and may be replaced (a test's recording link); until then commands go
// nowhere. Whoever sends to the engine holds this, not the link, and whoever listens to the link
// connects to the signals here, which outlive any one link.

#include "link/EngineLink.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace corvane {

class LinkSocket : public QObject {
    Q_OBJECT
public:
    LinkSocket();
    ~LinkSocket() override;

    void reset(std::unique_ptr<EngineLink> link = {});
    EngineLink* get() const { return m_link.get(); }
    EngineLink* operator->() const { return m_link.get(); }
    EngineLink& operator*() const { return *m_link; }
    explicit operator bool() const { return m_link != nullptr; }

    // Without a link: nothing is sent, and a connect attempt neither starts nor ends (`done` is dropped).
    void sendCommand(const QString& command);
    void connectEngine(std::function<void()> done = {});
    void close();
    bool isUdp() const { return m_link && m_link->isUdp(); }
    std::int64_t discardedCount() const { return m_link ? m_link->discardedCount() : 0; }

signals:
    // The present link's signals (see EngineLink).
    void connected(quint16 localPort);
    void closedByPeer();
    void arrivalFailed();
    void problem(const QString& text);

private:
    std::unique_ptr<EngineLink> m_link;
};

} // namespace corvane
