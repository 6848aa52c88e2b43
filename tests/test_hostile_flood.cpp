// A million datagrams from the simulated engine as fast as it can send them: the ring never overflows,
// only the kernel loses datagrams and counts them, memory stays put, and the monitor still works.

#include "alarms/AlarmList.h"
#include "app/Monitor.h"
#include "link/MessageQueue.h"
#include "link/UdpEngineLink.h"
#include "messages/MessageIntake.h"
#include "support/LiveMonitor.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

using namespace corvane;
using corvane::test::LiveMonitor;
using corvane::test::statusKb;

class TestHostileFlood : public QObject {
    Q_OBJECT
private slots:
    void millionDatagramFlood() {
        LiveMonitor rig;
        QVERIFY(rig.start(true));
        QVERIFY(rig.paints(1, 2));
        const auto& link = dynamic_cast<const UdpEngineLink&>(*rig.monitor->link());
        QTRY_VERIFY(rig.monitor->queue().isEmpty());
        const qint64 processedBefore = rig.monitor->intake().processedCount();
        const std::int64_t kernelDropsBefore = link.kernelDrops();
        const long rssBefore = statusKb("VmRSS");
        const qsizetype mark = rig.sim.lines().size();
        constexpr qint64 kBlast = 1000000;
        QVERIFY(rig.sim.control(QStringLiteral("blast %1").arg(kBlast)));
        int maxPending = 0;
        long maxRss = rssBefore;
        QVERIFY(QTest::qWaitFor(
            [&] {
                maxPending = std::max(maxPending, rig.monitor->queue().pendingCount());
                maxRss = std::max(maxRss, statusKb("VmRSS"));
                return rig.sim.lines().indexOf(QRegularExpression(QStringLiteral("# blast finished .*")),
                                               mark) >= 0;
            },
            50000));
        // The socket still holds what waited for the ring: let it drain, then count.
        qint64 seen = -1;
        QElapsedTimer quiet;
        quiet.start();
        QVERIFY(QTest::qWaitFor(
            [&] {
                const qint64 now = rig.monitor->intake().processedCount();
                if (now != seen || !rig.monitor->queue().isEmpty()) {
                    seen = now;
                    quiet.restart();
                }
                return quiet.elapsed() >= 1000;
            },
            60000));
        const qint64 arrived = rig.monitor->intake().processedCount() - processedBefore;
        const std::int64_t kernelDropped = link.kernelDrops() - kernelDropsBefore;
        qInfo("arrived %lld, kernel dropped %lld, queue high-water %d, memory grew %ld kB", arrived,
              static_cast<long long>(kernelDropped), maxPending, maxRss - rssBefore);
        QVERIFY(maxPending <= MessageQueue::kCapacity);
        // Every datagram is either handled or counted by the kernel as dropped: none is lost unseen.
        if (kernelDropsBefore >= 0)
            QCOMPARE(arrived + kernelDropped, kBlast);
        else
            QVERIFY(arrived <= kBlast);
        QCOMPARE(link.ignoredCount(), 0);
        QVERIFY2(maxRss - rssBefore < 100 * 1024, qPrintable(QStringLiteral("grew %1 kB").arg(maxRss - rssBefore)));
        QVERIFY(rig.monitor->alarms().count() <= 201);
        QVERIFY(rig.paints(9, 3));
    }
};

QTEST_MAIN(TestHostileFlood)
#include "test_hostile_flood.moc"
