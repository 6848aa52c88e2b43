#include "operator/ActionRunner.h"

#include <algorithm>

namespace corvane {

ActionRunner::Steps& ActionRunner::Steps::then(std::function<void()> action) {
    Step s{Step::Kind::Then, std::move(action), {}, {}, 0, 0};
    m_steps.push_back(std::move(s));
    return *this;
}

ActionRunner::Steps& ActionRunner::Steps::async(std::function<void(std::function<void()>)> start) {
    Step s{Step::Kind::Async, {}, std::move(start), {}, 0, 0};
    m_steps.push_back(std::move(s));
    return *this;
}

ActionRunner::Steps& ActionRunner::Steps::waitUntil(std::function<bool()> condition, int lookMs,
                                                    int maxLooks) {
    Step s{Step::Kind::WaitUntil, {}, {}, std::move(condition), lookMs, maxLooks};
    m_steps.push_back(std::move(s));
    return *this;
}

ActionRunner::Steps& ActionRunner::Steps::repeat(std::function<bool()> step, int pauseMs) {
    Step s{Step::Kind::Repeat, {}, {}, std::move(step), pauseMs, 0};
    m_steps.push_back(std::move(s));
    return *this;
}

struct ActionRunner::Action {
    Action(Clock& clock, std::vector<Steps::Step> s) : steps(std::move(s)), wait(clock), pause(clock) {}
    std::vector<Steps::Step> steps;
    std::size_t index = 0;
    PollingWait wait;
    Delay pause;
    int looksLeft = 0;
    // What to do when the action is on top again after a newer one has ended.
    enum class OnResume { Nothing, Continue, Look } onResume = OnResume::Nothing;
    bool asyncInFlight = false;
    bool starting = false; // inside a step's start call, whose callback may come at once
    bool endedWhileStarting = false;
};

ActionRunner::ActionRunner(Clock& clock) : m_clock(clock) {}

ActionRunner::~ActionRunner() {
    // Pending callbacks hold only weak references; dropping the actions silences them.
    auto stack = std::move(m_stack);
    m_stack.clear();
    for (auto& a : stack) {
        a->wait.cancel();
        a->pause.cancel();
    }
}

void ActionRunner::run(Steps steps) {
    if (!m_stack.empty())
        suspend(*m_stack.back());
    auto action = std::make_shared<Action>(m_clock, std::move(steps.m_steps));
    m_stack.push_back(action);
    advance(action);
}

void ActionRunner::suspend(Action& action) {
    // A wait in progress stops looking; it looks again one pause after it is resumed, with the looks
    // it had left. Pauses and connects in flight keep going and report back when they end.
    if (action.wait.isRunning()) {
        action.wait.cancel();
        action.onResume = Action::OnResume::Look;
    }
}

void ActionRunner::resume(const std::shared_ptr<Action>& action) {
    const auto what = action->onResume;
    action->onResume = Action::OnResume::Nothing;
    if (what == Action::OnResume::Continue) {
        advance(action);
    } else if (what == Action::OnResume::Look) {
        const auto& step = action->steps[action->index];
        std::weak_ptr<Action> weak = action;
        action->pause.start(step.ms, [this, weak] {
            auto a = weak.lock();
            if (!a)
                return;
            if (!isTop(*a)) {
                a->onResume = Action::OnResume::Look;
                return;
            }
            const auto& s = a->steps[a->index];
            a->starting = true;
            a->endedWhileStarting = false;
            a->wait.start(
                s.ms, std::max(1, a->looksLeft),
                // The wait belongs to the action, so the condition needs no hold on it (a shared
                // pointer here would keep an action that was dropped mid-wait alive for ever).
                [raw = a.get(), cond = s.condition] {
                    --raw->looksLeft;
                    return cond();
                },
                [this, weak](bool) {
                    auto b = weak.lock();
                    if (!b)
                        return;
                    ++b->index;
                    if (b->starting)
                        b->endedWhileStarting = true;
                    else if (isTop(*b))
                        advance(b);
                    else
                        b->onResume = Action::OnResume::Continue;
                });
            a->starting = false;
            if (a->endedWhileStarting)
                advance(a);
        });
    }
}

void ActionRunner::advance(const std::shared_ptr<Action>& action) {
    std::weak_ptr<Action> weak = action;
    // Called when a step that ran asynchronously has ended: go on now, or when this action is on top
    // again. A callback that comes while its step is still being started is taken up by the loop below.
    auto stepEnded = [this, weak] {
        auto a = weak.lock();
        if (!a)
            return;
        if (a->starting)
            a->endedWhileStarting = true;
        else if (isTop(*a))
            advance(a);
        else
            a->onResume = Action::OnResume::Continue;
    };

    while (action->index < action->steps.size()) {
        if (!isTop(*action)) {
            // A step started a newer action that is still running.
            action->onResume = Action::OnResume::Continue;
            return;
        }
        const auto& step = action->steps[action->index];
        switch (step.kind) {
        case Steps::Step::Kind::Then: {
            ++action->index;
            if (step.action)
                step.action();
            continue;
        }
        case Steps::Step::Kind::Async: {
            ++action->index;
            if (!step.start)
                continue;
            action->asyncInFlight = true;
            action->starting = true;
            action->endedWhileStarting = false;
            step.start([weak, stepEnded] {
                auto a = weak.lock();
                if (!a || !a->asyncInFlight)
                    return; // reported twice: only the first report counts
                a->asyncInFlight = false;
                stepEnded();
            });
            action->starting = false;
            if (action->endedWhileStarting)
                continue;
            return;
        }
        case Steps::Step::Kind::WaitUntil: {
            action->looksLeft = step.maxLooks;
            action->starting = true;
            action->endedWhileStarting = false;
            auto a = action.get();
            action->wait.start(
                step.ms, step.maxLooks,
                [a, cond = step.condition] {
                    --a->looksLeft;
                    return cond();
                },
                [weak, stepEnded](bool) {
                    if (auto b = weak.lock())
                        ++b->index;
                    stepEnded();
                });
            action->starting = false;
            if (action->endedWhileStarting)
                continue;
            return;
        }
        case Steps::Step::Kind::Repeat: {
            if (!step.condition()) {
                ++action->index;
                continue;
            }
            action->pause.start(step.ms, stepEnded);
            return;
        }
        }
    }
    finish(action);
}

void ActionRunner::finish(const std::shared_ptr<Action>& action) {
    const bool wasTop = isTop(*action);
    m_stack.erase(std::remove(m_stack.begin(), m_stack.end(), action), m_stack.end());
    if (wasTop && !m_stack.empty()) {
        auto next = m_stack.back();
        resume(next);
    }
}

} // namespace corvane
