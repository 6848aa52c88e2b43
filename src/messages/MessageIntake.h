#pragma once
// DataRec: message processing. Each tick takes messages from the ring one after another, each recorded
// (while recording is on) and handled completely before the next, until the ring is empty or the
// tick's time budget is spent; then the window gets its turn again.

#include <QString>
#include <cstdint>
#include <memory>

namespace corvane {

class Monitor;
class Timer;

class MessageIntake {
public:
    static constexpr int kTickMs = 1;
    // Time a tick may spend on a backlog before letting the window run.
    static constexpr qint64 kBudgetMs = 4;

    explicit MessageIntake(Monitor& monitor);
    ~MessageIntake();

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

    Monitor& m_monitor;
    std::unique_ptr<Timer> m_timer;
    std::int64_t m_processed = 0;
    std::int64_t m_shownDiscards = 0;
    bool m_inTick = false;
};

} // namespace corvane
