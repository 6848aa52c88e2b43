// Start-up to the window shown: the real corvane-monitor program, started with a monitor.ini in its
// folder that points it at the simulated engine over TCP, on the X display named by $DISPLAY (the
// bench script starts a private Xvfb). The time runs from just before the process is spawned until the
// X server maps the top-level window that carries the configured title; the map is seen as an X event
// (SubstructureNotify on the root window), so there is no polling delay in the figure.
// Run: DISPLAY=:NN build-bench/bench/bench_startup [runs]

#include "support/BenchSupport.h"
#include "support/EngineSimProcess.h"
#include "support/XDisplay.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

using namespace corvane;
using namespace corvane::bench;

namespace {

constexpr double kTargetMs = 300;
const char* const kTitle = "CorvaneStartupBench";

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Puts monitor.ini beside the program for the benchmark and restores whatever was there before.
class IniBeside {
public:
    IniBeside(const QString& program, const QByteArray& content)
        : m_path(QFileInfo(program).absolutePath() + QStringLiteral("/monitor.ini")) {
        QFile old(m_path);
        if (old.open(QIODevice::ReadOnly)) {
            m_saved = old.readAll();
            m_hadOne = true;
        }
        QFile f(m_path);
        m_ok = f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
    }
    ~IniBeside() {
        if (m_hadOne) {
            QFile f(m_path);
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                f.write(m_saved);
        } else {
            QFile::remove(m_path);
        }
    }
    IniBeside(const IniBeside&) = delete;
    IniBeside& operator=(const IniBeside&) = delete;
    bool ok() const { return m_ok; }

private:
    QString m_path;
    QByteArray m_saved;
    bool m_hadOne = false;
    bool m_ok = false;
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 7;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        note(QStringLiteral("start-up: no DISPLAY, nothing measured"));
        return 1;
    }
    test::EngineSimProcess sim;
    if (!sim.start()) {
        note(QStringLiteral("start-up: the simulated engine did not start"));
        return 1;
    }
    const QString program = QStringLiteral(CORVANE_MONITOR);
    IniBeside ini(program, QStringLiteral("TCP, 1\r\nENG_LOC_PORT, %1\r\nENG_LOC_IP, \"127.0.0.1\"\r\n"
                                          "TITLE, \"%2\"\r\nGROUP_COLOR, 3\r\nWD_PROGRESS, 1\r\n")
                               .arg(sim.tcpPort())
                               .arg(QLatin1String(kTitle))
                               .toLatin1());
    XDisplay display;
    if (!ini.ok() || !display.ok()) {
        note(QStringLiteral("start-up: cannot write monitor.ini beside the program or reach the X display"));
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    const QByteArray path = program.toLocal8Bit();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        char* args[] = {const_cast<char*>(path.constData()), nullptr};
        pid_t pid = 0;
        const double start = nowMs();
        if (posix_spawn(&pid, path.constData(), nullptr, nullptr, args, environ) != 0) {
            note(QStringLiteral("start-up: cannot start %1").arg(program));
            return 1;
        }
        const auto shown = display.waitFor(
            [&](const WindowChange& c) { return c.mapped && display.titleOf(c.window) == kTitle; }, 10000);
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        if (!shown) {
            note(QStringLiteral("start-up: run %1 showed no window titled %2 within 10 s")
                     .arg(i + 1)
                     .arg(QLatin1String(kTitle)));
            continue;
        }
        times.push_back(shown->atMs - start);
    }
    if (times.empty())
        return 1;
    const double med = median(times);
    figure(QStringLiteral("Start-up to the main window shown (corvane-monitor, Xvfb, median of %1)")
               .arg(times.size()),
           QStringLiteral("%1 ms").arg(med, 0, 'f', 0), QStringLiteral("<= 300 ms"), med <= kTargetMs);
    note(QStringLiteral("start-up: fastest %1 ms, slowest %2 ms")
             .arg(*std::min_element(times.begin(), times.end()), 0, 'f', 0)
             .arg(*std::max_element(times.begin(), times.end()), 0, 'f', 0));
    return 0;
}
