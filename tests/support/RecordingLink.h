#pragma once
// A link to no engine that remembers every command sent, for tests that drive the monitor's logic
// without sockets. connectEngine reports its end at once unless the test holds it back.

#include "link/EngineLink.h"

#include <QStringList>
#include <functional>

namespace corvane::test {

class RecordingLink final : public EngineLink {
public:
    explicit RecordingLink(bool udp = true) : m_udp(udp) {}
    void sendCommand(const QString& command) override { sent << command; }
    void connectEngine(std::function<void()> done = {}) override {
        ++connects;
        sent << QStringLiteral("<connect>");
        if (holdConnects)
            heldConnect = std::move(done);
        else if (done)
            done();
    }
    void close() override { sent << QStringLiteral("<close>"); }
    bool isUdp() const override { return m_udp; }
    std::int64_t discardedCount() const override { return 0; }

    // Only the command texts, without the connects and closes.
    QStringList commands() const {
        QStringList out;
        for (const QString& s : sent)
            if (!s.startsWith(u'<'))
                out << s;
        return out;
    }

    QStringList sent; // commands, and "<connect>" / "<close>" in their place
    int connects = 0;
    bool holdConnects = false;
    std::function<void()> heldConnect;

private:
    bool m_udp;
};

} // namespace corvane::test
