// The tone generator and queue behind the audio output.

#include "platform/AudioToneOutput.h"

#include <QRandomGenerator>
#include <QTest>

using namespace corvane;

namespace {

constexpr int kRate = 44100;

QList<qint16> samplesOf(const QByteArray& bytes) {
    QList<qint16> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.constData(), size_t(s.size()) * 2);
    return s;
}

// Frequency from sign changes over a stretch of samples.
double measuredFrequency(const QList<qint16>& s, qsizetype from, qsizetype count) {
    int crossings = 0;
    for (qsizetype i = from + 1; i < from + count; ++i)
        if ((s[i - 1] < 0) != (s[i] < 0))
            ++crossings;
    return crossings / 2.0 / (double(count) / kRate);
}

int peak(const QList<qint16>& s, qsizetype from, qsizetype count) {
    int p = 0;
    for (qsizetype i = from; i < from + count; ++i)
        p = std::max(p, std::abs(int(s[i])));
    return p;
}

} // namespace

class TestTones : public QObject {
    Q_OBJECT

private slots:
    void tuneKeepsOrderFrequenciesAndDurations() {
        // The alarm chime, then the watchdog siren's steps and a rest.
        const QList<QPair<int, int>> tune{{880, 100}, {660, 100}, {880, 100}, {660, 100}, {880, 100},
                                          {660, 100}, {909, 400}, {0, 50},    {918, 200}, {2500, 400}};
        ToneQueue queue(kRate);
        for (const auto& [hz, ms] : tune)
            queue.append(hz, ms);
        // Drained in uneven pieces, as the audio device asks for them (odd sizes included).
        QByteArray all;
        QRandomGenerator random(7);
        while (!queue.isEmpty())
            all += queue.take(random.bounded(1, 9000));
        const QList<qint16> s = samplesOf(all);
        // The same tones, in order, each at its frequency and for its duration, without clicks.
        qsizetype at = 0;
        for (const auto& [hz, ms] : tune) {
            const qsizetype n = qsizetype(kRate) * ms / 1000;
            const qsizetype margin = n / 10;
            QVERIFY(at + n <= s.size());
            const double f = measuredFrequency(s, at + margin, n - 2 * margin);
            if (hz == 0) {
                QCOMPARE(peak(s, at, n), 0);
            } else {
                QVERIFY2(std::abs(f - hz) < hz * 0.02 + 10,
                         qPrintable(QStringLiteral("%1 Hz measured as %2").arg(hz).arg(f)));
                QVERIFY(peak(s, at + margin, n - 2 * margin) > 32767 * ToneRenderer::kAmplitude * 0.9);
                // Faded in and out: no step at either end.
                QVERIFY(std::abs(int(s[at])) < 200);
                QVERIFY(std::abs(int(s[at + n - 1])) < 200);
            }
            at += n;
        }
        QCOMPARE(s.size(), at);
    }

    void queueIsBounded() {
        ToneQueue queue(kRate);
        QVERIFY(queue.append(880, 20000));
        QVERIFY(queue.append(660, 10000));
        QVERIFY(!queue.append(440, 1)); // full
        QCOMPARE(queue.size(), qsizetype(kRate) * 30 * 2);
        queue.take(qsizetype(kRate) * 2); // a second played
        QVERIFY(queue.append(440, 1000));
        QVERIFY(!queue.append(440, 1));
    }
};

QTEST_GUILESS_MAIN(TestTones)
#include "test_tones.moc"
