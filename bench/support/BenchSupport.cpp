#include "support/BenchSupport.h"

#include "app/Monitor.h"
#include "app/Startup.h"
#include "board/BoardModel.h"
#include "link/MessageQueue.h"
#include "messages/MessageIntake.h"
#include "operator/MainWindow.h"
#include "watchdogs/RelayWatchdog.h"

#include <QFile>
#include <QMap>
#include <QTest>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>

namespace corvane::bench {

void figure(const QString& name, const QString& result, const QString& target, std::optional<bool> met) {
    const char* verdict = !met ? "" : (*met ? "met" : "MISSED");
    std::printf("@figure|%s|%s|%s|%s\n", qPrintable(name), qPrintable(result), qPrintable(target), verdict);
    std::fflush(stdout);
}

void note(const QString& text) {
    std::printf("  %s\n", qPrintable(text));
    std::fflush(stdout);
}

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

QString grouped(double value) {
    QString digits = QString::number(static_cast<qint64>(value + 0.5));
    for (qsizetype i = digits.size() - 3; i > 0 && digits[i - 1].isDigit(); i -= 3)
        digits.insert(i, u',');
    return digits;
}

Program::Program(const QStringList& iniLines, const QString& computerName) {
    m_folderPath = m_folder.path();
    QFile ini(m_folderPath + QStringLiteral("/monitor.ini"));
    if (!ini.open(QIODevice::WriteOnly))
        return;
    ini.write(iniLines.join(QStringLiteral("\r\n")).toLatin1() + "\r\n");
    ini.close();
    m_startup = std::make_unique<Startup>(m_services.platform, m_folderPath, computerName);
    m_startup->quit = [](int) {};
    // The entry procedure runs on the event loop until the main window is up.
    auto ended = std::make_shared<bool>(false);
    m_startup->start({}, [this, ended](bool running) {
        m_started = running;
        *ended = true;
    });
    if (!QTest::qWaitFor([ended] { return *ended; }, 60000))
        m_started = false;
}

Program::~Program() = default;

Monitor& Program::monitor() const {
    return *m_startup->monitor();
}

MonitorMain& Program::window() const {
    return *m_startup->window();
}

std::vector<int> boardIds() {
    std::vector<int> ids;
    ids.reserve(static_cast<std::size_t>(kSpans * kPerSpan));
    for (int s = 1; s <= kSpans; ++s)
        for (int p = 1; p <= kPerSpan; ++p)
            ids.push_back(s * 100 + p);
    return ids;
}

namespace {

bool isR(int id) {
    return span(id) % 2 == 1;
}

int groupOf(int id) {
    return ((span(id) - 1) + (position(id) - 1) / 12) % kGroups + 1;
}

// The channel that takes id's calls: the same position on the neighbouring span, 0 for none.
int partnerOf(int id) {
    const int s = span(id);
    const int other = isR(id) ? s + 1 : s - 1;
    return other >= 1 && other <= kSpans ? other * 100 + position(id) : 0;
}

QString report(int id, int state, int peer) {
    return QStringLiteral("t%1,%2,%3,%4").arg(id).arg(groupOf(id)).arg(isR(id) ? state + 8 : state).arg(peer);
}

QString number(int id) {
    return QStringLiteral("555%1").arg(id, 4, 10, QLatin1Char('0'));
}

const char* const kNamesR[] = {"Inbound PSTN", "Toll free", "Trunks to HQ, east", "Inbound IVR",
                               "Call centre"};
const char* const kNamesO[] = {"Outbound PSTN", "Agents", "Voice mail", "Trunks to HQ, west", "Conference"};

} // namespace

QStringList boardDescription() {
    QStringList out;
    out << QStringLiteral("SBENCH-SWITCH,%1,%1").arg(kGroups);
    for (int g = 1; g <= kGroups; ++g)
        out << QStringLiteral("D%1,1,%2 %1").arg(g).arg(QLatin1String(kNamesR[g % 5]));
    for (int g = 1; g <= kGroups; ++g)
        out << QStringLiteral("D%1,0,%2 %1").arg(g).arg(QLatin1String(kNamesO[g % 5]));
    std::mt19937 rng(11);
    QStringList calls;
    std::vector<bool> inCall(32768, false);
    for (int id : boardIds()) {
        if (isR(id)) {
            const int peer = partnerOf(id);
            if (peer != 0 && rng() % 3 == 0) {
                inCall[static_cast<std::size_t>(id)] = inCall[static_cast<std::size_t>(peer)] = true;
                calls << QStringLiteral("C%1 CONNECTED %2 -> %3").arg(id).arg(number(id), number(peer));
            }
        }
    }
    for (int id : boardIds()) {
        if (inCall[static_cast<std::size_t>(id)])
            out << report(id, 1, partnerOf(id));
        else
            out << report(id, rng() % 40 == 0 ? 4 : 2, 0);
    }
    out << calls;
    return out;
}

QStringList trafficMix(int count, unsigned seed) {
    const std::vector<int> ids = boardIds();
    std::mt19937 rng(seed);
    auto anyId = [&] { return ids[rng() % ids.size()]; };
    QStringList out;
    out.reserve(count);
    int seconds = 0;
    for (int i = 0; i < count; ++i) {
        const unsigned pick = rng() % 1000;
        const int id = anyId();
        if (pick < 559) {
            // State reports: calls coming and going, now and then an excluded, blocked or stopped channel.
            const unsigned what = rng() % 100;
            const int peer = partnerOf(id);
            if (what < 35 && peer)
                out << report(id, 1, peer);
            else if (what < 50 && peer)
                out << report(id, 3, peer);
            else if (what < 90)
                out << report(id, 2, 0);
            else
                out << report(id, static_cast<int>(what % 4) == 0 ? 0 : 4 + static_cast<int>(what % 3), 0);
        } else if (pick < 719) {
            const int peer = partnerOf(id);
            switch (rng() % 4) {
            case 0:
                out << QStringLiteral("c%1 ALERTING from %2 to %3").arg(id).arg(number(id), number(peer));
                break;
            case 1:
                out << QStringLiteral("c%1 IDLE").arg(id);
                break;
            case 2:
                out << QStringLiteral("c%1 Blocked by far end").arg(id);
                break;
            default:
                out << QStringLiteral("c%1 Unblocked").arg(id);
                break;
            }
        } else if (pick < 809) {
            out << QStringLiteral("C%1 CONNECTED %2 -> %3").arg(id).arg(number(id), number(partnerOf(id)));
        } else if (pick < 869) {
            out << QStringLiteral("W");
        } else if (pick < 929) {
            ++seconds;
            out << QStringLiteral("T%1:%2:%3 PM")
                       .arg(seconds / 3600 % 12 + 1, 2, 10, QLatin1Char('0'))
                       .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                       .arg(seconds % 60, 2, 10, QLatin1Char('0'));
        } else if (pick < 969) {
            static const char* const acks[] = {"+W", "+W", "+W", "+X", "+x", "+T", "+t", "+I"};
            out << QLatin1String(acks[rng() % 8]);
        } else if (pick < 999) {
            switch (rng() % 4) {
            case 0:
                out << QStringLiteral("ASpan %1 red alarm").arg(span(id));
                break;
            case 1:
                out << QStringLiteral("ASpan %1 alarm cleared").arg(span(id));
                break;
            case 2:
                out << QStringLiteral("ATrunk %1 down").arg(id);
                break;
            default:
                out << QStringLiteral("AEvent: trunk %1 restored").arg(id);
                break;
            }
        } else {
            const int g = static_cast<int>(rng() % kGroups) + 1;
            out << QStringLiteral("D%1,%2,%3 %1").arg(g).arg(rng() % 2).arg(QLatin1String(kNamesR[g % 5]));
        }
    }
    return out;
}

QStringList stateFlips(int count, unsigned seed) {
    const std::vector<int> ids = boardIds();
    std::vector<bool> busy(ids.size(), false);
    std::mt19937 rng(seed);
    QStringList out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        const std::size_t k = rng() % ids.size();
        busy[k] = !busy[k];
        out << report(ids[k], busy[k] ? 2 : 1, 0);
    }
    return out;
}

QString mixDescription(const QStringList& messages) {
    QMap<QChar, qint64> counts;
    for (const QString& m : messages)
        if (!m.isEmpty())
            ++counts[m.front()];
    QStringList parts;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        parts << QStringLiteral("%1 %2 %").arg(it.key()).arg(
            100.0 * static_cast<double>(it.value()) / static_cast<double>(messages.size()), 0, 'f', 1);
    return parts.join(QStringLiteral(", "));
}

qint64 feedThroughQueue(Monitor& monitor, const QStringList& messages) {
    MessageQueue& queue = monitor.queue();
    const qint64 before = monitor.intake().processedCount();
    qsizetype next = 0;
    const qsizetype n = messages.size();
    while (next < n || !queue.isEmpty()) {
        // The link stores text it has just decoded from the wire, so each message is a fresh string.
        while (next < n && !queue.isFull()) {
            const QString& m = messages[next++];
            queue.store(QString(m.constData(), m.size()));
        }
        monitor.intake().tick();
    }
    return monitor.intake().processedCount() - before;
}

void completeBoard(Monitor& monitor) {
    for (int i = 0; i < 3 && !monitor.relay().boardReady(); ++i)
        monitor.relay().tick();
}

} // namespace corvane::bench
