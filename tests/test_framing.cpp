// Cutting the engine's TCP stream into messages, and the ring they wait in.
#include "link/MessageQueue.h"
#include "link/TcpFraming.h"

#include <QTest>

using namespace corvane;

namespace {
QStringList drain(MessageQueue& queue) {
    QStringList out;
    while (queue.pendingCount() > 0)
        out << queue.take();
    return out;
}
} // namespace

class TestFraming : public QObject {
    Q_OBJECT
private slots:
    void partialMessageCompletedAcrossArrivals() {
        MessageQueue queue;
        TcpFraming framing(queue);
        framing.arrive("T12:0");
        QCOMPARE(queue.pendingCount(), 0);
        QCOMPARE(framing.partialMessage(), QStringLiteral("T12:0"));
        framing.arrive("5:00|A1 ok|t305");
        QCOMPARE(drain(queue), (QStringList{"T12:05:00", "A1 ok"}));
        QCOMPARE(framing.partialMessage(), QStringLiteral("t305"));
        framing.arrive("|");
        QCOMPARE(drain(queue), QStringList{"t305"});
        QVERIFY(framing.partialMessage().isEmpty());
    }

    void emptyMessagesAreNotStored() {
        MessageQueue queue;
        TcpFraming framing(queue);
        framing.arrive("|||");
        QCOMPARE(queue.pendingCount(), 0);
        QVERIFY(framing.partialMessage().isEmpty());
        framing.arrive("|W||A1|");
        framing.arrive("A2|");
        QCOMPARE(drain(queue), (QStringList{"W", "A1", "A2"}));
        QCOMPARE(queue.writeIndex(), 3);
    }

    void everyByteSurvives() {
        MessageQueue queue;
        TcpFraming framing(queue);
        // Latin-1 on the wire: bytes above 127 and NULs are text like any other.
        const QByteArray data("A\xe9t\xe9\x00x|", 8);
        framing.arrive(data);
        const QString message = queue.take();
        QCOMPARE(message.size(), 6);
        QCOMPARE(message.at(1).unicode(), char16_t(0xE9));
        QCOMPARE(message.at(4).unicode(), char16_t(0));
    }

    void ringWrapsAndRefusesWhenFull() {
        MessageQueue queue;
        for (int i = 0; i < MessageQueue::kCapacity; ++i)
            QVERIFY(queue.store(QString::number(i)));
        QCOMPARE(queue.writeIndex(), 0);
        QCOMPARE(queue.pendingCount(), 1000);
        // A full ring never overwrites a message that is still pending.
        QVERIFY(!queue.store(QStringLiteral("late")));
        QCOMPARE(queue.pendingCount(), 1000);
        QCOMPARE(queue.take(), QStringLiteral("0"));
        QVERIFY(queue.store(QStringLiteral("1000")));
        QCOMPARE(queue.writeIndex(), 1);
        QCOMPARE(queue.readIndex(), 1);
        const QStringList rest = drain(queue);
        QCOMPARE(rest.size(), 1000);
        QCOMPARE(rest.first(), QStringLiteral("1"));
        QCOMPARE(rest.last(), QStringLiteral("1000"));
    }

    void fullRingHoldsTheStreamBackAndLosesNothing() {
        MessageQueue queue;
        TcpFraming framing(queue);
        QByteArray data;
        for (int i = 0; i < 2500; ++i)
            data += "t" + QByteArray::number(i) + '|';
        data += "tail";
        int wakeups = 0;
        std::function<void()> onRoom = [&] {
            ++wakeups;
            if (framing.resume() == TcpFraming::Result::HeldBack)
                queue.notifyWhenRoom(onRoom);
        };
        QCOMPARE(framing.arrive(data), TcpFraming::Result::HeldBack);
        QVERIFY(framing.holdsBackData());
        QCOMPARE(queue.pendingCount(), 1000);
        queue.notifyWhenRoom(onRoom);
        QStringList got;
        while (queue.pendingCount() > 0)
            got << queue.take();
        QCOMPARE(got.size(), 2500);
        for (int i = 0; i < 2500; ++i)
            QCOMPARE(got[i], QStringLiteral("t%1").arg(i));
        QVERIFY(wakeups >= 3);
        QVERIFY(!framing.holdsBackData());
        QCOMPARE(framing.partialMessage(), QStringLiteral("tail"));
    }

    void newConnectionDropsTheOldStreamsUnfinishedMessage() {
        MessageQueue queue;
        TcpFraming framing(queue);
        framing.arrive("t1|t30");
        framing.startStream();
        framing.arrive("5|t2|");
        QCOMPARE(drain(queue), (QStringList{"t1", "5", "t2"}));

        // An overlong message cut off by the old connection does not swallow the new stream's first one.
        framing.arrive(QByteArray(40000, 'x'));
        QCOMPARE(framing.takeFailures(), 1);
        framing.startStream();
        framing.arrive("t3|");
        QCOMPARE(drain(queue), QStringList{"t3"});

        // Whole messages held back while the ring was full are still delivered; only the tail goes.
        QByteArray data;
        for (int i = 0; i < 1500; ++i)
            data += "t" + QByteArray::number(i) + '|';
        QCOMPARE(framing.arrive(data + "t15"), TcpFraming::Result::HeldBack);
        framing.startStream();
        QStringList got = drain(queue);
        QCOMPARE(framing.resume(), TcpFraming::Result::Done);
        framing.arrive("t4|");
        got += drain(queue);
        QCOMPARE(got.size(), 1501);
        QCOMPARE(got[1499], QStringLiteral("t1499"));
        QCOMPARE(got.last(), QStringLiteral("t4"));
    }

    void overlongPartialIsDiscardedUpToTheNextSeparator() {
        MessageQueue queue;
        TcpFraming framing(queue);
        const QByteArray chunk(10000, 'x');
        framing.arrive("A1|" + chunk);
        framing.arrive(chunk);
        framing.arrive(chunk);
        QCOMPARE(framing.takeFailures(), 0);
        QCOMPARE(framing.partialMessage().size(), 30000);
        framing.arrive(chunk); // 40,000 characters without an end
        QCOMPARE(framing.takeFailures(), 1);
        QCOMPARE(framing.discardedCount(), 1);
        QVERIFY(framing.partialMessage().isEmpty());
        // The rest of the overlong message is thrown away too; what follows its "|" is read again.
        framing.arrive(chunk + "|A2|A");
        framing.arrive("3|");
        QCOMPARE(drain(queue), (QStringList{"A1", "A2", "A3"}));
        QCOMPARE(framing.discardedCount(), 1);
        QCOMPARE(framing.takeFailures(), 0);
    }

    void longestMessageStillFits() {
        MessageQueue queue;
        TcpFraming framing(queue);
        const QByteArray longest(TcpFraming::kMaxMessage, 'y');
        framing.arrive(longest.left(20000));
        framing.arrive(longest.mid(20000) + "|");
        QCOMPARE(queue.pendingCount(), 1);
        QCOMPARE(queue.take().size(), TcpFraming::kMaxMessage);
        framing.arrive(longest + "z|B|");
        QCOMPARE(framing.discardedCount(), 1);
        QCOMPARE(drain(queue), QStringList{"B"});
    }
};

QTEST_GUILESS_MAIN(TestFraming)
#include "test_framing.moc"
