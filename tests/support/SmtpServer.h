#pragma once
// A real SMTP server on loopback (tests/smtp/store_handler.py on aiosmtpd) that stores what it receives.

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
    QString raw;  // as sent, headers included
    bool tls = false;
};

class SmtpServer {
public:
    struct Options {
        QString refused;  // an address whose RCPT TO gets 550
        QString starttls; // a PEM file with certificate and key, offered with STARTTLS
        QString smtps;    // the same for TLS from the start
    };
    explicit SmtpServer(const Options& options = {});
    ~SmtpServer();

    // True once the server accepts connections.
    bool waitReady();
    QString url() const;
    // Each logon: the login and password bytes in hex, and whether TLS was up.
    QList<QJsonObject> logons() const { return records(QStringLiteral("auth-*.json")); }
    // The mails received since the start or the last forget(), in the order they came.
    QList<Received> messages() const;
    void forget();

private:
    QList<QJsonObject> records(const QString& pattern) const;

    QTemporaryDir m_folder;
    QProcess m_process;
    quint16 m_port = 0;
    bool m_smtps = false;
};

} // namespace corvane::test
