// The e-mail pager end to end, from the "A" handler or the heartbeat watchdog to a real SMTP server.

#include "app/IniFile.h"
#include "common/LegacyText.h"
#include "messages/MessageIntake.h"
#include "support/PagerParts.h"
#include "support/RecordingLink.h"
#include "support/SmtpServer.h"
#include "support/TestMonitor.h"
#include "watchdogs/HeartbeatWatchdog.h"
#include "watchdogs/RelayWatchdog.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

QStringList recipientsOf(const QList<Received>& mails) {
    QStringList r;
    for (const Received& m : mails)
        r << m.rcptTos.join(u',');
    return r;
}

MonitorConfig mailConfig(const SmtpServer& server, const QString& recipients) {
    MonitorConfig c;
    c.title = QStringLiteral("Switch Room 7");
    c.mailServer = server.url();
    c.mailSender = QStringLiteral("monitor@corvane.test");
    c.pagerRecipients = recipients;
    return c;
}

// The pager on, with its collaborators.
struct Paging : test::PagerParts {
    Paging(const SmtpServer& server, const QString& recipients) : PagerParts(mailConfig(server, recipients)) {
        ui.setMenuChecked(MenuItem::EnablePager, true);
    }
    // An "A" message from the engine.
    void alarm(const QString& text) { handler.handle(text); }
};

// Real time for the SMTP transfers, manual time for the pauses between recipients.
bool runUntilIdle(const Pager& pager, test::ManualClock& clock) {
    return QTest::qWaitFor(
        [&] {
            if (pager.isBusy())
                clock.advance(100);
            return !pager.isBusy();
        },
        30000);
}

} // namespace

class TestPager : public QObject {
    Q_OBJECT

    std::unique_ptr<SmtpServer> m_server;
    std::unique_ptr<SmtpServer> m_refusing;
    // A self-signed certificate for 127.0.0.1, which is also the trusted authority.
    QTemporaryDir m_certFolder;
    QString m_certificate;
    std::unique_ptr<SmtpServer> m_starttls;
    std::unique_ptr<SmtpServer> m_smtps;

    // The whole monitor, for the paths from the message ring and the heartbeat watchdog to the mail.
    static std::unique_ptr<test::TestMonitor> makeMonitor(const SmtpServer& server,
                                                          const QString& recipients) {
        auto t = std::make_unique<test::TestMonitor>(mailConfig(server, recipients));
        t->monitor.ui().setMenuChecked(MenuItem::EnablePager, true);
        // No engine here: the watchdogs would page its silence in the middle of these tests.
        t->monitor.relay().stop();
        t->monitor.heartbeat().stop();
        return t;
    }

private slots:
    void initTestCase() {
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                       "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                       "-keyout", "-", "-out", "-"});
        QVERIFY(openssl.waitForFinished() && openssl.exitCode() == 0);
        m_certificate = m_certFolder.filePath(QStringLiteral("both.pem"));
        QFile both(m_certificate);
        QVERIFY(both.open(QIODevice::WriteOnly));
        both.write(openssl.readAllStandardOutput());
        both.close();

        m_server = std::make_unique<SmtpServer>();
        m_refusing =
            std::make_unique<SmtpServer>(SmtpServer::Options{QStringLiteral("b@corvane.test"), {}, {}});
        m_starttls = std::make_unique<SmtpServer>(SmtpServer::Options{{}, m_certificate, {}});
        m_smtps = std::make_unique<SmtpServer>(SmtpServer::Options{{}, {}, m_certificate});
        for (SmtpServer* server : {m_server.get(), m_refusing.get(), m_starttls.get(), m_smtps.get()})
            QVERIFY(server->waitReady());
    }
    void init() {
        for (SmtpServer* server : {m_server.get(), m_refusing.get(), m_starttls.get(), m_smtps.get()})
            server->forget();
    }

    void throttleGathersAlarmsIntoOnePagePerRecipient() {
        Paging t(*m_server, QStringLiteral(" a@corvane.test ; b@corvane.test;c@corvane.test "));
        // The start-up time holds back pages for the first ten minute boundaries.
        t.clock.advance(5 * 60 * 1000);
        QStringList lines;
        for (int i = 1; i <= 10; ++i) {
            t.alarm(QStringLiteral("T1 Alarm span %1").arg(i));
            lines.prepend(t.alarms.lines().last());
            t.clock.advance(20 * 1000);
        }
        QCOMPARE(m_server->messages().size(), 0);
        QCOMPARE(t.pager.pendingPage(), lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));

        // 08:08:20 now; 08:10:59 is still only ten boundaries after 08:00:00.
        t.clock.advanceTo(QDateTime(QDate(2026, 3, 7), QTime(8, 10, 59)));
        t.alarm(QStringLiteral("Completion rate low"));
        lines.prepend(t.alarms.lines().last());
        QVERIFY(!t.pager.isBusy());
        QCOMPARE(m_server->messages().size(), 0);

        t.clock.advanceTo(QDateTime(QDate(2026, 3, 7), QTime(8, 11, 0)));
        t.alarm(QStringLiteral("Replication lost"));
        lines.prepend(t.alarms.lines().last());
        const QDateTime sendStart = t.clock.now();
        QVERIFY(t.pager.isBusy());
        QVERIFY(runUntilIdle(t.pager, t.clock));

        const QList<Received> mails = m_server->messages();
        QCOMPARE(recipientsOf(mails), (QStringList{"a@corvane.test", "b@corvane.test", "c@corvane.test"}));
        const QString body = lines.join(u'\n') + u'\n';
        for (const Received& m : mails) {
            QCOMPARE(m.subject, QStringLiteral("Switch Room 7"));
            QCOMPARE(m.body, body);
            QCOMPARE(m.mailFrom, QStringLiteral("monitor@corvane.test"));
        }
        // About 2.2 s after each of the three sends, and the throttle starts again from the send.
        QVERIFY(sendStart.msecsTo(t.clock.now()) >= 3 * 2200);
        QCOMPARE(t.pager.lastPageTime().secsTo(t.clock.now()) < 1, true);
        QCOMPARE(t.pager.pendingPage(), QString());

        // The next alarm waits again.
        t.clock.advance(60 * 1000);
        t.alarm(QStringLiteral("Alarm again"));
        QVERIFY(!t.pager.isBusy());
        QCOMPARE(m_server->messages().size(), 3);
    }

    void maskedTextFlushesWithoutJoining() {
        Paging t(*m_server, QStringLiteral("ops@corvane.test"));
        // Nothing pending: a masked text does nothing at all, even with the throttle open.
        t.pager.openThrottle();
        const QDateTime opened = t.pager.lastPageTime();
        t.pager.pageNow(QStringLiteral("CorvaneBox responded"));
        QVERIFY(!t.pager.isBusy());
        QCOMPARE(t.pager.pendingPage(), QString());
        QCOMPARE(t.pager.lastPageTime(), opened);

        t.pager.setLastPageTime(t.clock.now());
        t.pager.pageNow(QStringLiteral("CorvaneBox not responding"));
        t.config.alarmNumberMask = QStringLiteral("*7");
        t.pager.pageNow(QStringLiteral("short calls on 4")); // masked by number: not added
        QCOMPARE(t.pager.pendingPage(), QStringLiteral("CorvaneBox not responding\r\n"));
        t.clock.advance(11 * 60 * 1000);
        t.pager.pageNow(QStringLiteral("CorvaneBox responded"));
        QVERIFY(runUntilIdle(t.pager, t.clock));
        const QList<Received> mails = m_server->messages();
        QCOMPARE(mails.size(), 1);
        QCOMPARE(mails[0].body, QStringLiteral("CorvaneBox not responding\n"));
        QCOMPARE(mails[0].rcptTos, QStringList{"ops@corvane.test"});
    }

    // A test page goes out at once; an alarm a second during and after its send only gathers.
    void streamOfAlarmsAfterATestPage() {
        Paging t(*m_server, QStringLiteral("a@corvane.test;b@corvane.test"));
        auto* engine = new test::RecordingLink;
        t.link.reset(std::unique_ptr<EngineLink>(engine));
        t.ui.trigger(MenuItem::TestPage);
        QCOMPARE(engine->commands(), QStringList{"ppppp"}); // the engine answers with the alarm
        for (int second = 0; second < 30; ++second) {
            t.alarm(second == 0 ? QStringLiteral("page test 1") : QStringLiteral("T1 Alarm %1").arg(second));
            QTest::qWait(20); // real time for the transfers
            t.clock.advance(1000);
        }
        QVERIFY(runUntilIdle(t.pager, t.clock));
        const QList<Received> mails = m_server->messages();
        QCOMPARE(recipientsOf(mails), (QStringList{"a@corvane.test", "b@corvane.test"}));
        for (const Received& m : mails)
            QCOMPARE(m.body, t.alarms.line(0) + u'\n');
        QCOMPARE(t.pager.pendingPage().count(QStringLiteral("\r\n")), 29);
        QVERIFY(!t.pager.mail().sessionOpen());
    }

    // No server for 1,000 alarms a second apart: one attempt per recipient and window, one pending page.
    void stoppedServerCostsOneAttemptPerWindow() {
        Paging t(*m_server, QStringLiteral("a@corvane.test;b@corvane.test"));
        t.config.mailServer = QStringLiteral("smtp://127.0.0.1:1");
        QStringList errors;
        connect(&t.alarms, &QAbstractItemModel::rowsInserted, this, [&](const QModelIndex&, int first, int) {
            if (t.alarms.line(first).contains(QStringLiteral("E-mail send error ")))
                errors << t.alarms.line(first);
        });
        t.pager.openThrottle(); // 08:00:00: the first alarm is sent at once
        for (int i = 1; i <= 1000; ++i) {
            t.alarm(QStringLiteral("T1 Alarm %1").arg(i));
            if (t.pager.isBusy())
                QTest::qWait(5); // the refused connection comes back in real time
            t.clock.advance(1000);
        }
        QVERIFY(runUntilIdle(t.pager, t.clock));
        // 1,000 s: a window opening at 08:00:00 and one at 08:11:00, two recipients each.
        QCOMPARE(errors.size(), 4);
        QVERIFY(t.pager.pendingPage().count(QStringLiteral("\r\n")) < 1000 - 600);
        QVERIFY(t.alarms.count() <= 200 + 1 + errors.size());
    }

    // What each server takes, and each failure as an alarm line with the page dropped. Every server takes
    // AUTH in clear text too, so credentials sent outside TLS would be seen.
    void pageOutcomes_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QByteArray>("settings"); // CERT stands for the certificate's path
        QTest::addColumn<QString>("recipients");
        QTest::addColumn<QStringList>("delivered");
        QTest::addColumn<QStringList>("errors"); // the date alone, then the number with its leading blank
        const QByteArray ca = "MAIL_CA_FILE, \"CERT\"\r\n";
        const QByteArray logon = "MAIL_USER, 0042\r\nMAIL_PASSWORD, p\xC3\xA4ss\"w\xE9rd\r\n";
        const QByteArray trustedLogon = ca + logon;
        const QString a = QStringLiteral("a@corvane.test");
        const auto sendError = [](int n) {
            return QStringList{QStringLiteral("03/07/26 E-mail send error  %1 occurred, ").arg(n)};
        };
        QTest::newRow("refused recipient")
            << "refusing" << QByteArray() << "a@corvane.test;b@corvane.test;c@corvane.test"
            << QStringList{a, "c@corvane.test"} << sendError(55);
        QTest::newRow("empty piece") << "plain" << QByteArray() << "a@corvane.test;" << QStringList{a}
                                     << sendError(32021);
        QTest::newRow("cancelled logon")
            << "plain" << QByteArray("MAIL_USER, operator") << a << QStringList{}
            << QStringList{"03/07/26 E-mail Logon error  32003 occurred, "} + sendError(32010);
        QTest::newRow("STARTTLS, trusted, logon")
            << "starttls" << trustedLogon << a << QStringList{a} << QStringList{};
        QTest::newRow("STARTTLS, trusted, no logon")
            << "starttls" << ca << a << QStringList{a} << QStringList{};
        QTest::newRow("smtps, trusted, logon")
            << "smtps" << trustedLogon << a << QStringList{a} << QStringList{};
        QTest::newRow("STARTTLS, untrusted, no logon")
            << "starttls" << QByteArray() << a << QStringList{} << sendError(60);
        QTest::newRow("STARTTLS, untrusted, logon")
            << "starttls" << logon << a << QStringList{} << sendError(60);
        QTest::newRow("smtps, untrusted, logon") << "smtps" << logon << a << QStringList{} << sendError(60);
        QTest::newRow("no STARTTLS offered, logon")
            << "plain" << trustedLogon << a << QStringList{} << sendError(64);
    }
    void pageOutcomes() {
        QFETCH(QString, server);
        QFETCH(QByteArray, settings);
        QFETCH(QString, recipients);
        QFETCH(QStringList, delivered);
        QFETCH(QStringList, errors);
        SmtpServer& s = server == u"smtps"      ? *m_smtps
                        : server == u"starttls" ? *m_starttls
                        : server == u"refusing" ? *m_refusing
                                                : *m_server;
        Paging t(s, recipients);
        ini::read(settings.replace("CERT", m_certificate.toLocal8Bit()), t.config);
        // No header from the title's line break; a lone dot, Latin-1, '=', long lines and blanks survive.
        t.config.title = QStringLiteral("Salle d'\u00e9coute\r\nBcc: evil@x");
        const QString text = QStringLiteral("Event 42 r\u00e9seau = 5\r\n.\r\n") + QString(120, u'x') + u' ';
        t.pager.openThrottle();
        t.pager.pageNow(text);
        QVERIFY(runUntilIdle(t.pager, t.clock));
        const QList<Received> mails = s.messages();
        QCOMPARE(recipientsOf(mails), delivered);
        const QRegularExpression date(QStringLiteral("Date: Sat, 07 Mar 2026 08:00:\\d\\d [+-]\\d{4}\r\n"));
        for (const Received& m : mails) {
            QCOMPARE(m.subject, QStringLiteral("Salle d'\u00e9coute  Bcc: evil@x"));
            QVERIFY(!m.raw.contains(QStringLiteral("\nBcc:")));
            QCOMPARE(
                m.body,
                QString(text + QStringLiteral("\r\n")).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
            QVERIFY2(date.match(m.raw).hasMatch(), qPrintable(m.raw));
            QVERIFY(m.raw.contains(QStringLiteral("x=20\r\n")));
            for (const QString& line : m.raw.split(u'\n'))
                QVERIFY2(line.size() <= 77, qPrintable(line));
            QCOMPARE(m.tls, server == u"smtps" || server == u"starttls");
        }
        QCOMPARE(t.alarms.count(), errors.size());
        for (int i = 0; i < errors.size(); ++i) {
            QVERIFY2(t.alarms.line(i).startsWith(errors[i]), qPrintable(t.alarms.line(i)));
            QVERIFY(!t.alarms.line(i).contains(QStringLiteral("ss\"w")));
        }
        QVERIFY(server != u"refusing" || t.alarms.line(0).contains(QStringLiteral("550")));
        QCOMPARE(t.pager.pendingPage(), QString());
        const bool asked = !t.config.mailUser.isEmpty() && t.config.mailPassword.isEmpty();
        QCOMPARE(t.dialogs.messages, asked ? QStringList{"|Canceled Login"} : QStringList());
        const QList<QJsonObject> logons = s.logons();
        QCOMPARE(logons.size(), settings.contains("MAIL_PASSWORD") && !mails.isEmpty() ? 1 : 0);
        for (const QJsonObject& l : logons) {
            QVERIFY(l.value(QStringLiteral("tls")).toBool());
            QCOMPARE(l.value(QStringLiteral("login")).toString(), QStringLiteral("30303432"));
            QCOMPARE(l.value(QStringLiteral("password")).toString(),
                     QString::fromLatin1(QByteArray("p\xC3\xA4ss\"w\xE9rd").toHex()));
        }
    }

    // While the password prompt is open, heartbeats and alarms are processed and the page waits.
    void passwordPromptHoldsNothingUp() {
        auto whole = makeMonitor(*m_starttls, QStringLiteral("a@corvane.test;b@corvane.test"));
        Monitor& m = whole->monitor;
        test::ManualClock& clock = whole->services.clock;
        test::ScriptedDialogs& d = whole->services.dialogs;
        m.config().mailCaFile = m_certificate;
        m.config().mailUser = QStringLiteral("operator");
        m.heartbeat().start();
        d.holdSecrets = true;
        m.pager().openThrottle();
        m.queue().store(QStringLiteral("AT1 Alarm 0"));
        clock.advance(1);
        QVERIFY(d.openSecret);
        for (int i = 1; i <= 200; ++i) {
            m.queue().store(QStringLiteral("W"));
            if (i % 50 == 0)
                m.queue().store(QStringLiteral("AT1 Alarm %1").arg(i / 50));
            clock.advance(1000);
        }
        QCOMPARE(m.intake().processedCount(), 1 + 200 + 4);
        QCOMPARE(m.alarms().count(), 5);
        QVERIFY(m.heartbeat().lastWatchdogText().isEmpty());
        QCOMPARE(d.inputs.size(), 1);
        QVERIFY(d.openSecret);
        QVERIFY(m.pager().isBusy());

        d.answerSecret(QStringLiteral("s\u00e9same"));
        QVERIFY(runUntilIdle(m.pager(), clock));
        const QList<Received> mails = m_starttls->messages();
        QCOMPARE(recipientsOf(mails), (QStringList{"a@corvane.test", "b@corvane.test"}));
        QCOMPARE(mails[0].body.count(u'\n'), 5);
        QVERIFY(mails[0].body.startsWith(m.alarms().line(4) + u'\n'));
        const QJsonObject logon = m_starttls->logons().last();
        QCOMPARE(logon.value(QStringLiteral("password")).toString(),
                 QString::fromLatin1(QStringLiteral("s\u00e9same").toUtf8().toHex()));
    }

    // Outages with the pager off, paged at once and flushed by the recovery, and owed that flush.
    void heartbeatOutagesArePaged() {
        auto whole = makeMonitor(*m_server, QStringLiteral("noc@corvane.test"));
        Monitor& m = whole->monitor;
        test::ManualClock& clock = whole->services.clock;
        const auto heartbeatAfterTicks = [&](int ticks) {
            clock.advance(ticks * 1500);
            m.dispatcher().dispatch(u"W");
        };
        m.config().alarmStringAllow = QStringLiteral("responded");
        m.heartbeat().start(); // the heartbeat watchdog, 1.5 s ticks
        m.ui().setMenuChecked(MenuItem::EnablePager, false);
        heartbeatAfterTicks(140);
        m.ui().setMenuChecked(MenuItem::EnablePager, true);
        clock.advance(60 * 1500);
        QCOMPARE(m.pager().pendingPage(), QString());

        // 101 ticks without a heartbeat: the first "not responding" page goes out at once.
        clock.advance(101 * 1500);
        QVERIFY(m.pager().isBusy());
        // Later odd ticks, while that page is still being sent and afterwards, only gather.
        QVERIFY(runUntilIdle(m.pager(), clock));
        heartbeatAfterTicks(4);
        QCOMPARE(m_server->messages().size(), 1);
        QVERIFY(m.pager().pendingPage().startsWith(QStringLiteral("CorvaneBox not responding\r\n")));
        // The next tick pages the recovery, which flushes what is pending.
        clock.advance(1500);
        QVERIFY(runUntilIdle(m.pager(), clock));
        QCOMPARE(m_server->messages().size(), 2);
        QCOMPARE(m_server->messages()[0].body, QStringLiteral("CorvaneBox not responding\n"));
        QVERIFY(m_server->messages()[1].body.startsWith(
            QStringLiteral("CorvaneBox responded\nCorvaneBox not responding\nCorvaneBox not responding\n")));
        QCOMPARE(m.pager().pendingPage(), QString());
        QVERIFY(!m.heartbeat().watchdogPaged());

        // Paged, then the pager off before recovery: the flush is owed until a tick finds it on again.
        clock.advance(103 * 1500);
        QVERIFY(runUntilIdle(m.pager(), clock));
        QCOMPARE(m_server->messages().size(), 3);
        m.ui().setMenuChecked(MenuItem::EnablePager, false);
        heartbeatAfterTicks(0);
        clock.advance(3 * 1500);
        QVERIFY(m.heartbeat().watchdogPaged());
        m.ui().setMenuChecked(MenuItem::EnablePager, true);
        clock.advance(1500);
        QVERIFY(runUntilIdle(m.pager(), clock));
        QCOMPARE(m_server->messages().size(), 4);
        QVERIFY(m_server->messages()[3].body.startsWith(
            QStringLiteral("CorvaneBox responded\nCorvaneBox not responding\n")));
        QVERIFY(!m.heartbeat().watchdogPaged());
    }

    // MAIL_ settings are the file's bytes, written back as they read, or left out if no form can.
    void mailSettingsRoundTrip() {
        QVERIFY(!ini::content(MonitorConfig{}, {}).contains("MAIL_"));
        MonitorConfig c;
        ini::read("mail_user, 007\r\nMAIL_PASSWORD, \"p\xC3\xA4ss w\xE9\"\r\n", c);
        QCOMPARE(toWire(c.mailUser), QByteArray("007"));
        QCOMPARE(toWire(c.mailPassword), QByteArray("p\xC3\xA4ss w\xE9"));
        QByteArray file = ini::content(c, {});
        QVERIFY2(file.contains("\r\nMAIL_USER, \"007\"\r\n"), file.constData());
        QVERIFY2(file.contains("\r\nMAIL_PASSWORD, \"p\xC3\xA4ss w\xE9\"\r\n"), file.constData());
        QCOMPARE(file.count("MAIL_"), 2);
        MonitorConfig back;
        ini::read(file, back);
        QCOMPARE(back.mailPassword, c.mailPassword);
        c.mailPassword = QStringLiteral("pa\"s;s");
        QVERIFY(ini::content(c, {}).contains("\r\nMAIL_PASSWORD, pa\"s;s\r\n"));
        for (const char* password : {"a\",b", "\"ab", "ab\" "}) {
            c.mailPassword = QString::fromLatin1(password);
            QVERIFY(!ini::content(c, {}).contains("MAIL_PASSWORD"));
        }
    }
};

QTEST_GUILESS_MAIN(TestPager)
#include "test_pager.moc"
