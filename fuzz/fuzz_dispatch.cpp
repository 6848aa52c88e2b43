// Engine messages into the whole monitor: the real Monitor with every subsystem and model, but the test
// doubles for the link, the dialogs, the tones, the mail and the relay terminator, so that no input can
// reach the network, a sound device or a message box. The input is a TCP stream: each "|"-separated
// piece is one message for the dispatcher. A piece that starts with byte 0x01 is not a message but moves
// the clock on by its leading number of milliseconds (at most a minute), so the watchdogs, the board
// completion, the indicator reset and the minute timer run between messages as they would live. An
// input whose first piece starts with byte 0x02 takes the rest of that piece as monitor.ini lines read
// over the built-in settings, so the layout, colours, masks, schedule and time-outs vary too.
//
// Each input gets a monitor of its own, so that memory stays bounded, a finding reproduces from its one
// input, and LeakSanitizer can tell a leak from state that a long-lived monitor would keep.

#include "alarms/Pager.h"
#include "app/IniFile.h"
#include "board/BoardModel.h"
#include "support/RecordingLink.h"
#include "support/TestMonitor.h"
#include "watchdogs/RelayWatchdog.h"

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

using namespace corvane;

namespace {

constexpr qint64 kMaxAdvanceMs = 60000;

class RefusingTerminator final : public RelayTerminator {
public:
    RelayTermination terminateWindowOwner(const QString&) override { return RelayTermination::NotFound; }
};

// Every mail fails at logon, as with no mail server configured.
class NoMail final : public Mail {
public:
    bool sessionOpen() const override { return false; }
    MailResult signOn() override { return {kCancelledLogon, QStringLiteral("no mail in the fuzzer")}; }
    void signOff() override {}
    void send(const MailMessage&, std::function<void(MailResult)> done) override {
        if (done)
            done({kNoSession, QStringLiteral("no session")});
    }
};

MonitorConfig fuzzConfig() {
    MonitorConfig c;
    c.title = QStringLiteral("CorvaneMonitor");
    // Every alarm is offered to the pager, which reaches only NoMail.
    c.pagerEnabledAtStart = true;
    c.present.pagerRecipients = true;
    c.pagerRecipients = QStringLiteral("ops@example.invalid");
    c.relayWindowTitle = QStringLiteral("UDPRelay");
    c.present.relayWindowTitle = true;
    c.present.playSound = true;
    c.watchdogProgress = true;
    c.present.watchdogProgress = true;
    return c;
}

struct Rig {
    explicit Rig(MonitorConfig config) : t(std::move(config)) {
        Monitor& m = t.monitor;
        m.link = std::make_unique<test::RecordingLink>(false);
        m.relay->setTerminator(std::make_unique<RefusingTerminator>());
        m.pager->setMail(std::make_unique<NoMail>());
        // The switches the start-up would set from such a monitor.ini.
        m.ui.setMenuChecked(MenuItem::AllowSounds, true);
        m.ui.setMenuChecked(MenuItem::EnablePager, true);
        // The template cell, as the load step places it before the first report.
        m.board->placeCell(1, 8, 1);
        // Messages go to the dispatcher directly, so message processing never finds anything in the
        // ring: its millisecond ticks need not run one by one.
        t.services.clock.setIdle([&m] { return m.queue.isEmpty(); });
    }
    test::TestMonitor t;
};

void feed(Rig& rig, QByteArrayView piece) {
    if (!piece.isEmpty() && piece.front() == '\x01') {
        const qint64 ms = piece.sliced(1).toByteArray().toLongLong();
        rig.t.services.clock.advance(std::clamp<qint64>(ms, 0, kMaxAdvanceMs));
        return;
    }
    rig.t.monitor.dispatcher.dispatch(QString::fromLatin1(piece));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_dispatch";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv); // lives for the whole run
    (void)app;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    MonitorConfig config = fuzzConfig();
    qsizetype start = 0;
    if (!input.isEmpty() && input.front() == '\x02') {
        qsizetype bar = input.indexOf('|');
        if (bar < 0)
            bar = input.size();
        ini::read(input.sliced(1, bar - 1).toByteArray(), config);
        start = bar + 1;
    }
    Rig rig(std::move(config));
    while (start <= input.size()) {
        qsizetype bar = input.indexOf('|', start);
        if (bar < 0)
            bar = input.size();
        feed(rig, input.sliced(start, bar - start));
        start = bar + 1;
    }
    // Anything a handler posted (deferred deletes, queued calls) runs now, as the event loop would.
    QCoreApplication::sendPostedEvents();
    return 0;
}
