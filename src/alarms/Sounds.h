#pragma once
// PlaySound: the monitor's tones (alarms, the chat, scheduled commands, the heartbeat siren), each
// sounded only while "&Allow Sounds" is checked.

namespace corvane {

class MainWindowModel;
class ToneOutput;

class Sounds {
public:
    Sounds(const MainWindowModel& ui, ToneOutput& tones) : m_ui(ui), m_tones(tones) {}
    void play(int frequencyHz, int durationMs) const;

private:
    const MainWindowModel& m_ui;
    ToneOutput& m_tones;
};

} // namespace corvane
