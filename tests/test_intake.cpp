// Message processing: each tick takes the waiting messages in order, shows the pending count and hands
// every message whole to the handler of its type, within a time budget.
#include "link/MessageQueue.h"
#include "messages/MessageIntake.h"
#include "support/TestMonitor.h"

#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {
// Replaces every handler with one that notes "type:body".
QStringList& recordEveryType(Monitor& monitor, QStringList& seen) {
    for (char type : QByteArray("AtcC+-SWD!@T"))
        monitor.dispatcher.setHandler(type, [&seen, type](QStringView body) {
            seen << QChar::fromLatin1(type) + QStringLiteral(":") + body.toString();
        });
    return seen;
}
} // namespace

class TestIntake : public QObject {
    Q_OBJECT
private slots:
    void typeIsTheFirstCharacterAndCaseCounts() {
        TestMonitor t;
        QStringList seen;
        recordEveryType(t.monitor, seen);
        for (const char* m : {"t305,2,9,1207", "T12:05:00", "c305,x", "C305,1207,y", "+C", "-S", "W", "",
                              "x unknown", "A", "@hi, there", "!M1", "D1,Sales", "S,4,4"})
            t.monitor.queue.store(QString::fromLatin1(m));
        t.services.clock.advance(MessageIntake::kTickMs);
        QCOMPARE(seen, (QStringList{"t:305,2,9,1207", "T:12:05:00", "c:305,x", "C:305,1207,y", "+:C", "-:S",
                                    "W:", "A:", "@:hi, there", "!:M1", "D:1,Sales", "S:,4,4"}));
        // The empty message and the unknown type are taken and counted all the same.
        QCOMPARE(t.monitor.intake->processedCount(), 14);
        QCOMPARE(t.monitor.queue.pendingCount(), 0);
        QCOMPARE(t.monitor.queue.readIndex(), 14);
        QCOMPARE(t.monitor.ui.element(Element::PendingLbl).caption, QStringLiteral("0"));
    }

    void idleTickChangesNothing() {
        TestMonitor t;
        QStringList seen;
        recordEveryType(t.monitor, seen);
        t.services.clock.advance(50);
        QVERIFY(seen.isEmpty());
        QCOMPARE(t.monitor.ui.element(Element::PendingLbl).caption, QStringLiteral("0000"));
        QCOMPARE(t.monitor.queue.readIndex(), 0);
    }

    void backlogIsWorkedOffWithinTheBudget() {
        TestMonitor t;
        QStringList seen;
        recordEveryType(t.monitor, seen);
        // Each message takes a millisecond to handle; moving the clock also fires DataRec again from
        // inside the handler, which must not start a second pass in the middle of this one.
        t.monitor.dispatcher.setHandler('W', [&](QStringView body) {
            seen << QStringLiteral("W:") + body.toString();
            t.services.clock.advance(1);
        });
        for (int i = 0; i < 20; ++i)
            t.monitor.queue.store(QStringLiteral("W%1").arg(i));
        t.monitor.intake->tick();
        QCOMPARE(seen.size(), int(MessageIntake::kBudgetMs));
        QCOMPARE(t.monitor.ui.element(Element::PendingLbl).caption,
                 QString::number(20 - MessageIntake::kBudgetMs));
        while (t.monitor.queue.pendingCount() > 0)
            t.monitor.intake->tick();
        QCOMPARE(seen.size(), 20);
        for (int i = 0; i < 20; ++i)
            QCOMPARE(seen[i], QStringLiteral("W:%1").arg(i));
    }

    void fullRingIsDrainedInOneTickWhenHandlersAreQuick() {
        TestMonitor t;
        int count = 0;
        t.monitor.dispatcher.setHandler('t', [&](QStringView) { ++count; });
        for (int i = 0; i < MessageQueue::kCapacity; ++i)
            t.monitor.queue.store(QStringLiteral("t%1").arg(i));
        t.services.clock.advance(MessageIntake::kTickMs);
        QCOMPARE(count, MessageQueue::kCapacity);
        QCOMPARE(t.monitor.queue.writeIndex(), 0);
        QCOMPARE(t.monitor.queue.readIndex(), 0);
    }

    void messageStoredByAHandlerWaitsItsTurn() {
        TestMonitor t;
        QStringList seen;
        recordEveryType(t.monitor, seen);
        t.monitor.dispatcher.setHandler('A', [&](QStringView body) {
            seen << QStringLiteral("A:") + body.toString();
            if (body == u"1")
                t.monitor.queue.store(QStringLiteral("A3"));
        });
        t.monitor.queue.store(QStringLiteral("A1"));
        t.monitor.queue.store(QStringLiteral("A2"));
        t.services.clock.advance(MessageIntake::kTickMs);
        QCOMPARE(seen, (QStringList{"A:1", "A:2", "A:3"}));
    }
};

QTEST_GUILESS_MAIN(TestIntake)
#include "test_intake.moc"
