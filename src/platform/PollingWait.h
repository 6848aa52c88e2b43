#pragma once
// The monitor's waits ("look every M ms, at most N looks, let everything else run meanwhile") as an
// asynchronous object: the event loop keeps running between looks, and the continuation runs after the
// condition holds or the looks run out. The owner keeps the object; starting it again replaces the
// wait in progress, whose continuation is then never called.

#include "platform/Clock.h"

#include <functional>
#include <memory>

namespace corvane {

class PollingWait {
public:
    explicit PollingWait(Clock& clock);
    // Looks at `condition` right away and then every lookMs, at most maxLooks looks in all, each that
    // finds it false followed by its pause. `done` gets true at the look where the condition held,
    // false one pause after the last look (maxLooks × lookMs after the start).
    void start(int lookMs, int maxLooks, std::function<bool()> condition, std::function<void(bool)> done);
    void cancel();
    bool isRunning() const { return m_running; }

private:
    void look();
    void finish(bool held);
    std::unique_ptr<Timer> m_timer;
    std::function<bool()> m_condition;
    std::function<void(bool)> m_done;
    int m_looksLeft = 0;
    bool m_running = false;
};

// Runs one step every intervalMs (the first after one interval) until the step returns false.
// Used for paced sends, where each step reads the current state when its turn comes.
class PacedSteps {
public:
    explicit PacedSteps(Clock& clock);
    void start(int intervalMs, std::function<bool()> step, std::function<void()> finished = {});
    void cancel();
    bool isRunning() const { return m_timer->isEnabled(); }

private:
    std::unique_ptr<Timer> m_timer;
    std::function<bool()> m_step;
    std::function<void()> m_finished;
};

// Calls `action` once after delayMs; starting again before it fires replaces the pending call.
class Delay {
public:
    explicit Delay(Clock& clock);
    void start(int delayMs, std::function<void()> action);
    void cancel() { m_timer->setEnabled(false); }
    bool isPending() const { return m_timer->isEnabled(); }

private:
    std::unique_ptr<Timer> m_timer;
    std::function<void()> m_action;
};

} // namespace corvane
