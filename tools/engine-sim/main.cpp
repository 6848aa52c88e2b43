// corvane-engine-sim: a stand-in for the CorvaneBox engine, for demonstrations, tests and benchmarks.

#include "SimEngine.h"
#include "SimOptions.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

// Every line is flushed at once: tests read our output while we run.
void printLine(const QString& line) {
    const QByteArray bytes = line.toLatin1() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

// Control lines arrive on stdin; it is read without blocking the event loop.
class StdinLines : public QObject {
public:
    StdinLines(std::function<void(const QString&)> onLine, std::function<void()> onEnd)
        : m_notifier(STDIN_FILENO, QSocketNotifier::Read), m_onLine(std::move(onLine)),
          m_onEnd(std::move(onEnd)) {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] { readSome(); });
    }

private:
    void readSome() {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        if (n <= 0) {
            m_notifier.setEnabled(false);
            if (!m_partial.isEmpty())
                m_onLine(QString::fromLatin1(std::exchange(m_partial, {})));
            m_onEnd();
            return;
        }
        m_partial.append(buffer, n);
        qsizetype start = 0;
        for (qsizetype end = m_partial.indexOf('\n'); end >= 0; end = m_partial.indexOf('\n', start)) {
            const QByteArray line = m_partial.mid(start, end - start);
            start = end + 1;
            m_onLine(QString::fromLatin1(line));
        }
        m_partial.remove(0, start);
    }

    QSocketNotifier m_notifier;
    std::function<void(const QString&)> m_onLine;
    std::function<void()> m_onEnd;
    QByteArray m_partial;
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane-engine-sim"));

    corvane::sim::SimOptions options;
    QString message;
    int exitCode = 0;
    if (!corvane::sim::parseOptions(QCoreApplication::arguments(), options, message, exitCode)) {
        std::fputs(message.toLocal8Bit().constData(), exitCode == 0 ? stdout : stderr);
        std::fputs("\n", exitCode == 0 ? stdout : stderr);
        return exitCode;
    }

    corvane::sim::SimEngine engine(options, printLine);
    QString error;
    if (!engine.listen(error)) {
        std::fprintf(stderr, "corvane-engine-sim: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    printLine(QStringLiteral("listening udp=%1 tcp=%2").arg(engine.udpPort()).arg(engine.tcpPort()));

    QObject::connect(&engine, &corvane::sim::SimEngine::quitRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    StdinLines input([&](const QString& line) { engine.control(line); },
                     [&] {
                         if (options.exitOnStdinEof)
                             QCoreApplication::quit();
                     });
    return QCoreApplication::exec();
}
