#pragma once
// A real SMTP server on loopback for the pager tests: Debian's aiosmtpd running tests/smtp/store_handler.py,
// which stores every mail and logon it receives in a temporary folder for the test to read.

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace corvane::test {

struct Received {
    QString mailFrom;
    QStringList rcptTos;
    QString subject;
    QString body; // line ends as LF
    QString raw;
    bool tls = false;
};

class SmtpServer {
public:
    struct Options {
        QString refused;  // an address whose RCPT TO gets 550
        QString starttls; // certificate and key (one PEM file) for STARTTLS
        QString smtps;    // certificate and key for TLS from the start
    };
    explicit SmtpServer(const Options& options = {});
    ~SmtpServer();
    SmtpServer(const SmtpServer&) = delete;
    SmtpServer& operator=(const SmtpServer&) = delete;

    void stop();
    // True once the server accepts connections.
    bool waitReady();
    // smtp://127.0.0.1:PORT, or smtps:// for a server that speaks TLS from the start.
    QString url() const;
    // The stored records whose file names match pattern, in name order.
    QList<QJsonObject> records(const QString& pattern) const;
    // Each logon: the login and password bytes, and whether TLS was up.
    QList<QJsonObject> logons() const { return records(QStringLiteral("auth-*.json")); }
    // The mails received so far, in the order they came.
    QList<Received> messages() const;

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    quint16 m_port = 0;
    bool m_smtps = false;
};

} // namespace corvane::test
