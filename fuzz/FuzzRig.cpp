#include "FuzzRig.h"

#include "alarms/Pager.h"
#include "board/BoardModel.h"
#include "support/RecordingLink.h"
#include "watchdogs/RelayWatchdog.h"

#include <QApplication>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace corvane::fuzz {

namespace {

class RefusingTerminator final : public RelayTerminator {
public:
    RelayTermination terminateWindowOwner(const QString&) override { return RelayTermination::NotFound; }
};

// A mail system that takes every page and sends it nowhere. A failing one would put an error line in the
// alarm list for every page of an outage, which would cost most of each input's time; the pager's
// failures are its own tests' to cover.
class SinkMail final : public Mail {
public:
    bool sessionOpen() const override { return m_open; }
    void signOn(std::function<void(MailResult)> done) override {
        m_open = true;
        done({});
    }
    void signOff() override { m_open = false; }
    void send(const MailMessage&, std::function<void(MailResult)> done) override {
        if (done)
            done({});
    }

private:
    bool m_open = false;
};

QByteArray historyFile(const QByteArray& folder, int index) {
    char name[8];
    std::snprintf(name, sizeof name, "/%03d", index);
    return folder + name;
}

} // namespace

void startQt(const char* programName) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "UTC");
    static int argc = 1;
    static QByteArray name(programName);
    static char* argv[] = {name.data(), nullptr};
    static QApplication* app = new QApplication(argc, argv); // lives for the whole run
    (void)app;
}

MonitorConfig reachingConfig() {
    MonitorConfig c;
    c.title = QStringLiteral("CorvaneMonitor");
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

Rig::Rig(MonitorConfig config) : m_test(std::make_unique<test::TestMonitor>(std::move(config))) {
    Monitor& m = m_test->monitor;
    m.link().reset(std::make_unique<test::RecordingLink>(false));
    m.relay().setTerminator(std::make_unique<RefusingTerminator>());
    m.pager().setMail(std::make_unique<SinkMail>());
    // The switches the start-up would set from such a monitor.ini.
    m.ui().setMenuChecked(MenuItem::AllowSounds, m.config().present.playSound);
    m.ui().setMenuChecked(MenuItem::EnablePager, m.config().pagerEnabledAtStart);
    // The template cell, as the load step places it before the first report.
    m.board().placeCell(1, 8, 1);
    // While the ring is empty, message processing has nothing to do: its millisecond ticks need not run
    // one by one, so hours pass in a few steps.
    m_test->services.clock.setIdle([&m] { return m.queue().isEmpty(); });
}

ReusedRig::ReusedRig(MonitorConfig config) : m_config(std::move(config)) {
    m_history.fill(-1);
    const QByteArray folder = qgetenv("CORVANE_FUZZ_HISTORY");
    if (folder.isEmpty())
        return;
    for (int slot = 0; slot < kInputsPerRig; ++slot)
        m_history[static_cast<std::size_t>(slot)] =
            ::open(historyFile(folder, slot).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

ReusedRig::~ReusedRig() {
    for (const int fd : m_history)
        if (fd >= 0)
            ::close(fd);
}

Rig& ReusedRig::take(QByteArrayView input) {
    if (!m_rig || m_served == kInputsPerRig) {
        m_rig.reset(); // the old monitor goes before the new one starts
        m_rig = std::make_unique<Rig>(m_config);
        for (int slot = 0; slot < m_served; ++slot)
            keep(slot, {});
        m_served = 0;
    }
    keep(m_served++, input);
    return *m_rig;
}

void ReusedRig::keep(int slot, QByteArrayView input) {
    const int fd = m_history[static_cast<std::size_t>(slot)];
    if (fd < 0)
        return;
    qsizetype done = 0;
    while (done < input.size()) {
        const ssize_t n = ::pwrite(fd, input.data() + done, static_cast<size_t>(input.size() - done), done);
        if (n <= 0)
            break;
        done += n;
    }
    (void)::ftruncate(fd, done);
}

} // namespace corvane::fuzz
