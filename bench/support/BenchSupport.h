#pragma once
// What the benchmark programs share: the figure rows that scripts/bench.sh gathers into its table, the
// process's own measurements, a monitor started the way the program starts it (views and all, on the
// offscreen platform), and the engine's messages that the benchmarks feed it.

#include "platform/Platform.h"
#include "platform/Clock.h"
#include "platform/Tones.h"
#include "support/ScriptedDialogs.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <vector>

namespace corvane {
class Monitor;
class MonitorMain;
class Startup;
} // namespace corvane

namespace corvane::bench {

// One line of the summary table, printed as "@figure|figure|result|target|verdict" for the script to
// collect. `met` is empty for figures without a target.
void figure(const QString& name, const QString& result, const QString& target = {},
            std::optional<bool> met = std::nullopt);
// A note printed with the figures, for the reader rather than the table.
void note(const QString& text);

// Processor time of this process so far, in seconds.
double cpuSeconds();
// "1,234,567".
QString grouped(double value);

struct Services {
    SystemClock clock;
    test::ScriptedDialogs dialogs;
    test::RecordingLauncher launcher;
    SilentTones tones;
    Platform platform{clock, dialogs, launcher, tones};
};

// The program as it starts: monitor.ini (the given lines) written to a folder of its own, the entry
// procedure run with every view plugged in and the main window shown. Nothing ends the process when
// the window closes.
class Program {
public:
    explicit Program(const QStringList& iniLines, const QString& computerName = QStringLiteral("BENCH"));
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return m_started; }
    Monitor& monitor() const;
    MonitorMain& window() const;
    const QString& folder() const { return m_folderPath; }

private:
    QTemporaryDir m_folder;
    QString m_folderPath;
    Services m_services;
    std::unique_ptr<Startup> m_startup;
    bool m_started = false;
};

// The benchmark board: 323 spans of 31 channels, 10,013 cells.
inline constexpr int kSpans = 323;
inline constexpr int kPerSpan = 31;
inline constexpr int kGroups = 20;
std::vector<int> boardIds();

// What the engine answers to the refresh sequence for that board: "S", the group names ("D"), a "t"
// for every channel in the engine's layout (odd spans R side, even spans O side, about a third of the
// channels in calls to the next span), then the call information of the calls up.
QStringList boardDescription();

// Steady traffic over that board in the proportions of a live session: state reports, call
// information, heartbeats, clock texts, acknowledgements, alarms and, rarely, a group name. Channels,
// states, peers and texts vary; the same seed gives the same messages.
QStringList trafficMix(int count, unsigned seed);
// The engine moving cells between two states: state reports for channels picked at random, each
// flipping its channel between the states 1 and 2 of its own side, no calls set up or torn down.
QStringList stateFlips(int count, unsigned seed);
// The share of each message type in the mix, for the notes: "t 55 %, c 16 %, ...".
QString mixDescription(const QStringList& messages);

// Feeds messages through the real path: stored in the monitor's MessageQueue as the link stores them,
// taken and dispatched by DataRec's tick. Returns how many messages the ticks took.
qint64 feedThroughQueue(Monitor& monitor, const QStringList& messages);

// Completes the board as Timer2 does once it has stopped growing (window height, span labels, colours).
void completeBoard(Monitor& monitor);

} // namespace corvane::bench
