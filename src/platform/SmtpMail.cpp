#include "platform/SmtpMail.h"

#include "common/MonitorConfig.h"
#include "common/LegacyText.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"

#include <QLocale>
#include <QThread>
#include <QTimeZone>
#include <curl/curl.h>

namespace corvane {

namespace {

constexpr long kConnectTimeoutS = 20;
constexpr long kTransferTimeoutS = 60;

void initCurlOnce() {
    // Before any worker thread exists: curl's global set-up is not thread-safe.
    static const bool initialised = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)initialised;
}

// Header values come from settings and dialogs; a line break in them would start a header of its own.
QString oneLine(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c == u'\r' || c == u'\n')
            c = u' ';
    return out;
}

bool isAsciiPrintable(const QString& text) {
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    return true;
}

QByteArray headerText(const QString& text) {
    const QString flat = oneLine(text);
    if (isAsciiPrintable(flat))
        return flat.toLatin1();
    return "=?UTF-8?B?" + flat.toUtf8().toBase64() + "?=";
}

// An address that can go into "<...>" on the SMTP command line as it is.
bool isSafeAddress(const QString& address) {
    if (address.isEmpty())
        return false;
    for (QChar c : address) {
        const char16_t u = c.unicode();
        if (u <= 0x20 || u >= 0x7F || u == u'<' || u == u'>')
            return false;
    }
    return true;
}

QByteArray rfc2822Date(const QDateTime& when) {
    const QLocale c = QLocale::c();
    const int offsetS = when.offsetFromUtc();
    const int offsetMin = std::abs(offsetS) / 60;
    const QString zone = QStringLiteral("%1%2%3")
                             .arg(QChar(offsetS < 0 ? u'-' : u'+'))
                             .arg(offsetMin / 60, 2, 10, QChar(u'0'))
                             .arg(offsetMin % 60, 2, 10, QChar(u'0'));
    return (c.toString(when, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss ")) + zone).toLatin1();
}

} // namespace

struct SmtpMail::Job {
    // Filled on the UI thread before the worker starts; the worker only reads them.
    QByteArray url;
    QByteArray from;
    QByteArray recipient;
    QByteArray user;
    QByteArray password;
    QByteArray caFile;
    QByteArray payload;
    qsizetype sent = 0;
    std::shared_ptr<std::atomic<bool>> abort;
    // Written by the worker, read on the UI thread after it has finished.
    MailResult result;
    std::function<void(MailResult)> done;
    std::unique_ptr<QThread> thread;

    void run();
    ~Job() {
        // Keep the secret out of freed memory.
        password.fill('\0');
    }
};

void SmtpMail::Job::run() {
    CURL* curl = curl_easy_init();
    if (!curl) {
        result = {CURLE_FAILED_INIT, QString::fromLatin1(curl_easy_strerror(CURLE_FAILED_INIT))};
        return;
    }
    char errorText[CURL_ERROR_SIZE] = {};
    curl_slist* recipients = curl_slist_append(nullptr, ("<" + recipient + ">").constData());
    const QByteArray mailFrom = "<" + from + ">";

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutS);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTransferTimeoutS);
    // Credentials never go out in clear text; without them, TLS is taken when offered.
    curl_easy_setopt(curl, CURLOPT_USE_SSL,
                     static_cast<long>(user.isEmpty() ? CURLUSESSL_TRY : CURLUSESSL_ALL));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.constData());
    if (!user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, mailFrom.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READDATA, this);
    curl_easy_setopt(
        curl, CURLOPT_READFUNCTION, +[](char* buffer, size_t size, size_t count, void* self) -> size_t {
            Job& job = *static_cast<Job*>(self);
            const qsizetype room = static_cast<qsizetype>(size * count);
            const qsizetype n = std::min(room, job.payload.size() - job.sent);
            std::memcpy(buffer, job.payload.constData() + job.sent, static_cast<size_t>(n));
            job.sent += n;
            return static_cast<size_t>(n);
        });
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, abort.get());
    curl_easy_setopt(
        curl, CURLOPT_XFERINFOFUNCTION,
        +[](void* flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
            return static_cast<std::atomic<bool>*>(flag)->load() ? 1 : 0;
        });

    const CURLcode code = curl_easy_perform(curl);
    if (code != CURLE_OK) {
        QString description = QString::fromLatin1(curl_easy_strerror(code));
        if (errorText[0] != '\0' && QString::fromLatin1(errorText) != description)
            description += QStringLiteral(": ") + QString::fromLatin1(errorText).trimmed();
        result = {static_cast<int>(code), description};
    }
    curl_slist_free_all(recipients);
    curl_easy_cleanup(curl);
}

SmtpMail::SmtpMail(const MonitorConfig& config, Dialogs& dialogs, Clock& clock, QString computerName)
    : m_config(config), m_dialogs(dialogs), m_clock(clock), m_computerName(std::move(computerName)),
      m_abort(std::make_shared<std::atomic<bool>>(false)) {}

SmtpMail::~SmtpMail() {
    // Cut short whatever is still running; the results have nobody left to go to.
    m_abort->store(true);
    for (const auto& job : m_jobs)
        if (job->thread)
            job->thread->wait();
    m_enteredPassword.fill('\0');
}

void SmtpMail::signOn(std::function<void(MailResult)> done) {
    if (m_config.mailUser.isEmpty() || !m_config.mailPassword.isEmpty() || !m_enteredPassword.isEmpty()) {
        m_sessionOpen = true;
        done({});
        return;
    }
    const std::weak_ptr<bool> alive = m_alive;
    m_dialogs.askSecret(QStringLiteral("Enter the e-mail password of %1").arg(m_config.mailUser),
                        QStringLiteral("E-mail Logon"),
                        [this, alive, done = std::move(done)](const QString& password) {
                            if (alive.expired())
                                return;
                            if (password.isEmpty()) {
                                done({kCancelledLogon, QStringLiteral("The logon was cancelled")});
                                return;
                            }
                            // Typed, so real text: it goes to the server as UTF-8.
                            m_enteredPassword = password.toUtf8();
                            m_sessionOpen = true;
                            done({});
                        });
}

QString SmtpMail::sender() const {
    if (!m_config.mailSender.isEmpty())
        return m_config.mailSender;
    return QStringLiteral("corvane-monitor@") +
           (m_computerName.isEmpty() ? QStringLiteral("localhost") : m_computerName);
}

void SmtpMail::send(const MailMessage& message, std::function<void(MailResult)> done) {
    auto job = std::make_unique<Job>();
    job->done = std::move(done);
    const auto refuse = [&](int number, const QString& description) {
        job->result = {number, description};
        Job* raw = job.get();
        m_jobs.push_back(std::move(job));
        // Never from within send(): the caller may not be ready for its own callback yet.
        QMetaObject::invokeMethod(
            this, [this, raw] { finishJob(raw); }, Qt::QueuedConnection);
    };
    if (!m_sessionOpen)
        return refuse(kNoSession, QStringLiteral("No mail session is open"));
    if (message.recipient.isEmpty())
        return refuse(kBadAddress, QStringLiteral("No recipient address"));
    if (!isSafeAddress(message.recipient))
        return refuse(kBadAddress,
                      QStringLiteral("Invalid recipient address: ") + oneLine(message.recipient));
    const QString from = sender();
    if (!isSafeAddress(from))
        return refuse(kBadAddress, QStringLiteral("Invalid sender address: ") + oneLine(from));
    if (m_config.mailServer.isEmpty())
        return refuse(CURLE_URL_MALFORMAT, QStringLiteral("No mail server is set (MAIL_SERVER)"));

    initCurlOnce();
    job->url = m_config.mailServer.trimmed().toUtf8();
    job->from = from.toLatin1();
    job->recipient = message.recipient.toLatin1();
    // Settings from monitor.ini hold the file's bytes, one character each.
    job->user = toWire(m_config.mailUser);
    job->password = m_config.mailPassword.isEmpty() ? m_enteredPassword : toWire(m_config.mailPassword);
    job->caFile = toWire(m_config.mailCaFile);
    job->payload = composeMessage(message, from, m_clock.now());
    job->abort = m_abort;
    Job* raw = job.get();
    job->thread.reset(QThread::create([raw] { raw->run(); }));
    connect(
        job->thread.get(), &QThread::finished, this, [this, raw] { finishJob(raw); }, Qt::QueuedConnection);
    m_jobs.push_back(std::move(job));
    raw->thread->start();
}

void SmtpMail::finishJob(Job* job) {
    const auto it =
        std::find_if(m_jobs.begin(), m_jobs.end(), [job](const auto& j) { return j.get() == job; });
    if (it == m_jobs.end())
        return;
    std::unique_ptr<Job> owned = std::move(*it);
    m_jobs.erase(it);
    if (owned->thread)
        owned->thread->wait();
    const MailResult result = owned->result;
    // A refused logon: ask again next time rather than repeat a wrong password all run long.
    if (result.number == CURLE_LOGIN_DENIED)
        m_enteredPassword.clear();
    auto done = std::move(owned->done);
    owned.reset();
    if (done)
        done(result);
}

QByteArray SmtpMail::quotedPrintable(const QByteArray& utf8) {
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    int column = 0;
    const auto put = [&](const QByteArray& piece) {
        // Soft line break before a line grows past 76 characters.
        if (column + piece.size() > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += static_cast<int>(piece.size());
    };
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8.at(i));
        if (c == '\r' && i + 1 < utf8.size() && utf8.at(i + 1) == '\n') {
            out += "\r\n";
            column = 0;
            ++i;
            continue;
        }
        const bool atLineEnd = i + 1 == utf8.size() || utf8.at(i + 1) == '\r';
        const bool plain = (c >= 33 && c <= 126 && c != '=' && !(c == '.' && column == 0)) ||
                           ((c == ' ' || c == '\t') && !atLineEnd);
        if (plain)
            put(QByteArray(1, static_cast<char>(c)));
        else {
            const char escaped[] = {'=', hex[c >> 4], hex[c & 15]};
            put(QByteArray(escaped, 3));
        }
    }
    return out;
}

QByteArray SmtpMail::composeMessage(const MailMessage& message, const QString& sender,
                                    const QDateTime& date) {
    QByteArray m;
    m += "Date: " + rfc2822Date(date) + "\r\n";
    m += "From: <" + oneLine(sender).toLatin1() + ">\r\n";
    m += "To: <" + oneLine(message.recipient).toLatin1() + ">\r\n";
    m += "Subject: " + headerText(message.subject) + "\r\n";
    m += "MIME-Version: 1.0\r\n";
    m += "Content-Type: text/plain; charset=UTF-8\r\n";
    m += "Content-Transfer-Encoding: quoted-printable\r\n";
    m += "\r\n";
    m += quotedPrintable(message.body.toUtf8());
    // The data must end with a line end before the terminating dot; the pending page always has one.
    if (!m.endsWith("\r\n"))
        m += "\r\n";
    return m;
}

} // namespace corvane
