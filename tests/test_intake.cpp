// Message processing: each tick takes the waiting messages in order, shows the pending count and hands
// every message whole to the handler of its type, within a time budget.
#include "common/MainWindowModel.h"
#include "link/LinkSocket.h"
#include "link/MessageQueue.h"
#include "messages/Dispatcher.h"
#include "messages/MessageIntake.h"
#include "support/ManualClock.h"

#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {
// Message processing with handlers that note "type:body" for every type.
struct Intake {
    Intake() {
        for (char type : QByteArray("AtcC+-SWD!@T"))
            dispatcher.setHandler(type, [this, type](QStringView body) {
                seen << QChar::fromLatin1(type) + QStringLiteral(":") + body.toString();
            });
    }
    ManualClock clock;
    MainWindowModel ui;
    LinkSocket link;
    MessageQueue queue;
    Dispatcher dispatcher;
    int recorded = 0;
    MessageIntake intake{ui, clock, link, queue, dispatcher, [this](const QString&) { ++recorded; }};
    QStringList seen;
    QString pending() const { return ui.element(Element::PendingLbl).caption; }
};
} // namespace

class TestIntake : public QObject {
    Q_OBJECT
private slots:
    void typeIsTheFirstCharacterAndCaseCounts() {
        Intake x;
        x.clock.advance(50); // idle ticks change nothing
        QCOMPARE(x.pending(), QStringLiteral("0000"));
        for (const char* m : {"t305,2,9,1207", "T12:05:00", "c305,x", "C305,1207,y", "+C", "-S", "W", "",
                              "x unknown", "A", "@hi, there", "!M1", "D1,Sales", "S,4,4"})
            x.queue.store(QString::fromLatin1(m));
        x.clock.advance(MessageIntake::kTickMs);
        QCOMPARE(x.seen, (QStringList{"t:305,2,9,1207", "T:12:05:00", "c:305,x", "C:305,1207,y", "+:C", "-:S",
                                      "W:", "A:", "@:hi, there", "!:M1", "D:1,Sales", "S:,4,4"}));
        // The empty message and the unknown type are taken, counted and recorded all the same.
        QCOMPARE(x.intake.processedCount(), 14);
        QCOMPARE(x.recorded, 14);
        QCOMPARE(x.queue.pendingCount(), 0);
        QCOMPARE(x.queue.readIndex(), 14);
        QCOMPARE(x.pending(), QStringLiteral("0"));
    }

    void backlogIsWorkedOffWithinTheBudget() {
        Intake x;
        // Each message takes a millisecond to handle; moving the clock also fires DataRec again from
        // inside the handler, which must not start a second pass in the middle of this one. A message
        // a handler stores waits its turn.
        x.dispatcher.setHandler('W', [&](QStringView body) {
            x.seen << QStringLiteral("W:") + body.toString();
            x.clock.advance(1);
            if (body == u"0")
                x.queue.store(QStringLiteral("W20"));
        });
        for (int i = 0; i < 20; ++i)
            x.queue.store(QStringLiteral("W%1").arg(i));
        x.intake.tick();
        QCOMPARE(x.seen.size(), int(MessageIntake::kBudgetMs));
        QCOMPARE(x.pending(), QString::number(21 - MessageIntake::kBudgetMs));
        while (x.queue.pendingCount() > 0)
            x.intake.tick();
        QCOMPARE(x.seen.size(), 21);
        for (int i = 0; i < 21; ++i)
            QCOMPARE(x.seen[i], QStringLiteral("W:%1").arg(i));
    }

    void fullRingIsDrainedInOneTickWhenHandlersAreQuick() {
        Intake x;
        for (int i = 0; i < MessageQueue::kCapacity; ++i)
            x.queue.store(QStringLiteral("t%1").arg(i));
        x.clock.advance(MessageIntake::kTickMs);
        QCOMPARE(x.seen.size(), MessageQueue::kCapacity);
        QCOMPARE(x.queue.writeIndex(), 0);
        QCOMPARE(x.queue.readIndex(), 0);
    }
};

QTEST_GUILESS_MAIN(TestIntake)
#include "test_intake.moc"
