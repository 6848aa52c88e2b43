#pragma once
// DataRec: message processing. Each tick takes messages from the ring one after another, each recorded
// (while recording is on) and handled completely before the next, until the ring is empty or the
// tick's time budget is spent; then the window gets its turn again.

#include <QObject>
#include <functional>
#include <QString>
#include <cstdint>
#include <memory>

namespace corvane {

class Clock;
class Dispatcher;
class LinkSocket;
class MainWindowModel;
class MessageQueue;
class Timer;

class MessageIntake : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 1;
    // Time a tick may spend on a backlog before letting the window run.
    static constexpr qint64 kBudgetMs = 4;

    // `record` sees every message taken from the ring, before its handler: the log's recording hook. A
    // call, not a signal: it runs for every message of a burst.
    MessageIntake(MainWindowModel& ui, Clock& clock, LinkSocket& link, MessageQueue& queue,
                  Dispatcher& dispatcher, std::function<void(const QString&)> record = {});
    ~MessageIntake() override;

    // One tick of DataRec; the timer calls it, tests may call it directly.
    void tick();

    // Ends message processing for good, between two messages (the program's clean stop): what is
    // still in the ring is neither handled nor recorded.
    void stop();

    // True while a tick hands messages to their handlers: what changes now is the engine's doing.
    bool inTick() const { return m_inTick; }

    // Messages taken from the ring since the start.
    std::int64_t processedCount() const { return m_processed; }

private:
    void processOne(const QString& message);
    void showPending();

    MainWindowModel& m_ui;
    Clock& m_clock;
    LinkSocket& m_link;
    MessageQueue& m_queue;
    Dispatcher& m_dispatcher;
    std::function<void(const QString&)> m_record;
    std::unique_ptr<Timer> m_timer;
    std::int64_t m_processed = 0;
    std::int64_t m_shownDiscards = 0;
    bool m_inTick = false;
};

} // namespace corvane
