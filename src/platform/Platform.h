#pragma once
// The services the monitor needs from its surroundings, gathered so that the program passes the real
// ones and the tests pass scripted ones.

namespace corvane {

class Clock;
class Dialogs;
class Launcher;
class ToneOutput;

struct Platform {
    Clock& clock;
    Dialogs& dialogs;
    Launcher& launcher;
    ToneOutput& tones;
};

} // namespace corvane
