#pragma once
// The mail layer over SMTP (libcurl). The server is an smtp:// or smtps:// URL; on smtp:// STARTTLS is
// used when the server offers it, and required when credentials are sent, so that they never go out
// before TLS. Certificates are verified, against the system's authorities or those of MAIL_CA_FILE.
// The user name and password from monitor.ini go to the server as the file's bytes. A user name without
// a password makes the logon ask for the password (without holding up the monitor), which is then kept
// in memory for the rest of the run (never written anywhere) until the server refuses it.
// Each send runs on a worker thread so the window stays live; its result comes back on the UI thread.

#include "platform/Mail.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <vector>

class QThread;

namespace corvane {

struct MonitorConfig;
class Dialogs;
class Clock;

class SmtpMail final : public QObject, public Mail {
    Q_OBJECT
public:
    SmtpMail(const MonitorConfig& config, Dialogs& dialogs, Clock& clock, QString computerName);
    ~SmtpMail() override;

    bool sessionOpen() const override { return m_sessionOpen; }
    void signOn(std::function<void(MailResult)> done) override;
    void signOff() override { m_sessionOpen = false; }
    void send(const MailMessage& message, std::function<void(MailResult)> done) override;

    // The whole message as it goes on the wire (headers and encoded body), for the given sender.
    static QByteArray composeMessage(const MailMessage& message, const QString& sender,
                                     const QDateTime& date);
    // Quoted-printable encoding of UTF-8 text with CR LF line ends kept as hard breaks.
    static QByteArray quotedPrintable(const QByteArray& utf8);
    // The sender address in use: the configured one, or one made from the machine's name.
    QString sender() const;

private:
    struct Job;
    void finishJob(Job* job);

    const MonitorConfig& m_config;
    Dialogs& m_dialogs;
    Clock& m_clock;
    const QString m_computerName;
    bool m_sessionOpen = false;
    QByteArray m_enteredPassword; // asked at logon, memory only, as UTF-8
    // Answers of a prompt still open when this layer is gone find nobody to go to.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::shared_ptr<std::atomic<bool>> m_abort;
    std::vector<std::unique_ptr<Job>> m_jobs;
};

} // namespace corvane
