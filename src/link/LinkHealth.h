#pragma once
// Whether the operator can trust what the board shows. A TCP link that the engine or the network
// closed is "lost": the board freezes at its last known states while channels go on changing in the
// switch. The board counts as stale from that moment until every channel it showed has been reported
// again after the link came back. Lines for the alarm list say when the link went and came back, and
// when the board is asked for again.
//
// The operator's own closes (the TCP label's disconnect, ReConnect, the refresh sequence) are not a
// loss: the operator knows why the board is quiet, and those paths keep their own behaviour.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

namespace corvane {

class Clock;
struct MonitorConfig;

class LinkHealth : public QObject {
    Q_OBJECT
public:
    // `shownChannels` gives the ids of the cells the board shows, asked when the link is lost.
    LinkHealth(const MonitorConfig& config, Clock& clock, std::function<std::vector<int>()> shownChannels);

    // "10.0.0.5:5001", "[::1]:5001": the engine's address as the operator configured it.
    QString engineAddress() const;

    // The engine or the network closed the link.
    void linkLost();
    // A connect attempt reached the engine.
    void linkConnected();
    // The engine is being asked for the whole board ("UUUUU"); the first time after the link came back
    // from a loss, the alarm list says so.
    void boardRequested();
    // The engine reported channel `id`.
    void channelReported(int id);

    bool isLost() const { return m_lost; }
    bool isStale() const { return m_stale; }
    // When the board stopped being current: the moment the link was first lost.
    QDateTime staleSince() const { return m_staleSince; }
    // Channels shown when the link was lost that have not been reported since.
    int channelsAwaited() const { return m_awaited; }
    // The line over a stale board: since when, and what it waits for.
    QString staleText() const;

signals:
    // isLost, isStale, staleSince or channelsAwaited changed.
    void changed();
    // A line for the alarm list.
    void alarmRaised(const QString& text);

private:
    const MonitorConfig& m_config;
    Clock& m_clock;
    std::function<std::vector<int>()> m_shownChannels;
    bool m_lost = false;
    bool m_stale = false;
    bool m_requestDue = false;
    QDateTime m_staleSince;
    // By channel id: shown when the link was lost and not reported since.
    std::vector<bool> m_awaiting;
    int m_awaited = 0;
};

} // namespace corvane
