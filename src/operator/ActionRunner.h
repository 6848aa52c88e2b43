#pragma once
// Operator actions that hand the event loop back between their steps: the acknowledgement waits, the
// paced per-channel sends and the TCP connect. The operator (or a timer) may start another action in
// the middle of one; the newer action then runs to its end before the older one goes on, which is how
// these actions always behaved when their waits ran pending events from inside the first action.

#include "platform/PollingWait.h"
#include "platform/Clock.h"

#include <functional>
#include <memory>
#include <vector>

namespace corvane {

class ActionRunner {
public:
    // The steps of one action, run in order.
    class Steps {
    public:
        // Runs at once.
        Steps& then(std::function<void()> action);
        // Starts something that reports its end through the callback (which may be called at once).
        Steps& async(std::function<void(std::function<void()> done)> start);
        // Looks at the condition now and then every lookMs, at most maxLooks looks, and goes on when it
        // holds or the looks have run out.
        Steps& waitUntil(std::function<bool()> condition, int lookMs, int maxLooks);
        // Calls `step` until it returns false, pausing pauseMs after every call that returned true.
        Steps& repeat(std::function<bool()> step, int pauseMs);

    private:
        friend class ActionRunner;
        struct Step {
            enum class Kind { Then, Async, WaitUntil, Repeat } kind;
            std::function<void()> action;
            std::function<void(std::function<void()>)> start;
            std::function<bool()> condition;
            int ms = 0;
            int maxLooks = 0;
        };
        std::vector<Step> m_steps;
    };

    explicit ActionRunner(Clock& clock);
    ~ActionRunner();
    ActionRunner(const ActionRunner&) = delete;
    ActionRunner& operator=(const ActionRunner&) = delete;

    // Starts an action; the action in progress, if any, waits until this one has ended.
    void run(Steps steps);
    // Actions started and not yet ended, the suspended ones included.
    int activeCount() const { return static_cast<int>(m_stack.size()); }

private:
    struct Action;
    void advance(const std::shared_ptr<Action>& action);
    void suspend(Action& action);
    void resume(const std::shared_ptr<Action>& action);
    void finish(const std::shared_ptr<Action>& action);
    bool isTop(const Action& action) const { return !m_stack.empty() && m_stack.back().get() == &action; }

    Clock& m_clock;
    std::vector<std::shared_ptr<Action>> m_stack;
};

} // namespace corvane
