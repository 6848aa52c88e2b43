#include "logplay/Logging.h"

#include "alarms/AlarmList.h"
#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"
#include "link/LinkSocket.h"
#include "link/MessageQueue.h"
#include "logplay/LogRecord.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"

#include <limits>

namespace corvane {

namespace {
constexpr int kWrapMs = 60000;
constexpr int kBackwardsGapMs = 1000;
// A record that finds the ring full is tried again this soon.
constexpr int kRetryMs = 1;
} // namespace

Logging::Logging(MainWindowModel& ui, const MonitorConfig& config, Clock& clock, Dialogs& dialogs,
                 LinkSocket& link, MessageQueue& queue, AlarmList& alarms)
    : m_ui(ui), m_config(config), m_clock(clock), m_dialogs(dialogs), m_link(link), m_queue(queue),
      m_alarms(alarms), m_blinkTimer(clock.createTimer()), m_playTimer(clock.createTimer()) {
    m_blinkTimer->setInterval(kBlinkMs);
    m_blinkTimer->setCallback(
        [this] { m_ui.setVisible(Element::Recording, !m_ui.element(Element::Recording).visible); });
    m_playTimer->setCallback([this] { playTick(); });
    m_ui.setMenuAction(MenuItem::LogMsgs, [this] { toggleRecording(); });
    m_ui.setMenuAction(MenuItem::PlayLog, [this] { togglePlayback(); });
}

Logging::~Logging() = default;

bool Logging::isRecording() const {
    return m_ui.isChecked(MenuItem::LogMsgs);
}
bool Logging::isPlaying() const {
    return m_ui.isChecked(MenuItem::PlayLog);
}
QString Logging::logPath() const {
    return m_config.logFile;
}

void Logging::toggleRecording() {
    if (isRecording())
        stopRecording();
    else if (!isPlaying()) // the two never run together, whoever asks
        startRecording();
}

void Logging::startRecording() {
    if (!m_dialogs.askYesNo(QStringLiteral("This will erase ") + logPath() + QStringLiteral(" Proceed?")))
        return;
    beginRecording();
}

void Logging::beginRecording() {
    if (isRecording() || isPlaying())
        return;
    m_recordFile.close();
    m_recordFile.setFileName(logPath());
    // A menu checked over a file that receives nothing would tell the operator that all is recorded.
    if (!m_recordFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        recordingFailed();
        return;
    }
    m_ui.setMenuChecked(MenuItem::LogMsgs, true);
    m_ui.setMenuEnabled(MenuItem::PlayLog, false);
    m_ui.setCaption(Element::Recording, QStringLiteral("Recording"));
    m_ui.setVisible(Element::Recording, true);
    m_blinkTimer->setEnabled(true);
    m_recordStartTick = m_clock.tickMs();
}

void Logging::stopRecording() {
    m_recordFile.close();
    m_ui.setMenuChecked(MenuItem::LogMsgs, false);
    m_ui.setMenuEnabled(MenuItem::PlayLog, true);
    m_blinkTimer->setEnabled(false);
    m_ui.setVisible(Element::Recording, false);
}

void Logging::recordingFailed() {
    const QString why = m_recordFile.errorString();
    if (isRecording())
        stopRecording();
    else
        m_recordFile.close();
    // Told once, and the label stays up, steady, until the next recording or playback.
    m_alarms.raise(QStringLiteral("Could not record to ") + logPath() + QStringLiteral(": ") + why);
    m_ui.setCaption(Element::Recording, QStringLiteral("Recording failed"));
    m_ui.setVisible(Element::Recording, true);
}

void Logging::record(const QString& message) {
    if (!isRecording() || !m_recordFile.isOpen())
        return;
    // A delay beyond 32 bits (after some 24.8 days of recording) would be written negative and play
    // back out of order: such a record is left out.
    const qint64 elapsed = m_clock.tickMs() - m_recordStartTick;
    if (elapsed > std::numeric_limits<std::int32_t>::max())
        return;
    const QByteArray line = formatLogRecord(static_cast<std::int32_t>(elapsed), message);
    // Written through at once: a crash loses no record of a message already processed.
    if (m_recordFile.write(line) != line.size() || !m_recordFile.flush())
        recordingFailed();
}

void Logging::togglePlayback() {
    if (isPlaying())
        stopPlayback();
    else if (!isRecording())
        startPlayback();
}

void Logging::startPlayback() {
    m_playFile.close();
    m_playFile.setFileName(logPath());
    if (!m_playFile.open(QIODevice::ReadOnly)) {
        m_dialogs.message(QStringLiteral("No Log File"));
        stopPlayback();
        return;
    }
    m_ui.setMenuChecked(MenuItem::PlayLog, true);
    m_ui.setMenuEnabled(MenuItem::LogMsgs, false);
    // Live messages stop for the length of the playback.
    m_link.close();
    std::int32_t firstDelay = 0;
    if (!readRecord(firstDelay, m_playbackLine)) {
        m_dialogs.message(QStringLiteral("No Log File"));
        stopPlayback();
        return;
    }
    m_ui.setCaption(Element::Recording, QStringLiteral("Play Back"));
    m_ui.setVisible(Element::Recording, true);
    m_blinkTimer->setEnabled(true);
    m_playTimer->setInterval(kFirstPlayMs);
    m_playTimer->setEnabled(true);
}

void Logging::stopPlayback() {
    m_playTimer->setEnabled(false);
    m_playFile.close();
    m_ui.setMenuChecked(MenuItem::PlayLog, false);
    m_ui.setMenuEnabled(MenuItem::LogMsgs, true);
    m_blinkTimer->setEnabled(false);
    m_ui.setVisible(Element::Recording, false);
    m_link.connectEngine();
}

bool Logging::readRecord(std::int32_t& delay, QString& message) {
    // Lines that are not records are skipped.
    while (!m_playFile.atEnd()) {
        if (auto record = parseLogRecord(nextPlayLine())) {
            delay = record->delayMs;
            message = std::move(record->message);
            return true;
        }
    }
    return false;
}

QByteArray Logging::nextPlayLine() {
    // Through a small buffer: QIODevice::readLine() without a limit sets 16 KB aside for every line.
    QByteArray line;
    char chunk[1024];
    for (;;) {
        const qint64 n = m_playFile.readLine(chunk, sizeof chunk);
        if (n <= 0)
            break;
        line.append(chunk, static_cast<qsizetype>(n));
        if (chunk[n - 1] == '\n' || n < qint64(sizeof chunk) - 1)
            break;
    }
    return line;
}

int Logging::gapBefore(std::int32_t delay) {
    // The first gap of a run, and a gap going backwards, play as one second; gaps wrap at a minute.
    if (!m_havePreviousDelay || m_previousDelay > delay)
        m_previousDelay = static_cast<qint64>(delay) - kBackwardsGapMs;
    const auto gap = static_cast<int>((delay - m_previousDelay) % kWrapMs);
    m_previousDelay = delay;
    m_havePreviousDelay = true;
    return gap;
}

void Logging::playTick() {
    if (!m_queue.store(m_playbackLine)) {
        m_playTimer->setInterval(kRetryMs);
        return;
    }
    for (;;) {
        std::int32_t delay = 0;
        if (!readRecord(delay, m_playbackLine)) {
            // Stopped before the box: a box that lets the event loop run must not see this tick again.
            m_playTimer->setEnabled(false);
            m_dialogs.message(QStringLiteral("End Of Play Back of Log File ") + logPath());
            stopPlayback();
            return;
        }
        const int gap = gapBefore(delay);
        if (gap > 0) {
            m_playTimer->setInterval(gap);
            return;
        }
        // Recorded in the same millisecond: played one after the other without a pause.
        if (!m_queue.store(m_playbackLine)) {
            m_playTimer->setInterval(kRetryMs);
            return;
        }
    }
}

} // namespace corvane
