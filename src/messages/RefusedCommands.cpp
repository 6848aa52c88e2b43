#include "messages/RefusedCommands.h"

#include "platform/Clock.h"

#include <cstring>

namespace corvane {

RefusedCommands::RefusedCommands(Clock& clock) : m_clock(clock) {
    for (std::size_t i = 0; i < m_gatherings.size(); ++i) {
        Gathering& g = m_gatherings[i];
        g.quiet = m_clock.createTimer();
        g.quiet->setSingleShot(true);
        g.quiet->setInterval(kQuietMs);
        g.quiet->setCallback([this, i] { write(i); });
    }
}

RefusedCommands::~RefusedCommands() = default;

QString RefusedCommands::lineText(QChar letter, int count) {
    QString text = QStringLiteral("Engine refused ") + letter;
    if (count > 1)
        text += QStringLiteral(" (%1 channels)").arg(count);
    return text;
}

void RefusedCommands::refused(QChar letter) {
    const char* found = letter.unicode() < 128 && letter.unicode() != 0
                            ? std::strchr(kLetters, static_cast<char>(letter.unicode()))
                            : nullptr;
    if (!found)
        return;
    const auto index = static_cast<std::size_t>(found - kLetters);
    Gathering& g = m_gatherings[index];
    const qint64 now = m_clock.tickMs();
    if (g.count > 0 && now - g.startMs >= kLongestGatherMs)
        write(index);
    if (g.count == 0)
        g.startMs = now;
    ++g.count;
    // Enabling again starts the quiet second afresh.
    g.quiet->setEnabled(true);
}

void RefusedCommands::write(std::size_t index) {
    Gathering& g = m_gatherings[index];
    g.quiet->setEnabled(false);
    if (g.count == 0)
        return;
    const QString text = lineText(QChar::fromLatin1(kLetters[index]), g.count);
    g.count = 0;
    emit alarmRaised(text);
}

} // namespace corvane
