#pragma once
// Which alarms deserve a page or a chime. An alarm text gets a type number from fixed substrings; the
// number mask (MAIL_MASK) masks types, the allow list (MAIL_STR_ALLOW) overrides it, and the deny list
// (MAIL_STR_MASK) masks texts the number mask let through.

#include <QStringView>
#include <optional>

namespace corvane {

struct MonitorConfig;
class Dialogs;
class MainWindowModel;

// The type number of an alarm text, nothing when none of the substrings is in it.
std::optional<int> alarmTypeNumber(QStringView text);

// IsPageMasked: true means neither page nor chime.
bool isPageMasked(const MonitorConfig& config, QStringView text);

// Installs the three mask menus (number mask, string mask, string allow) and their input dialogs.
void installPageMaskMenus(MainWindowModel& ui, MonitorConfig& config, Dialogs& dialogs);
// Enables or disables the three mask menus together.
void setMaskMenusEnabled(MainWindowModel& ui, bool enabled);

} // namespace corvane
