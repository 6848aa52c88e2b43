#include "messages/AlarmHandler.h"

#include "alarms/AlarmList.h"
#include "alarms/PageFilter.h"
#include "alarms/Pager.h"
#include "app/Monitor.h"

namespace corvane {

void handleAlarm(Monitor& monitor, QStringView body) {
    if (!monitor.alarms)
        return;
    const QString line = monitor.alarms->alarmLine(body.toString());
    if (body.contains(u"Event", Qt::CaseSensitive) && monitor.ui.isChecked(MenuItem::AllowSounds))
        monitor.ui.requestRaise();
    if (!isPageMasked(monitor.config, line))
        alarmChime(monitor);
    monitor.alarms->addAlarmLine(line);
    if (monitor.pager && monitor.ui.isChecked(MenuItem::EnablePager))
        monitor.pager->pageNow(line);
}

void installAlarmHandler(Monitor& monitor) {
    monitor.dispatcher.setHandler('A', [&monitor](QStringView body) { handleAlarm(monitor, body); });
}

} // namespace corvane
