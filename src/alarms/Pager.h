#pragma once
// The e-mail pager. Each page request queues the text and, once ten minute boundaries have passed since
// the last page, logs on, mails everything pending (newest first) to each recipient in turn, then logs
// off. A burst of alarms therefore makes one mail per recipient instead of many, and so does a stream of
// alarms arriving while a page is being sent or while the logon waits for the operator's password.

#include "platform/PollingWait.h"
#include "platform/Mail.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace corvane {

class AlarmList;
class Clock;
class Dialogs;
class LinkSocket;
class MainWindowModel;
struct MonitorConfig;

class Pager : public QObject {
    Q_OBJECT
public:
    Pager(MainWindowModel& ui, MonitorConfig& config, Clock& clock, Dialogs& dialogs,
          std::unique_ptr<Mail> mail, LinkSocket& link, AlarmList& alarms);
    ~Pager() override;

    // PageNow: queue the text and, when the throttle lets the page out, logon, send and logoff (a request
    // that sends nothing does not log on). A request made while another is still under way
    // (its logon prompt open, sending, or pausing between recipients) only joins the pending page; once
    // that one is over, the throttle as it then stands decides whether the page goes out.
    void pageNow(const QString& text);

    // The throttle's reference: pages go out only when more than ten minute boundaries lie between it
    // and now. Others force a page out by setting it 11 minutes back, or hold one back by setting it now.
    QDateTime lastPageTime() const { return m_lastPageTime; }
    void setLastPageTime(const QDateTime& when) { m_lastPageTime = when; }
    // Sets lastPageTime to 11 minutes before now, so that the next request sends.
    void openThrottle();

    // The texts not yet sent, newest first, each followed by CR LF.
    QString pendingPage() const;
    // True from a request's logon to its logoff, logon prompt and pauses between recipients included.
    bool isBusy() const { return m_busy; }

    // The steps of a page request, public for the menu and the tests. The logon may wait for the
    // operator's answer; `then` gets whether it logged on, perhaps before mailLogon returns.
    void mailLogon(std::function<void(bool)> then);
    void mailLogoff();

    Mail& mail() { return *m_mail; }
    void setMail(std::unique_ptr<Mail> mail) { m_mail = std::move(mail); }

    // Minute boundaries between two local times, counted on the wall clock.
    static qint64 minuteBoundaries(const QDateTime& from, const QDateTime& to);

signals:
    // A request that went to its logon has run to its logoff (whether or not the page got through).
    void finished();

private:
    void startRequest();
    bool throttleOpen() const;
    void queuePage();
    void sendNext();
    void finishRequest();
    void logMailError(const char* what, const MailResult& result);
    void enablePagerClicked();
    void promptAddresses();
    void testPage();

    MainWindowModel& m_ui;
    MonitorConfig& m_config;
    Clock& m_clock;
    Dialogs& m_dialogs;
    LinkSocket& m_link;
    AlarmList& m_alarms;
    std::unique_ptr<Mail> m_mail;
    // Oldest first, so that a long outage's repeated pages each cost one append rather than a copy of
    // everything pending before them.
    QStringList m_pendingTexts;
    QDateTime m_lastPageTime;
    bool m_busy = false;
    // A request came while another was under way.
    bool m_requestWaiting = false;
    // The send in progress, and how many of the oldest pending texts it carries.
    MailMessage m_message;
    qsizetype m_textsInMessage = 0;
    QStringList m_recipients;
    qsizetype m_nextRecipient = 0;
    Delay m_pause;
};

} // namespace corvane
