#include "alarms/PageFilter.h"

#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"
#include "platform/Dialogs.h"

namespace corvane {

namespace {

struct TypeRule {
    const char16_t* substring;
    int type;
};

// Tried in this order; the first substring found decides. Type 10 is never given, and "failures" is
// split by "Ch" below.
constexpr TypeRule kTypeRules[] = {
    {u"Alarm", 0},
    {u"Completion", 1},
    {u"page test", 2},
    {u"Event", 3},
    {u"CorvaneBox not responding", 4},
    {u"failures", 5},
    {u"short calls", 7},
    {u"low traffic", 8},
    {u"System unloaded", 9},
    {u"non routed", 11},
    {u"Replic", 12},
    {u"seized", 13},
    {u"UDP relay", 14},
};

bool contains(QStringView text, QStringView piece) {
    // An empty piece is found in every text that is not empty.
    if (piece.isEmpty())
        return !text.isEmpty();
    return text.contains(piece, Qt::CaseSensitive);
}

// True as soon as one ";"-separated piece of the list is found in the text. Pieces are not trimmed.
bool anyPieceFound(QStringView list, QStringView text) {
    qsizetype start = 0;
    while (true) {
        const qsizetype semi = list.indexOf(u';', start);
        const QStringView piece = list.mid(start, semi < 0 ? -1 : semi - start);
        if (contains(text, piece))
            return true;
        if (semi < 0)
            return false;
        start = semi + 1;
        // A trailing ";" leaves one more, empty, piece.
    }
}

void editMask(Dialogs& dialogs, QString& setting, const char* prompt) {
    setting = dialogs.input(QString::fromLatin1(prompt), QStringLiteral("Mask definition Entry"), setting);
}

} // namespace

std::optional<int> alarmTypeNumber(QStringView text) {
    for (const TypeRule& rule : kTypeRules) {
        if (!text.contains(QStringView(rule.substring), Qt::CaseSensitive))
            continue;
        if (rule.type == 5)
            return text.contains(u"Ch", Qt::CaseSensitive) ? 5 : 6;
        return rule.type;
    }
    return std::nullopt;
}

bool isPageMasked(const MonitorConfig& config, QStringView text) {
    const std::optional<int> type = alarmTypeNumber(text);
    const bool masked = !type || config.alarmNumberMask.contains(QStringLiteral("*%1").arg(*type));
    if (masked)
        return config.alarmStringAllow.isEmpty() || !anyPieceFound(config.alarmStringAllow, text);
    return !config.alarmStringMask.isEmpty() && anyPieceFound(config.alarmStringMask, text);
}

void installPageMaskMenus(MainWindowModel& ui, MonitorConfig& config, Dialogs& dialogs) {
    ui.setMenuAction(MenuItem::PageNumberMask, [&config, &dialogs] {
        editMask(dialogs, config.alarmNumberMask,
                 "Enter or edit the page numeric mask, a string formed by the type numbers of the alarms you "
                 "don't want to be paged for separated by '*'.");
    });
    ui.setMenuAction(MenuItem::PageStringMask, [&config, &dialogs] {
        editMask(
            dialogs, config.alarmStringMask,
            "Enter or edit a string of substrings separated by ';' that if found in an alarm message will "
            "not make it as a page even if its type number is not masked");
    });
    ui.setMenuAction(MenuItem::PageStrAllow, [&config, &dialogs] {
        editMask(
            dialogs, config.alarmStringAllow,
            "Enter or edit a string of substrings separated by ';' that if found in an alarm message will "
            "make it as a page even if its type number is masked");
    });
}

void setMaskMenusEnabled(MainWindowModel& ui, bool enabled) {
    for (MenuItem m : {MenuItem::PageNumberMask, MenuItem::PageStrAllow, MenuItem::PageStringMask})
        ui.setMenuEnabled(m, enabled);
}

} // namespace corvane
