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
    // An empty arrival stands for a new connection.
    void arrivalsAreCutIntoMessages_data() {
        QTest::addColumn<QByteArrayList>("arrivals");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("partial"); // what waits for its separator afterwards
        QTest::addColumn<int>("discarded");
        const QByteArray chunk(10000, 'x');
        const QByteArray longest(TcpFraming::kMaxMessage, 'y');
        QTest::newRow("a message split over arrivals")
            << QByteArrayList{"T12:0", "5:00|A1 ok|t305", "|", "t3"}
            << QStringList{"T12:05:00", "A1 ok", "t305"} << "t3" << 0;
        QTest::newRow("empty messages are not stored")
            << QByteArrayList{"|||", "|W||A1|", "A2|"} << QStringList{"W", "A1", "A2"} << "" << 0;
        // Latin-1 on the wire: bytes above 127 and NULs are text like any other.
        QTest::newRow("every byte survives")
            << QByteArrayList{QByteArray("A\xe9t\xe9\x00x|", 7)}
            << QStringList{QString::fromLatin1("A\xe9t\xe9\0x", 6)} << "" << 0;
        // The rest of an overlong message is thrown away too; what follows its "|" is read again.
        QTest::newRow("overlong, up to the next separator")
            << QByteArrayList{"A1|" + chunk, chunk, chunk, chunk, chunk + "|A2|A", "3|"}
            << QStringList{"A1", "A2", "A3"} << "" << 1;
        QTest::newRow("the longest that fits")
            << QByteArrayList{longest.left(20000), longest.mid(20000) + "|", longest + "z|B|"}
            << QStringList{QString::fromLatin1(longest), "B"} << "" << 1;
        QTest::newRow("a new connection drops the old one's unfinished message")
            << QByteArrayList{"t1|t30", "", "5|t2|"} << QStringList{"t1", "5", "t2"} << "" << 0;
        QTest::newRow("and the rest of an overlong one")
            << QByteArrayList{chunk + chunk + chunk + chunk, "", "t3|"} << QStringList{"t3"} << "" << 1;
    }
    void arrivalsAreCutIntoMessages() {
        QFETCH(QByteArrayList, arrivals);
        QFETCH(QStringList, messages);
        QFETCH(QString, partial);
        QFETCH(int, discarded);
        MessageQueue queue;
        TcpFraming framing(queue);
        QStringList got;
        for (const QByteArray& data : arrivals) {
            if (data.isEmpty())
                framing.startStream();
            else
                framing.arrive(data);
            got += drain(queue);
            QVERIFY(framing.partialMessage().size() <= TcpFraming::kMaxMessage);
        }
        QCOMPARE(got, messages);
        QCOMPARE(framing.partialMessage(), partial);
        QCOMPARE(framing.discardedCount(), discarded);
        QCOMPARE(framing.takeFailures(), discarded);
    }

    // What the full ring cannot take is held back and comes in as it makes room, none lost; a new
    // connection meanwhile drops only the unfinished tail.
    void fullRingHoldsTheStreamBack_data() {
        QTest::addColumn<bool>("newConnection");
        QTest::newRow("one connection") << false;
        QTest::newRow("a new connection meanwhile") << true;
    }
    void fullRingHoldsTheStreamBack() {
        QFETCH(bool, newConnection);
        MessageQueue queue;
        TcpFraming framing(queue);
        QByteArray data;
        QStringList expected;
        for (int i = 0; i < 2500; ++i) {
            data += "t" + QByteArray::number(i) + '|';
            expected << QStringLiteral("t%1").arg(i);
        }
        int wakeups = 0;
        std::function<void()> onRoom = [&] {
            ++wakeups;
            if (framing.resume() == TcpFraming::Result::HeldBack)
                queue.notifyWhenRoom(onRoom);
        };
        QCOMPARE(framing.arrive(data + "t25"), TcpFraming::Result::HeldBack);
        QVERIFY(framing.holdsBackData());
        QCOMPARE(queue.pendingCount(), 1000);
        if (newConnection)
            framing.startStream();
        queue.notifyWhenRoom(onRoom);
        QStringList got = drain(queue);
        QVERIFY(wakeups >= 3);
        QVERIFY(!framing.holdsBackData());
        framing.arrive("4|");
        got += drain(queue);
        QCOMPARE(got, expected << (newConnection ? QStringLiteral("4") : QStringLiteral("t254")));
    }
};

QTEST_GUILESS_MAIN(TestFraming)
#include "test_framing.moc"
