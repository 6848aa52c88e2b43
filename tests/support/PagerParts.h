#pragma once
// The pager and its collaborators, mailing through a real SmtpMail, and the "A" handler that feeds it.

#include "alarms/AlarmHandler.h"
#include "alarms/AlarmList.h"
#include "alarms/Pager.h"
#include "alarms/Sounds.h"
#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"
#include "link/LinkSocket.h"
#include "platform/SmtpMail.h"
#include "support/ManualClock.h"
#include "support/ScriptedDialogs.h"

#include <utility>

namespace corvane::test {

struct PagerParts {
    explicit PagerParts(MonitorConfig c = {}) : config(std::move(c)) {}
    MonitorConfig config;
    ManualClock clock;
    ScriptedDialogs dialogs;
    RecordingTones tones;
    MainWindowModel ui;
    Sounds sounds{ui, tones};
    LinkSocket link;
    AlarmList alarms{ui, clock};
    std::unique_ptr<Mail> smtpMail() {
        return std::make_unique<SmtpMail>(config, dialogs, clock, QStringLiteral("TESTBOX"));
    }
    Pager pager{ui, config, clock, dialogs, smtpMail(), link, alarms};
    AlarmHandler handler{ui, config, alarms, sounds, pager};
};

} // namespace corvane::test
