#include "platform/PollingWait.h"

#include <algorithm>

namespace corvane {

PollingWait::PollingWait(Clock& clock) : m_timer(clock.createTimer()) {
    m_timer->setCallback([this] { look(); });
}

void PollingWait::start(int lookMs, int maxLooks, std::function<bool()> condition,
                        std::function<void(bool)> done) {
    m_timer->setEnabled(false);
    m_condition = std::move(condition);
    m_done = std::move(done);
    m_looksLeft = std::max(1, maxLooks);
    m_running = true;
    m_timer->setInterval(lookMs);
    look();
    if (m_running)
        m_timer->setEnabled(true);
}

void PollingWait::cancel() {
    m_timer->setEnabled(false);
    m_running = false;
}

void PollingWait::look() {
    if (!m_running)
        return;
    // The last look has had its pause too: the wait has run out.
    if (m_looksLeft <= 0) {
        finish(false);
        return;
    }
    --m_looksLeft;
    if (m_condition())
        finish(true);
}

void PollingWait::finish(bool held) {
    m_timer->setEnabled(false);
    m_running = false;
    // Taken out first: the continuation may start this wait again.
    auto done = std::move(m_done);
    if (done)
        done(held);
}

PacedSteps::PacedSteps(Clock& clock) : m_timer(clock.createTimer()) {
    m_timer->setCallback([this] {
        if (!m_step()) {
            m_timer->setEnabled(false);
            auto finished = std::move(m_finished);
            if (finished)
                finished();
        }
    });
}

void PacedSteps::start(int intervalMs, std::function<bool()> step, std::function<void()> finished) {
    m_step = std::move(step);
    m_finished = std::move(finished);
    m_timer->setInterval(intervalMs);
    m_timer->setEnabled(true);
}

void PacedSteps::cancel() {
    m_timer->setEnabled(false);
}

Delay::Delay(Clock& clock) : m_timer(clock.createTimer()) {
    m_timer->setSingleShot(true);
    m_timer->setCallback([this] {
        auto action = m_action;
        if (action)
            action();
    });
}

void Delay::start(int delayMs, std::function<void()> action) {
    m_action = std::move(action);
    m_timer->setInterval(delayMs);
    m_timer->setEnabled(true);
}

} // namespace corvane
