#pragma once
// The program's beeps and chimes. Tones are queued and played one after another in the order given,
// each for its duration, without blocking the event loop.

namespace corvane {

class ToneOutput {
public:
    virtual ~ToneOutput() = default;
    virtual void play(int frequencyHz, int durationMs) = 0;
};

// Tones nobody hears: for a program with nobody beside it, and for benchmarks.
class SilentTones final : public ToneOutput {
public:
    void play(int, int) override {}
};

} // namespace corvane
