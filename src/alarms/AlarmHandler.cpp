#include "alarms/AlarmHandler.h"

#include "alarms/AlarmList.h"
#include "alarms/PageFilter.h"
#include "alarms/Pager.h"
#include "common/MainWindowModel.h"
#include "messages/Dispatcher.h"

namespace corvane {

void AlarmHandler::handle(QStringView body) const {
    const QString line = m_alarms.alarmLine(body.toString());
    if (body.contains(u"Event", Qt::CaseSensitive) && m_ui.isChecked(MenuItem::AllowSounds))
        m_ui.requestRaise();
    if (!isPageMasked(m_config, line))
        alarmChime(m_sounds);
    m_alarms.addAlarmLine(line);
    if (m_ui.isChecked(MenuItem::EnablePager))
        m_pager.pageNow(line);
}

void AlarmHandler::install(Dispatcher& dispatcher) const {
    // The handler holds only references, so the dispatcher keeps a copy of it.
    dispatcher.setHandler('A', [handler = *this](QStringView body) { handler.handle(body); });
}

} // namespace corvane
