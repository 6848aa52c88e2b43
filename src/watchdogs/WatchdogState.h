#pragma once
// Flags that the status messages, the board completion and both watchdogs share.

namespace corvane {

struct WatchdogState {
    int watchdogCounter = 0;   // heartbeat watchdog ticks since the last heartbeat
    bool boardReady = false;   // the board has stopped growing and was completed
    bool startupDone = false;  // the board completion has run to its end
    bool relayDown = false;    // the relay did not answer the last ping in time
    bool pingAnswered = false; // the relay answered the ping in flight
};

} // namespace corvane
