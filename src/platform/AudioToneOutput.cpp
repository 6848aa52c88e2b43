#include "platform/AudioToneOutput.h"

#include "platform/Clock.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

namespace corvane {

namespace {
constexpr int kPreferredRate = 44100;
constexpr int kPumpMs = 20;
} // namespace

QByteArray ToneRenderer::render(int frequencyHz, int durationMs) const {
    const qint64 count = durationMs > 0 ? qint64(m_rate) * durationMs / 1000 : 0;
    QByteArray bytes(count * qsizetype(sizeof(qint16)), '\0');
    // Beyond half the rate a tone cannot be represented; it becomes a rest of the same length.
    if (frequencyHz <= 0 || frequencyHz * 2 >= m_rate)
        return bytes;
    const qint64 fade = std::min<qint64>(qint64(m_rate) * kFadeMs / 1000, count / 2);
    const double step = 2 * std::numbers::pi * frequencyHz / m_rate;
    auto* out = reinterpret_cast<qint16*>(bytes.data());
    for (qint64 i = 0; i < count; ++i) {
        double gain = 1.0;
        if (fade > 0) {
            if (i < fade)
                gain = double(i) / fade;
            else if (count - 1 - i < fade)
                gain = double(count - 1 - i) / fade;
        }
        out[i] = static_cast<qint16>(std::lround(kAmplitude * 32767.0 * gain * std::sin(step * double(i))));
    }
    return bytes;
}

bool ToneQueue::append(int frequencyHz, int durationMs) {
    const qint64 queuedMs = m_samples.size() / qsizetype(sizeof(qint16)) * 1000 / m_renderer.sampleRate();
    if (durationMs > kMaxQueuedMs - queuedMs)
        return false;
    m_samples += m_renderer.render(frequencyHz, durationMs);
    return true;
}

QByteArray ToneQueue::take(qsizetype maxBytes) {
    const qsizetype n = std::min(maxBytes - maxBytes % qsizetype(sizeof(qint16)), m_samples.size());
    QByteArray front = m_samples.left(n);
    m_samples.remove(0, n);
    return front;
}

AudioToneOutput::AudioToneOutput(Clock& clock) : m_pump(clock.createTimer()) {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        goSilent("there is no audio output device");
        return;
    }
    QAudioFormat format;
    format.setSampleRate(kPreferredRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        format = device.preferredFormat();
        if (format.sampleFormat() != QAudioFormat::Int16 && format.sampleFormat() != QAudioFormat::Float)
            format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(format)) {
            goSilent("the audio output takes no format the tones can be written in");
            return;
        }
    }
    m_format = format;
    m_queue = std::make_unique<ToneQueue>(format.sampleRate());
    m_sink = std::make_unique<QAudioSink>(device, format);
    m_pump->setInterval(kPumpMs);
    m_pump->setCallback([this] { feed(); });
}

AudioToneOutput::~AudioToneOutput() {
    if (m_sink)
        m_sink->stop();
}

void AudioToneOutput::goSilent(const char* why) {
    if (!m_reported) {
        std::fprintf(stderr, "CorvaneMonitor: %s; sounds are off.\n", why);
        std::fflush(stderr);
        m_reported = true;
    }
    m_pump->setEnabled(false);
    m_device = nullptr;
    if (m_sink)
        m_sink->stop();
}

void AudioToneOutput::play(int frequencyHz, int durationMs) {
    if (!m_sink || m_reported)
        return;
    if (!m_queue->append(frequencyHz, durationMs))
        return;
    if (!m_device) {
        m_device = m_sink->start();
        if (!m_device || m_sink->error() != QAudio::NoError) {
            goSilent("the audio output could not be opened");
            return;
        }
    }
    feed();
    if (!m_pump->isEnabled())
        m_pump->setEnabled(true);
}

void AudioToneOutput::feed() {
    if (!m_device)
        return;
    if (m_sink->error() == QAudio::OpenError || m_sink->error() == QAudio::FatalError) {
        goSilent("the audio output failed");
        return;
    }
    const int bytesPerFrame = m_format.bytesPerFrame();
    const qsizetype freeFrames = m_sink->bytesFree() / std::max(1, bytesPerFrame);
    if (freeFrames > 0 && !m_queue->isEmpty()) {
        const QByteArray mono = m_queue->take(freeFrames * qsizetype(sizeof(qint16)));
        const QByteArray data = toDeviceFormat(mono);
        m_device->write(data);
    }
    // Keep pumping while anything is queued; the sink plays out what it already holds by itself.
    if (m_queue->isEmpty())
        m_pump->setEnabled(false);
}

QByteArray AudioToneOutput::toDeviceFormat(const QByteArray& mono) const {
    const int channels = std::max(1, m_format.channelCount());
    const qsizetype frames = mono.size() / qsizetype(sizeof(qint16));
    const auto* in = reinterpret_cast<const qint16*>(mono.constData());
    if (m_format.sampleFormat() == QAudioFormat::Float) {
        QByteArray out(frames * channels * qsizetype(sizeof(float)), '\0');
        auto* o = reinterpret_cast<float*>(out.data());
        for (qsizetype f = 0; f < frames; ++f)
            for (int c = 0; c < channels; ++c)
                o[f * channels + c] = float(in[f]) / 32768.0f;
        return out;
    }
    if (channels == 1)
        return mono;
    QByteArray out(frames * channels * qsizetype(sizeof(qint16)), '\0');
    auto* o = reinterpret_cast<qint16*>(out.data());
    for (qsizetype f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            o[f * channels + c] = in[f];
    return out;
}

} // namespace corvane
