#pragma once
// Refusals of per-channel commands, recorded in the alarm list. A refused batch answers "-x" once per
// channel, 10 ms or more apart, so the refusals of one letter are gathered until a second passes
// without another and then written as one line: "Engine refused x", or "Engine refused x (300
// channels)" for a batch. Lines of one letter are therefore at least a second apart; a gathering that
// never pauses is still written every kLongestGatherMs.

#include <QChar>
#include <QObject>
#include <QString>
#include <array>
#include <memory>

namespace corvane {

class Clock;
class Timer;

class RefusedCommands : public QObject {
    Q_OBJECT
public:
    static constexpr int kQuietMs = 1000;
    static constexpr int kLongestGatherMs = 10000;
    // The per-channel command letters (Exclude, Exclude when idle, Include, MsgOn, MsgOff, Start, Stop).
    static constexpr char kLetters[] = "XYxMmtT";

    explicit RefusedCommands(Clock& clock);
    ~RefusedCommands() override;

    // A "-" acknowledgement with this letter; other letters than the per-channel ones are ignored.
    void refused(QChar letter);
    // The line for `count` refusals of `letter`.
    static QString lineText(QChar letter, int count);

signals:
    // A gathering's line for the alarm list.
    void alarmRaised(const QString& text);

private:
    struct Gathering {
        int count = 0;
        qint64 startMs = 0;
        std::unique_ptr<Timer> quiet;
    };
    void write(std::size_t index);
    Clock& m_clock;
    std::array<Gathering, sizeof(kLetters) - 1> m_gatherings;
};

} // namespace corvane
