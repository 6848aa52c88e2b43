#pragma once
// Real tones on the system's audio output. Each tone is a generated sine with short fades at both ends
// (no clicks between the notes of a tune); tones are queued and played in order, each for its full
// duration, while the event loop goes on. Without an audio device the program stays silent and says so
// once on stderr.

#include "platform/Tones.h"

#include <QAudioFormat>
#include <QByteArray>
#include <QObject>
#include <memory>

class QAudioSink;
class QIODevice;

namespace corvane {

class Clock;
class Timer;

// Renders tones as 16-bit signed mono samples (native byte order) at a given rate.
class ToneRenderer {
public:
    explicit ToneRenderer(int sampleRate) : m_rate(sampleRate) {}
    int sampleRate() const { return m_rate; }
    // Samples of one tone; a frequency of 0 or one the rate cannot carry gives silence of that length.
    QByteArray render(int frequencyHz, int durationMs) const;
    static constexpr int kFadeMs = 4;
    static constexpr double kAmplitude = 0.5; // of full scale

private:
    int m_rate;
};

// The tones waiting to be played, as samples, in the order asked for.
class ToneQueue {
public:
    explicit ToneQueue(int sampleRate) : m_renderer(sampleRate) {}
    // At most this much sound waits at a time; a tone that would go beyond it is dropped, so that a
    // runaway caller cannot fill the memory with samples.
    static constexpr int kMaxQueuedMs = 30000;
    // False when the tone was dropped.
    bool append(int frequencyHz, int durationMs);
    // Takes at most maxBytes (whole samples) from the front.
    QByteArray take(qsizetype maxBytes);
    qsizetype size() const { return m_samples.size(); }
    bool isEmpty() const { return m_samples.isEmpty(); }

private:
    ToneRenderer m_renderer;
    QByteArray m_samples;
};

class AudioToneOutput final : public QObject, public ToneOutput {
    Q_OBJECT
public:
    explicit AudioToneOutput(Clock& clock);
    ~AudioToneOutput() override;
    void play(int frequencyHz, int durationMs) override;
    // False when there is no usable output device: tones are then dropped.
    bool hasDevice() const { return m_sink != nullptr; }

private:
    void feed();
    void goSilent(const char* why);
    // Converts mono 16-bit samples to the device's format.
    QByteArray toDeviceFormat(const QByteArray& mono) const;

    QAudioFormat m_format;
    std::unique_ptr<QAudioSink> m_sink;
    QIODevice* m_device = nullptr; // owned by the sink
    std::unique_ptr<ToneQueue> m_queue;
    std::unique_ptr<Timer> m_pump;
    bool m_reported = false;
};

} // namespace corvane
