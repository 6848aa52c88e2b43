// The heartbeat watchdog driven through the monitor's real message path and a manual clock: minutes
// of silence, heartbeats and clock messages run in microseconds.

#include "alarms/AlarmList.h"
#include "alarms/Pager.h"
#include "common/LegacyText.h"
#include "platform/PollingWait.h"
#include "platform/Mail.h"
#include "support/TestMonitor.h"
#include "watchdogs/HeartbeatWatchdog.h"
#include "watchdogs/RelayWatchdog.h"

#include <QSignalSpy>
#include <QtTest>

using namespace corvane;
using corvane::test::TestMonitor;

namespace {

// Accepts every mail and remembers it; each send completes a millisecond later on the test's clock.
class RecordingMail final : public Mail {
public:
    explicit RecordingMail(Clock& clock) : m_later(clock) {}
    bool sessionOpen() const override { return m_open; }
    void signOn(std::function<void(MailResult)> done) override {
        m_open = true;
        done({});
    }
    void signOff() override { m_open = false; }
    void send(const MailMessage& message, std::function<void(MailResult)> done) override {
        sent.append(message);
        m_later.start(1, [done] { done({}); });
    }
    QList<MailMessage> sent;

private:
    bool m_open = false;
    Delay m_later;
};

constexpr int kTickMs = 1500;

struct Fixture {
    explicit Fixture(bool sirenOn = true) : t(config(sirenOn)) {
        // Only the heartbeat watchdog here: the relay watchdog would mark an unanswered relay down.
        t.monitor.relay().stop();
        t.monitor.ui().setMenuChecked(MenuItem::AllowSounds, true);
        auto recorder = std::make_unique<RecordingMail>(t.services.clock);
        mail = recorder.get();
        t.monitor.pager().setMail(std::move(recorder));
    }
    static MonitorConfig config(bool sirenOn) {
        MonitorConfig c;
        c.watchdogProgress = sirenOn;
        c.present.watchdogProgress = sirenOn;
        c.pagerRecipients = QStringLiteral("ops@example.org");
        c.title = QStringLiteral("Plant");
        return c;
    }
    void ticks(int n) { t.services.clock.advance(static_cast<qint64>(n) * kTickMs); }
    void message(const QString& m) { t.monitor.dispatcher().dispatch(m); }
    int counter() const { return t.monitor.heartbeat().counter(); }
    QStringList lines() const { return t.monitor.alarms().lines(); }
    const ElementState& bar() const { return t.monitor.ui().element(Element::WD_Progress); }
    QList<QPair<int, int>>& tones() { return t.services.tones.tones; }
    void enablePager() { t.monitor.ui().setMenuChecked(MenuItem::EnablePager, true); }

    TestMonitor t;
    RecordingMail* mail = nullptr;
};

bool endsWith(const QStringList& lines, const QStringList& texts) {
    if (lines.size() != texts.size())
        return false;
    for (int i = 0; i < lines.size(); ++i)
        if (!lines[i].endsWith(QStringLiteral("---") + texts[i]))
            return false;
    return true;
}

} // namespace

class HeartbeatWatchdogTest : public QObject {
    Q_OBJECT
private slots:
    void periodFollowsTheTimeoutWithinSixteenBits() {
        QCOMPARE(HeartbeatWatchdog::periodFor(150), std::optional<int>(1500));
        QCOMPARE(HeartbeatWatchdog::periodFor(3276), std::optional<int>(32760));
        QCOMPARE(HeartbeatWatchdog::periodFor(3277), std::nullopt);
        QCOMPARE(HeartbeatWatchdog::periodFor(-1), std::nullopt);
        QCOMPARE(HeartbeatWatchdog::periodFor(0), std::optional<int>(0));

        MonitorConfig tooLong;
        tooLong.watchdogTimeout = 4000;
        TestMonitor a(tooLong);
        QCOMPARE(a.monitor.heartbeat().interval(), 1500);

        MonitorConfig shortOne;
        shortOne.watchdogTimeout = 20;
        TestMonitor b(shortOne);
        QCOMPARE(b.monitor.heartbeat().interval(), 200);
        b.services.clock.advance(2000);
        QCOMPARE(b.monitor.heartbeat().counter(), 10);

        MonitorConfig off;
        off.watchdogTimeout = 0;
        TestMonitor c(off);
        c.monitor.relay().stop();
        c.services.clock.advance(10 * 60 * 1000);
        QCOMPARE(c.monitor.heartbeat().counter(), 0);
        QVERIFY(c.monitor.alarms().lines().isEmpty());
    }

    void heartbeatsInTimeLogNothing() {
        Fixture f;
        f.ticks(30);
        QCOMPARE(f.counter(), 30);
        // WD_Back is 1095 twips: 10.95 a tick.
        QCOMPARE(f.bar().twips.width(), 329);
        f.message(QStringLiteral("W"));
        for (int round = 0; round < 40; ++round) {
            f.ticks(99);
            QVERIFY(f.bar().twips.width() > 1000);
            f.message(QStringLiteral("W"));
            QCOMPARE(f.counter(), 0);
            QCOMPARE(f.bar().twips.width(), 0);
            QCOMPARE(f.bar().back, std::optional<LegacyColor>(kGrey));
        }
        QVERIFY2(f.lines().isEmpty(), qPrintable(f.lines().join(u'|')));
        QVERIFY(f.tones().isEmpty());
        QVERIFY(f.t.monitor.heartbeat().lastWatchdogText().isEmpty());
    }

    void clockMessagesKeepItAliveOnlyFromFiftyOne() {
        Fixture f;
        // At 50 or below a clock message changes nothing.
        for (int i = 0; i < 2; ++i) {
            f.ticks(25);
            f.message(QStringLiteral("T12:00:00 PM"));
        }
        QCOMPARE(f.counter(), 50);
        QCOMPARE(f.t.monitor.ui().element(Element::BoxClock).caption, QStringLiteral("12:00:00 PM"));
        f.ticks(51);
        QVERIFY(endsWith(f.lines(), {QStringLiteral("CorvaneBox not responding")}));

        // One every 51 ticks keeps it counting for good, the bar never past half way and a bit.
        Fixture g;
        for (int i = 0; i < 60; ++i) {
            g.ticks(51);
            QVERIFY(g.bar().twips.width() <= 559);
            g.message(QStringLiteral("T12:00:00 PM"));
            QCOMPARE(g.counter(), 0);
        }
        QVERIFY(g.lines().isEmpty());
    }

    void tick101RaisesTheAlarmOnce() {
        Fixture f;
        QSignalSpy raised(&f.t.monitor.ui(), &MainWindowModel::raiseRequested);
        f.ticks(100);
        QCOMPARE(f.bar().twips.width(), 1095);
        QVERIFY(f.lines().isEmpty());
        QVERIFY(f.tones().isEmpty());
        QCOMPARE(raised.count(), 0);

        f.ticks(1);
        const QDateTime at101 = f.t.services.clock.now();
        QCOMPARE(f.bar().back, std::optional<LegacyColor>(kRed));
        QCOMPARE(f.lines(), QStringList{alarmStamp(at101) + QStringLiteral("CorvaneBox not responding")});
        QCOMPARE(f.lines().first(), QStringLiteral("03/07/26 08:02 AM ---CorvaneBox not responding"));
        QCOMPARE(f.t.monitor.ui().element(Element::LastAlarm).caption, f.lines().first());
        QCOMPARE(raised.count(), 1);
        QCOMPARE(f.tones(), (QList<QPair<int, int>>{{909, 400}}));

        f.ticks(1);
        QCOMPARE(f.bar().back, std::optional<LegacyColor>(kGrey));
        QCOMPARE(f.tones().last(), (QPair<int, int>(918, 200)));
        QCOMPARE(f.bar().twips.width(), 1095);

        f.ticks(277 - 102);
        QCOMPARE(f.tones().last(), (QPair<int, int>(2493, 400)));
        f.ticks(1);
        QCOMPARE(f.tones().last(), (QPair<int, int>(2500, 200)));
        f.ticks(500);
        QCOMPARE(f.tones().last().first, 2500);
        QCOMPARE(f.tones().size(), 778 - 100);
        // One line for the whole outage; the label keeps showing the time going on; one raise.
        QCOMPARE(f.lines().size(), 1);
        QCOMPARE(raised.count(), 1);
        QVERIFY(f.t.monitor.ui()
                    .element(Element::LastAlarm)
                    .caption.endsWith(QStringLiteral("---CorvaneBox not responding")));
        QVERIFY(f.t.monitor.ui().element(Element::LastAlarm).caption != f.lines().first());
    }

    void soundsMenuAndSirenSettingGateTheSiren() {
        Fixture quiet(false);
        QSignalSpy raised(&quiet.t.monitor.ui(), &MainWindowModel::raiseRequested);
        quiet.ticks(120);
        QVERIFY(quiet.tones().isEmpty());
        QCOMPARE(raised.count(), 0);
        QCOMPARE(quiet.lines().size(), 1);
        QCOMPARE(quiet.bar().back, std::optional<LegacyColor>(kGrey)); // tick 120 is even

        Fixture muted;
        muted.t.monitor.ui().setMenuChecked(MenuItem::AllowSounds, false);
        QSignalSpy raisedMuted(&muted.t.monitor.ui(), &MainWindowModel::raiseRequested);
        muted.ticks(101);
        QVERIFY(muted.tones().isEmpty());
        QCOMPARE(raisedMuted.count(), 1);
    }

    void relayWordingFollowsTheRelayFlag() {
        Fixture f;
        f.ticks(105);
        // The board completes and its first ping goes unanswered.
        f.t.monitor.relay().completeBoard();
        f.t.monitor.relay().tick();
        f.ticks(1); // 106, even: nothing new
        QCOMPARE(f.lines().size(), 1);
        f.ticks(1);
        QVERIFY(endsWith(f.lines(), {QStringLiteral("CorvaneBox not responding"),
                                     QStringLiteral("UDP relay not responding")}));
        f.ticks(20);
        QCOMPARE(f.lines().size(), 2);
        f.message(QStringLiteral("+W")); // the relay answers its ping again
        QVERIFY(!f.t.monitor.relay().relayDown());
        f.ticks(2);
        QVERIFY(endsWith(f.lines(), {QStringLiteral("CorvaneBox not responding"),
                                     QStringLiteral("UDP relay not responding"),
                                     QStringLiteral("CorvaneBox not responding")}));
    }

    void recoveryIsLoggedOnceAtTheFirstTick() {
        Fixture f;
        f.ticks(130);
        f.message(QStringLiteral("W"));
        QCOMPARE(f.lines().size(), 1);
        f.ticks(1);
        QVERIFY(endsWith(
            f.lines(), {QStringLiteral("CorvaneBox not responding"), QStringLiteral("CorvaneBox is Back")}));
        QCOMPARE(f.t.monitor.ui().element(Element::LastAlarm).caption, f.lines().last());
        QCOMPARE(f.bar().twips.width(), 11); // counting again from 1
        f.ticks(50);
        f.message(QStringLiteral("W"));
        f.ticks(50);
        QCOMPARE(f.lines().size(), 2);
        // A second outage logs its line again.
        f.ticks(51);
        QCOMPARE(f.lines().size(), 3);
        QVERIFY(f.lines().last().endsWith(QStringLiteral("---CorvaneBox not responding")));
    }

    void anOutagePagesAtOnceAndRecoveryFlushes() {
        Fixture f;
        f.t.config.alarmStringAllow = QStringLiteral("responded");
        f.enablePager();
        f.ticks(101);
        f.ticks(1); // the send completes
        QCOMPARE(f.mail->sent.size(), 1);
        QCOMPARE(f.mail->sent[0].recipient, QStringLiteral("ops@example.org"));
        QCOMPARE(f.mail->sent[0].subject, QStringLiteral("Plant"));
        QCOMPARE(f.mail->sent[0].body, QStringLiteral("CorvaneBox not responding\r\n"));
        QVERIFY(f.t.monitor.heartbeat().watchdogPaged());

        // Later odd ticks only gather, however long the outage lasts.
        f.ticks(600);
        QCOMPARE(f.mail->sent.size(), 1);
        QVERIFY(
            f.t.monitor.pager().pendingPage().startsWith(QStringLiteral("CorvaneBox not responding\r\n")));

        f.message(QStringLiteral("W"));
        f.ticks(1);
        f.t.services.clock.advance(5000); // the send and the pause after it
        QCOMPARE(f.mail->sent.size(), 2);
        QVERIFY(f.mail->sent[1].body.startsWith(
            QStringLiteral("CorvaneBox responded\r\nCorvaneBox not responding\r\n")));
        QVERIFY(f.t.monitor.pager().pendingPage().isEmpty());
        QVERIFY(!f.t.monitor.heartbeat().watchdogPaged());
    }

    void recoveryPagesOnlyWhatTheOutagePaged() {
        // The pager was off for the whole outage and on at recovery: nothing is paged.
        Fixture f;
        f.t.config.alarmStringAllow = QStringLiteral("responded");
        f.ticks(140);
        f.enablePager();
        f.message(QStringLiteral("W"));
        f.ticks(60);
        QVERIFY(f.mail->sent.isEmpty());
        QVERIFY(f.t.monitor.pager().pendingPage().isEmpty());
        QVERIFY(endsWith(
            f.lines(), {QStringLiteral("CorvaneBox not responding"), QStringLiteral("CorvaneBox is Back")}));

        // Paged, but the pager was switched off before recovery: recovery pages nothing; the flush is
        // still owed and goes out at the first tick that finds the pager on again.
        Fixture g;
        g.enablePager();
        g.ticks(103);
        QCOMPARE(g.mail->sent.size(), 1);
        g.t.monitor.ui().setMenuChecked(MenuItem::EnablePager, false);
        g.message(QStringLiteral("W"));
        g.ticks(3);
        QCOMPARE(g.mail->sent.size(), 1);
        QVERIFY(g.t.monitor.heartbeat().watchdogPaged());
        g.enablePager();
        g.ticks(1);
        g.t.services.clock.advance(1000);
        QCOMPARE(g.mail->sent.size(), 2);
        QCOMPARE(g.mail->sent[1].body, QStringLiteral("CorvaneBox not responding\r\n"));
        QVERIFY(!g.t.monitor.heartbeat().watchdogPaged());
    }
};

QTEST_GUILESS_MAIN(HeartbeatWatchdogTest)
#include "test_watchdog_heartbeat.moc"
