// The log file reader. Every line of any file must parse without harm; a record that parses must come
// back the same after it is written again; and the whole file must play back through the monitor's own
// path (the playback timer with the recorded gaps, the ring, message processing and every handler; see
// FuzzRig.h) to its end. Each input is the log file of one playback on the same monitor, as an operator
// plays one log after another.

#include "FuzzRig.h"
#include "logplay/LogRecord.h"
#include "logplay/Logging.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace corvane;

namespace {

void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "log reader invariant broken: %s\n", what);
        std::abort();
    }
}

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

void checkRecords(const QByteArray& input) {
    qsizetype start = 0;
    while (start < input.size()) {
        qsizetype end = input.indexOf('\n', start);
        end = end < 0 ? input.size() : end + 1;
        const QByteArrayView line = QByteArrayView(input).sliced(start, end - start);
        start = end;
        const auto record = parseLogRecord(line);
        if (!record)
            continue;
        const QByteArray again = formatLogRecord(record->delayMs, record->message);
        const auto reread = parseLogRecord(again);
        require(reread.has_value(), "a written record does not parse");
        require(reread->delayMs == record->delayMs, "the delay changed on the way back");
        require(reread->message == record->message, "the message changed on the way back");
    }
}

QString logPath() {
    return folder().filePath(QStringLiteral("Monitor.Log"));
}

void playThrough(const QByteArray& input, fuzz::Rig& rig) {
    {
        QFile file(logPath());
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the log file");
        file.write(input);
    }
    Monitor& m = rig.monitor();
    const qsizetype messagesBefore = rig.services().dialogs.messages.size();
    m.ui().trigger(MenuItem::PlayLog);
    // A second at a time, only as far as the recorded gaps reach. A gap is less than a minute, so every
    // minute plays at least one record and the file's own length bounds the steps.
    const qsizetype maxSteps = (input.size() + 2) * 60;
    for (qsizetype steps = 0; m.logging().isPlaying(); ++steps) {
        require(steps <= maxSteps, "playback does not reach the end of the file");
        rig.services().clock.advance(1000);
    }
    // Message processing takes what the last record left in the ring.
    rig.services().clock.advance(1000);
    require(m.queue().isEmpty(), "played messages were left in the ring");
    require(rig.services().dialogs.messages.size() > messagesBefore, "playback ended without its closing message");
    QCoreApplication::sendPostedEvents();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startQt("fuzz_logplay");
    (void)folder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    checkRecords(input);
    static fuzz::ReusedRig rigs([] {
        MonitorConfig config = fuzz::reachingConfig();
        config.logFile = logPath();
        return config;
    }());
    playThrough(input, rigs.take(input));
    return 0;
}
