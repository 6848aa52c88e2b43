// The heartbeat watchdog with its own collaborators and a manual clock: minutes of silence and
// heartbeats run in microseconds. Its paging is tested end to end with the pager's.

#include "common/LegacyText.h"
#include "support/WatchdogParts.h"

#include <QSignalSpy>
#include <QtTest>

using namespace corvane;
using namespace corvane::test;

namespace {

constexpr int kTickMs = 1500;

// The heartbeat watchdog, the pager off; the relay watchdog, stopped, is only read for its state.
struct Heartbeat : WatchdogParts {
    explicit Heartbeat(bool sirenOn = true, std::int16_t timeout = 150)
        : WatchdogParts(makeConfig(sirenOn, timeout)) {
        relay.stop();
        ui.setMenuChecked(MenuItem::AllowSounds, true);
    }
    static MonitorConfig makeConfig(bool sirenOn, std::int16_t timeout) {
        MonitorConfig c;
        c.watchdogProgress = sirenOn;
        c.watchdogTimeout = timeout;
        return c;
    }
    void ticks(int n) { clock.advance(static_cast<qint64>(n) * kTickMs); }
    const ElementState& bar() const { return ui.element(Element::WD_Progress); }
};

bool endsWith(const QStringList& lines, const QStringList& texts) {
    return lines.size() == texts.size() && std::equal(lines.begin(), lines.end(), texts.begin(),
                                                      [](const QString& line, const QString& text) {
                                                          return line.endsWith(QStringLiteral("---") + text);
                                                      });
}

} // namespace

class HeartbeatWatchdogTest : public QObject {
    Q_OBJECT
private slots:
    // The period from the configured timeout, or from the operator's answer to the dialog: tenths of a
    // second kept, halves of a millisecond to the even neighbour, 16 bits at most.
    void periodFollowsTheTimeout_data() {
        QTest::addColumn<int>("timeout");
        QTest::addColumn<QString>("answer"); // none when empty
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("shown"); // by the dialog afterwards
        QTest::newRow("default") << 150 << QString() << 1500 << "150";
        QTest::newRow("largest") << 3276 << QString() << 32760 << "3276";
        QTest::newRow("tenfold past 16 bits keeps the default") << 3277 << QString() << 1500 << "150";
        QTest::newRow("negative keeps the default") << -1 << QString() << 1500 << "150";
        QTest::newRow("short") << 20 << QString() << 200 << "20";
        QTest::newRow("off") << 0 << QString() << 0 << "0";
        QTest::newRow("answered in whole seconds") << 150 << "30" << 300 << "30";
        QTest::newRow("answered with no number") << 150 << "soon" << 1500 << "150";
        QTest::newRow("answered negative") << 150 << "-5" << 1500 << "150";
        QTest::newRow("answered the largest") << 150 << "6553.5" << 65535 << "6553.5";
        QTest::newRow("answered too long") << 150 << "6553.6" << 1500 << "150";
        QTest::newRow("answered half down to even") << 150 << "0.25" << 2 << "0.2";
        QTest::newRow("answered half up to even, blanks around") << 150 << " 0.75 " << 8 << "0.8";
    }
    void periodFollowsTheTimeout() {
        QFETCH(int, timeout);
        QFETCH(QString, answer);
        QFETCH(int, interval);
        QFETCH(QString, shown);
        Heartbeat f(false, static_cast<std::int16_t>(timeout));
        const QString dialog = QStringLiteral("Watchdog Timeout|Enter Timeout in seconds|");
        if (!answer.isEmpty()) {
            f.dialogs.inputAnswers.enqueue(answer);
            f.ui.trigger(MenuItem::WDTO);
            QCOMPARE(f.dialogs.inputs, QStringList{dialog + QStringLiteral("150")});
        }
        f.ui.trigger(MenuItem::WDTO); // cancelled: the period stays
        QCOMPARE(f.dialogs.inputs.last(), dialog + shown);
        QCOMPARE(f.heartbeat.interval(), interval);
        f.clock.advance(10 * 60 * 1000);
        QCOMPARE(f.heartbeat.counter(), interval ? 10 * 60 * 1000 / interval : 0);
        QCOMPARE(f.lines().size(), f.heartbeat.counter() > 100 ? 1 : 0); // one outage, if any
    }

    void tick101RaisesTheAlarmOnce() {
        Heartbeat f;
        QSignalSpy raised(&f.ui, &MainWindowModel::raiseRequested);
        f.ticks(100);
        QCOMPARE(f.bar().twips.width(), 1095);
        QVERIFY(f.lines().isEmpty());
        QVERIFY(f.tones.tones.isEmpty());
        QCOMPARE(raised.count(), 0);

        f.ticks(1);
        QCOMPARE(f.bar().back, std::optional<LegacyColor>(kRed));
        QCOMPARE(f.lines(), QStringList{QStringLiteral("03/07/26 08:02 AM ---CorvaneBox not responding")});
        QCOMPARE(f.ui.element(Element::LastAlarm).caption, f.lines().first());
        QCOMPARE(raised.count(), 1);
        QCOMPARE(f.tones.tones, (QList<QPair<int, int>>{{909, 400}}));

        f.ticks(1);
        QCOMPARE(f.bar().back, std::optional<LegacyColor>(kGrey));
        QCOMPARE(f.tones.tones.last(), (QPair<int, int>(918, 200)));
        QCOMPARE(f.bar().twips.width(), 1095);

        f.ticks(277 - 102);
        QCOMPARE(f.tones.tones.last(), (QPair<int, int>(2493, 400)));
        f.ticks(1);
        QCOMPARE(f.tones.tones.last(), (QPair<int, int>(2500, 200)));
        f.ticks(500);
        QCOMPARE(f.tones.tones.last().first, 2500);
        QCOMPARE(f.tones.tones.size(), 778 - 100);
        // One line for the whole outage; the label keeps showing the time going on; one raise.
        QCOMPARE(f.lines().size(), 1);
        QCOMPARE(raised.count(), 1);
        const QString& label = f.ui.element(Element::LastAlarm).caption;
        QVERIFY(label.endsWith(QStringLiteral("---CorvaneBox not responding")));
        QVERIFY(label != f.lines().first());
    }

    void soundsMenuAndSirenSettingGateTheSiren_data() {
        QTest::addColumn<bool>("sirenOn");
        QTest::addColumn<int>("raises");
        QTest::newRow("siren setting off: silent, not raised") << false << 0;
        QTest::newRow("sounds menu off: silent, still raised") << true << 1;
    }
    void soundsMenuAndSirenSettingGateTheSiren() {
        QFETCH(bool, sirenOn);
        QFETCH(int, raises);
        Heartbeat f(sirenOn);
        f.ui.setMenuChecked(MenuItem::AllowSounds, !sirenOn);
        QSignalSpy raised(&f.ui, &MainWindowModel::raiseRequested);
        f.ticks(120);
        QVERIFY(f.tones.tones.isEmpty());
        QCOMPARE(raised.count(), raises);
        QCOMPARE(f.lines().size(), 1);
        QCOMPARE(f.bar().back, std::optional<LegacyColor>(kGrey)); // tick 120 is even
    }

    void relayWordingFollowsTheRelayFlag() {
        Heartbeat f;
        f.ticks(105);
        // The board completes and its first ping goes unanswered.
        f.relay.completeBoard();
        f.relay.tick();
        f.ticks(1); // 106, even: nothing new
        QCOMPARE(f.lines().size(), 1);
        f.ticks(1);
        QVERIFY(endsWith(f.lines(), {QStringLiteral("CorvaneBox not responding"),
                                     QStringLiteral("UDP relay not responding")}));
        f.ticks(20);
        QCOMPARE(f.lines().size(), 2);
        f.relay.pingAnswered();
        f.ticks(2);
        QVERIFY(endsWith(f.lines(), {QStringLiteral("CorvaneBox not responding"),
                                     QStringLiteral("UDP relay not responding"),
                                     QStringLiteral("CorvaneBox not responding")}));
    }

    void recoveryIsLoggedOnceAtTheFirstTick() {
        Heartbeat f;
        f.ticks(130);
        f.heartbeat.heartbeatArrived();
        QCOMPARE(f.lines().size(), 1);
        f.ticks(1);
        QVERIFY(endsWith(
            f.lines(), {QStringLiteral("CorvaneBox not responding"), QStringLiteral("CorvaneBox is Back")}));
        QCOMPARE(f.ui.element(Element::LastAlarm).caption, f.lines().last());
        QCOMPARE(f.bar().twips.width(), 11); // counting again from 1
        f.ticks(50);
        f.heartbeat.heartbeatArrived();
        f.ticks(50);
        QCOMPARE(f.lines().size(), 2);
        // A second outage logs its line again.
        f.ticks(51);
        QCOMPARE(f.lines().size(), 3);
        QVERIFY(f.lines().last().endsWith(QStringLiteral("---CorvaneBox not responding")));
    }
};

QTEST_GUILESS_MAIN(HeartbeatWatchdogTest)
#include "test_watchdog_heartbeat.moc"
