// The link against the simulated engine over real loopback sockets: the hello and the requests arrive
// as the engine expects them, the engine's messages reach the handlers in order, a burst arrives
// whole, and the link comes back after the engine drops it.
#include "link/EngineLink.h"
#include "alarms/AlarmList.h"
#include "link/LinkActions.h"
#include "link/TcpEngineLink.h"
#include "messages/MessageIntake.h"
#include "support/EngineSimProcess.h"
#include "support/LiveMonitor.h"
#include "support/TestMonitor.h"

#include <QHostInfo>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

struct EngineRig {
    EngineSimProcess sim;
    std::unique_ptr<TestMonitor> t;
    QStringList seen;

    bool start(bool udp) {
        if (!sim.start({"--heartbeat-ms", "0", "--clock-ms", "0"}))
            return false;
        MonitorConfig config;
        config.useUdp = udp;
        config.engineAddress = QStringLiteral("127.0.0.1");
        config.enginePort = static_cast<std::int16_t>(udp ? sim.udpPort() : sim.tcpPort());
        config.monitorPort = static_cast<std::int16_t>(EngineSimProcess::freeMonitorPort());
        t = std::make_unique<TestMonitor>(config);
        for (char type : QByteArray("AtcC+-SWD!@T"))
            t->monitor.dispatcher().setHandler(
                type, [this, type](QStringView body) { seen << QChar::fromLatin1(type) + body.toString(); });
        t->monitor.link().reset(createEngineLink(t->monitor));
        return true;
    }
    Monitor& monitor() { return t->monitor; }
    // Lets the sockets run and message processing tick until `count` messages have been handled.
    bool waitForSeen(int count, int timeoutMs = 20000) {
        return QTest::qWaitFor(
            [&] {
                t->services.clock.advance(MessageIntake::kTickMs);
                return seen.size() >= count;
            },
            timeoutMs);
    }
};

} // namespace

class TestLinkEngine : public QObject {
    Q_OBJECT
private slots:
    void udpHelloRequestsAndAnswers() {
        EngineRig rig;
        QVERIFY(rig.start(true));
        reconnect(rig.monitor());
        const auto hello = rig.sim.waitForCommand(QStringLiteral("$TESTBOX"));
        QVERIFY(hello);
        QCOMPARE(hello->port, static_cast<quint16>(rig.t->config.monitorPort));
        rig.monitor().link()->sendCommand(QStringLiteral("SSSSS"));
        rig.monitor().link()->sendCommand(QStringLiteral("CCCCC"));
        QVERIFY(rig.sim.waitForCommand(QStringLiteral("SSSSS")));
        QVERIFY(rig.sim.waitForCommand(QStringLiteral("CCCCC")));
        QVERIFY(rig.waitForSeen(2));
        QVERIFY(rig.seen[0].startsWith(QStringLiteral("SCORVANE-SIM,")));
        QCOMPARE(rig.seen[1], QStringLiteral("+C"));
        rig.seen.clear();
        for (const char* m : {"send A one", "send W", "send A two|still two", "send T12:00:00"})
            QVERIFY(rig.sim.control(QString::fromLatin1(m)));
        QVERIFY(rig.waitForSeen(4));
        QCOMPARE(rig.seen, (QStringList{"A one", "W", "A two|still two", "T12:00:00"}));
    }

    void tcpHelloRequestsAndOrderedMessages() {
        EngineRig rig;
        QVERIFY(rig.start(false));
        reconnect(rig.monitor());
        QVERIFY(rig.sim.waitForCommand(QStringLiteral("$TESTBOX")));
        QCOMPARE(rig.monitor().ui().element(Element::TCP).fore, std::optional<LegacyColor>(kGreen));
        rig.monitor().link()->sendCommand(QStringLiteral("SSSSS"));
        rig.monitor().link()->sendCommand(QStringLiteral("DDDDD"));
        QVERIFY(rig.sim.waitForCommand(QStringLiteral("SSSSS")));
        QVERIFY(rig.sim.waitForCommand(QStringLiteral("DDDDD")));
        QVERIFY(rig.waitForSeen(2));
        QVERIFY(rig.seen[0].startsWith(QStringLiteral("SCORVANE-SIM,")));
        QVERIFY(rig.seen[1].startsWith(QStringLiteral("D")));
        QVERIFY(rig.sim.control(QStringLiteral("send A one")));
        QVERIFY(rig.sim.control(QStringLiteral("send T12:00:00")));
        QVERIFY(rig.waitForSeen(2));
        QVERIFY(QTest::qWaitFor([&] { return rig.seen.endsWith(QStringLiteral("T12:00:00")); }, 5000));
        QCOMPARE(rig.seen.mid(rig.seen.size() - 2), (QStringList{"A one", "T12:00:00"}));
    }

    void tcpBurstArrivesWhole() {
        EngineRig rig;
        QVERIFY(rig.start(false));
        reconnect(rig.monitor());
        QVERIFY(rig.sim.waitForCommand(QStringLiteral("$TESTBOX")));
        constexpr int kBurst = 50000;
        QVERIFY(rig.sim.control(QStringLiteral("blast %1").arg(kBurst)));
        QVERIFY(rig.waitForSeen(kBurst, 45000));
        QCOMPARE(rig.seen.size(), kBurst);
        for (int i = 0; i < kBurst; ++i)
            if (rig.seen[i] != QStringLiteral("A blast %1").arg(i + 1, 6, 10, QLatin1Char('0')))
                QFAIL(qPrintable(QStringLiteral("message %1 is %2").arg(i).arg(rig.seen[i])));
        QCOMPARE(rig.monitor().link()->discardedCount(), 0);
    }

    void refreshSequenceReachesTheEngineByNameAndIPv6_data() {
        QTest::addColumn<bool>("udp");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("bind");
        // The machine's own name, as /etc/hosts gives it, is where the engine listens.
        const QString name = QHostInfo::localHostName();
        QString named;
        for (const QHostAddress& a : QHostInfo::fromName(name).addresses()) {
            named = a.toString();
            if (a.protocol() == QAbstractSocket::IPv4Protocol)
                break;
        }
        QTest::newRow("UDP, a host name") << true << name << named;
        QTest::newRow("TCP, a host name") << false << name << named;
        QTest::newRow("UDP, IPv6") << true << "::1" << "::1";
        QTest::newRow("TCP, IPv6") << false << "::1" << "::1";
    }

    void refreshSequenceReachesTheEngineByNameAndIPv6() {
        QFETCH(bool, udp);
        QFETCH(QString, address);
        QFETCH(QString, bind);
        QVERIFY2(!bind.isEmpty(), qPrintable(address + QStringLiteral(" does not resolve")));
        LiveMonitor rig;
        QVERIFY(rig.start(udp, address, bind));
        QStringList got;
        for (const SimCommand& c : rig.sim.commands())
            got << c.text;
        QCOMPARE(got, (QStringList{"$LIVEBOX", "SSSSS", "CCCCC", "UUUUU"}));
        // And the engine's answers are heard.
        QVERIFY(rig.paints(4, 1));
        QVERIFY(rig.monitor->alarms().lines().isEmpty());
    }

    void aNameThatDoesNotResolveIsReportedOnce_data() {
        QTest::addColumn<bool>("udp");
        QTest::newRow("UDP") << true;
        QTest::newRow("TCP") << false;
    }

    void aNameThatDoesNotResolveIsReportedOnce() {
        QFETCH(bool, udp);
        MonitorConfig config;
        config.useUdp = udp;
        config.engineAddress = QStringLiteral("no-such-engine.invalid");
        config.enginePort = 1260;
        TestMonitor t(config);
        t.monitor.link().reset(createEngineLink(t.monitor));
        for (int attempt = 0; attempt < 2; ++attempt) {
            bool ended = false;
            reconnect(t.monitor, [&] { ended = true; });
            t.monitor.link()->sendCommand(QStringLiteral("SSSSS"));
            QVERIFY(QTest::qWaitFor(
                [&] {
                    t.services.clock.advance(TcpEngineLink::kLookMs);
                    return ended;
                },
                20000));
        }
        QCOMPARE(t.monitor.alarms().lines().size(), 1);
        QVERIFY2(t.monitor.alarms().lines()[0].endsWith(
                     QStringLiteral("Engine address no-such-engine.invalid not found")),
                 qPrintable(t.monitor.alarms().lines()[0]));
    }

    void reconnectAfterTheEngineDropsTheLink() {
        EngineRig rig;
        QVERIFY(rig.start(false));
        reconnect(rig.monitor());
        QVERIFY(rig.sim.waitForCommand(QStringLiteral("$TESTBOX")));
        const ElementState& label = rig.monitor().ui().element(Element::TCP);
        QVERIFY(rig.sim.control(QStringLiteral("close")));
        QTRY_COMPARE(label.fore, std::optional<LegacyColor>(kRed));
        const qsizetype mark = rig.sim.lines().size();
        rig.monitor().ui().trigger(MenuItem::Refresh);
        QVERIFY(rig.sim.waitForCommand(QStringLiteral("$TESTBOX"), 10000, mark));
        QCOMPARE(label.fore, std::optional<LegacyColor>(kGreen));
        rig.monitor().link()->sendCommand(QStringLiteral("CCCCC"));
        QVERIFY(rig.sim.waitForCommand(QStringLiteral("CCCCC"), 10000, mark));
        QVERIFY(rig.waitForSeen(1));
        QCOMPARE(rig.seen.last(), QStringLiteral("+C"));
    }
};

QTEST_GUILESS_MAIN(TestLinkEngine)
#include "test_link_engine.moc"
