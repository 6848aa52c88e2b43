#pragma once
// Recording every processed message to the log file, and playing a log file back through the ring as
// if the engine were sending it again, with the recorded gaps. Demonstration mode plays the log at
// start-up instead of contacting the engine.

#include <QFile>
#include <QString>
#include <cstdint>
#include <memory>

namespace corvane {

class AlarmList;
class Clock;
class Dialogs;
class LinkSocket;
class MainWindowModel;
class MessageQueue;
class Timer;
struct MonitorConfig;

class Logging {
public:
    static constexpr int kBlinkMs = 500;
    static constexpr int kFirstPlayMs = 10;

    // Playback closes `link` and feeds `queue` as the link would; a log file that cannot be written is
    // told in `alarms`.
    Logging(MainWindowModel& ui, const MonitorConfig& config, Clock& clock, Dialogs& dialogs,
            LinkSocket& link, MessageQueue& queue, AlarmList& alarms);
    ~Logging();

    // The "&Record Log File" menu: asks before emptying the file, then records; again: stops.
    void toggleRecording();
    // The "&Play Log File" menu: starts playback; again: stops it and reconnects.
    void togglePlayback();
    // Records from now on, emptying the log file, without asking: for a start-up that was told to
    // record. Nothing happens while recording or playing already.
    void beginRecording();
    // The recording hook of message processing: one record per message while recording.
    void record(const QString& message);

    bool isRecording() const;
    bool isPlaying() const;
    // The message of the record read ahead, queued at the next playback tick.
    const QString& playbackLine() const { return m_playbackLine; }

private:
    void startRecording();
    void stopRecording();
    // A log file that cannot be opened or written: recording ends and the operator is told why.
    void recordingFailed();
    void startPlayback();
    void stopPlayback();
    void playTick();
    bool readRecord(std::int32_t& delay, QString& message);
    // The gap to play before a record with delay d, from the delay of the one before it.
    int gapBefore(std::int32_t delay);
    // The next line of the log being played, with its end of line; empty at the end of the file.
    QByteArray nextPlayLine();
    QString logPath() const;

    MainWindowModel& m_ui;
    const MonitorConfig& m_config;
    Clock& m_clock;
    Dialogs& m_dialogs;
    LinkSocket& m_link;
    MessageQueue& m_queue;
    AlarmList& m_alarms;
    QFile m_recordFile;
    QFile m_playFile;
    std::unique_ptr<Timer> m_blinkTimer;
    std::unique_ptr<Timer> m_playTimer;
    qint64 m_recordStartTick = 0;
    QString m_playbackLine;
    // Kept from one playback to the next for the whole run, as the gaps have always been played.
    // Wider than a delay: a record at the smallest delay still has its second before it.
    qint64 m_previousDelay = 0;
    bool m_havePreviousDelay = false;
};

} // namespace corvane
