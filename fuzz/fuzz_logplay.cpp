// The log file reader. Every line of any file must parse without harm; a record that parses must come
// back the same after it is written again; and the whole file must play back through the monitor's own
// path (the playback timer with the recorded gaps, the ring, message processing and every handler) to
// its end, with the test doubles in place of the link, the dialogs, the tones and the mail.

#include "alarms/Pager.h"
#include "board/BoardModel.h"
#include "logplay/LogRecord.h"
#include "logplay/Logging.h"
#include "support/RecordingLink.h"
#include "support/TestMonitor.h"
#include "watchdogs/RelayWatchdog.h"

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace corvane;

namespace {

void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "log reader invariant broken: %s\n", what);
        std::abort();
    }
}

class RefusingTerminator final : public RelayTerminator {
public:
    RelayTermination terminateWindowOwner(const QString&) override { return RelayTermination::NotFound; }
};

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

void playThrough(const QByteArray& input) {
    const QString path = folder().filePath(QStringLiteral("Monitor.Log"));
    {
        QFile file(path);
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the log file");
        file.write(input);
    }
    MonitorConfig config;
    config.logFile = path;
    test::TestMonitor t(config);
    Monitor& m = t.monitor;
    m.link = std::make_unique<test::RecordingLink>(false);
    m.relay->setTerminator(std::make_unique<RefusingTerminator>());
    m.board->placeCell(1, 8, 1);
    // Hours of recorded gaps pass in a few steps: message processing has nothing to do while the ring
    // is empty.
    t.services.clock.setIdle([&m] { return m.queue.isEmpty(); });
    m.ui.trigger(MenuItem::PlayLog);
    // Each step plays at least one record, so the file's own length bounds the steps.
    for (qsizetype steps = 0; m.logging->isPlaying(); ++steps) {
        require(steps <= input.size() + 2, "playback does not reach the end of the file");
        t.services.clock.advance(60000);
    }
    t.services.clock.advance(60000);
    require(m.queue.isEmpty(), "played messages were left in the ring");
    require(!t.services.dialogs.messages.isEmpty(), "playback ended without its closing message");
    QCoreApplication::sendPostedEvents();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_logplay";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv); // lives for the whole run
    (void)app;
    (void)folder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    checkRecords(input);
    playThrough(input);
    return 0;
}
