#include "support/SmtpServer.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace corvane::test {

SmtpServer::SmtpServer(const Options& options) : m_smtps(!options.smtps.isEmpty()) {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    m_port = probe.serverPort();
    probe.close();
    QStringList args{QStringLiteral(CORVANE_SOURCE_DIR "/tests/smtp/store_handler.py"), m_folder.path(),
                     QStringLiteral("127.0.0.1:%1").arg(m_port)};
    // The script takes an empty argument as "none".
    args << "--refuse" << options.refused << "--starttls" << options.starttls << "--smtps" << options.smtps;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(CORVANE_SYSTEM_PYTHON), args);
}

SmtpServer::~SmtpServer() {
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool SmtpServer::waitReady() {
    const auto listening = [this] {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, m_port);
        return s.waitForConnected(200);
    };
    return m_process.waitForStarted(10000) &&
           QTest::qWaitFor([&] { return m_process.state() != QProcess::Running || listening(); }, 15000) &&
           m_process.state() == QProcess::Running;
}

QString SmtpServer::url() const {
    return QStringLiteral("%1://127.0.0.1:%2").arg(m_smtps ? "smtps" : "smtp").arg(m_port);
}

QList<QJsonObject> SmtpServer::records(const QString& pattern) const {
    QList<QJsonObject> out;
    const QDir dir(m_folder.path());
    for (const QString& name : dir.entryList({pattern}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            out << QJsonDocument::fromJson(f.readAll()).object();
    }
    return out;
}

void SmtpServer::forget() {
    QDir dir(m_folder.path());
    for (const QString& name : dir.entryList(QDir::Files))
        dir.remove(name);
}

QList<Received> SmtpServer::messages() const {
    QList<Received> out;
    for (const QJsonObject& o : records(QStringLiteral("[0-9]*.json"))) {
        Received r;
        r.mailFrom = o.value(QStringLiteral("mail_from")).toString();
        for (const auto& v : o.value(QStringLiteral("rcpt_tos")).toArray())
            r.rcptTos << v.toString();
        r.subject = o.value(QStringLiteral("subject")).toString();
        r.body =
            o.value(QStringLiteral("body")).toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        r.raw = o.value(QStringLiteral("raw")).toString();
        r.tls = o.value(QStringLiteral("tls")).toBool();
        out << r;
    }
    return out;
}

} // namespace corvane::test
