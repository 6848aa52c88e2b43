#include "alarms/Pager.h"

#include "alarms/AlarmList.h"
#include "alarms/PageFilter.h"
#include "common/LegacyText.h"
#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"
#include "link/LinkSocket.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"

namespace corvane {

namespace {
constexpr int kRecipientPauseMs = 2200; // eleven looks of 200 ms
constexpr int kThrottleMinutes = 10;

// Only blanks are trimmed from an address, as the operator typed it.
QString trimBlanks(const QString& text) {
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text.at(from) == u' ')
        ++from;
    while (to > from && text.at(to - 1) == u' ')
        --to;
    return text.mid(from, to - from);
}
} // namespace

Pager::Pager(MainWindowModel& ui, MonitorConfig& config, Clock& clock, Dialogs& dialogs,
             std::unique_ptr<Mail> mail, LinkSocket& link, AlarmList& alarms)
    : m_ui(ui), m_config(config), m_clock(clock), m_dialogs(dialogs), m_link(link), m_alarms(alarms),
      m_mail(std::move(mail)), m_lastPageTime(clock.now()), m_pause(clock) {
    m_ui.setMenuAction(MenuItem::EnablePager, [this] { enablePagerClicked(); });
    m_ui.setMenuAction(MenuItem::PromptAddresses, [this] { promptAddresses(); });
    m_ui.setMenuAction(MenuItem::TestPage, [this] { testPage(); });
}

Pager::~Pager() = default;

qint64 Pager::minuteBoundaries(const QDateTime& from, const QDateTime& to) {
    const auto minuteOfDay = [](const QTime& t) { return qint64(t.hour()) * 60 + t.minute(); };
    return from.date().daysTo(to.date()) * 1440 + minuteOfDay(to.time()) - minuteOfDay(from.time());
}

void Pager::openThrottle() {
    m_lastPageTime = m_clock.now().addSecs(-11 * 60);
}

QString Pager::pendingPage() const {
    qsizetype size = 0;
    for (const QString& text : m_pendingTexts)
        size += text.size() + 2;
    QString page;
    page.reserve(size);
    for (auto text = m_pendingTexts.crbegin(); text != m_pendingTexts.crend(); ++text)
        page.append(*text).append(u"\r\n");
    return page;
}

bool Pager::throttleOpen() const {
    return minuteBoundaries(m_lastPageTime, m_clock.now()) > kThrottleMinutes;
}

void Pager::pageNow(const QString& text) {
    // A masked text never enters the page, but it may send what is waiting.
    if (!isPageMasked(m_config, text))
        m_pendingTexts.append(text);
    if (m_busy) {
        // Waiting requests are merged into one, so a stalled server or an open prompt costs one page
        // request however many alarms come meanwhile.
        m_requestWaiting = true;
        return;
    }
    startRequest();
}

void Pager::startRequest() {
    m_requestWaiting = false;
    // Nothing is due: no logon, so a password prompt comes up only when a page is about to go out (and,
    // once cancelled, not again before the next one).
    if (m_pendingTexts.isEmpty() || !throttleOpen())
        return;
    m_busy = true;
    mailLogon([this](bool) { queuePage(); }); // whatever the logon gave, the request goes on
}

void Pager::mailLogon(std::function<void(bool)> then) {
    if (m_mail->sessionOpen()) {
        m_dialogs.message(QStringLiteral("Session already established"));
        then(false);
        return;
    }
    m_mail->signOn([this, then = std::move(then)](const MailResult& result) {
        if (!result.ok()) {
            logMailError("E-mail Logon error ", result);
            if (result.number == Mail::kCancelledLogon)
                m_dialogs.message(QStringLiteral("Canceled Login"));
        }
        then(result.ok());
    });
}

void Pager::mailLogoff() {
    m_mail->signOff();
}

void Pager::queuePage() {
    if (m_pendingTexts.isEmpty() || !throttleOpen()) {
        finishRequest();
        return;
    }
    m_textsInMessage = m_pendingTexts.size();
    m_message = MailMessage{m_config.title, pendingPage(), {}};
    m_recipients = m_config.pagerRecipients.split(u';');
    m_nextRecipient = 0;
    sendNext();
}

void Pager::sendNext() {
    if (m_nextRecipient >= m_recipients.size()) {
        // Sent or failed, the page is done with; texts that came during the send wait for the next one.
        m_pendingTexts.remove(0, m_textsInMessage);
        m_lastPageTime = m_clock.now();
        finishRequest();
        return;
    }
    m_message.recipient = trimBlanks(m_recipients.at(m_nextRecipient++));
    m_mail->send(m_message, [this](const MailResult& result) {
        // A failed send is logged and the other recipients still get theirs.
        if (!result.ok())
            logMailError("E-mail send error ", result);
        m_pause.start(kRecipientPauseMs, [this] { sendNext(); });
    });
}

void Pager::finishRequest() {
    mailLogoff();
    m_busy = false;
    emit finished();
    // What came meanwhile is judged by the throttle as it stands now: right after a send it is closed.
    if (m_requestWaiting && !m_busy)
        startRequest();
}

void Pager::logMailError(const char* what, const MailResult& result) {
    // The date alone, without the time part of an alarm line.
    const QString date = alarmStamp(m_clock.now()).left(9);
    const QString line = date + QString::fromLatin1(what) +
                         numberText(static_cast<long long>(result.number)) + QStringLiteral(" occurred, ") +
                         result.description;
    m_alarms.appendAlarmLine(line);
}

void Pager::enablePagerClicked() {
    const bool on = !m_ui.isChecked(MenuItem::EnablePager);
    m_ui.setMenuChecked(MenuItem::EnablePager, on);
    if (on) {
        m_ui.setMenuEnabled(MenuItem::PromptAddresses, true);
        setMaskMenusEnabled(m_ui, true);
        promptAddresses();
    } else {
        m_ui.setMenuEnabled(MenuItem::PromptAddresses, false);
        if (!m_ui.isChecked(MenuItem::AllowSounds))
            setMaskMenusEnabled(m_ui, false);
    }
    openThrottle();
}

void Pager::promptAddresses() {
    m_config.pagerRecipients =
        m_dialogs.input(QStringLiteral("Enter or edit pagees email addresses separated by ';'"),
                        QStringLiteral("Page Recipients Entry"), m_config.pagerRecipients);
}

void Pager::testPage() {
    // The engine answers with an alarm, which then goes out at once through the alarm path.
    m_link.sendCommand(QStringLiteral("ppppp"));
    openThrottle();
}

} // namespace corvane
