// The e-mail pager end to end: alarms go through the "A" handler and the pager to a real SMTP server on
// loopback (Debian's aiosmtpd), and the test reads what the server stored.

#include "alarms/AlarmList.h"
#include "alarms/Pager.h"
#include "platform/SmtpMail.h"
#include "support/TestMonitor.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace corvane;

namespace {

struct Received {
    QString mailFrom;
    QStringList rcptTos;
    QString subject;
    QString body; // line ends as LF
    QString raw;
};

// One aiosmtpd process storing what it receives in a temporary folder.
class SmtpServer {
public:
    explicit SmtpServer(const QString& refused = {}) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        QStringList args{QStringLiteral("-m"),
                         QStringLiteral("aiosmtpd"),
                         QStringLiteral("-n"),
                         QStringLiteral("-l"),
                         QStringLiteral("127.0.0.1:%1").arg(m_port),
                         QStringLiteral("-c")};
        if (refused.isEmpty())
            args << QStringLiteral("store_handler.StoreMessages") << m_folder.path();
        else
            args << QStringLiteral("store_handler.RefuseRecipient") << m_folder.path() << refused;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PYTHONPATH"), QStringLiteral(CORVANE_SOURCE_DIR "/tests/smtp"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(CORVANE_SYSTEM_PYTHON), args);
    }
    ~SmtpServer() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool waitReady() {
        if (!m_process.waitForStarted(10000))
            return false;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 15000) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, m_port);
            if (s.waitForConnected(200))
                return true;
            if (m_process.state() != QProcess::Running)
                return false;
            QTest::qWait(100);
        }
        return false;
    }
    QString url() const { return QStringLiteral("smtp://127.0.0.1:%1").arg(m_port); }
    QList<Received> messages() const {
        QList<Received> out;
        const QDir dir(m_folder.path());
        for (const QString& name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
            QFile f(dir.filePath(name));
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
            Received r;
            r.mailFrom = o.value(QStringLiteral("mail_from")).toString();
            for (const auto& v : o.value(QStringLiteral("rcpt_tos")).toArray())
                r.rcptTos << v.toString();
            r.subject = o.value(QStringLiteral("subject")).toString();
            r.body = o.value(QStringLiteral("body"))
                         .toString()
                         .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            r.raw = o.value(QStringLiteral("raw")).toString();
            out << r;
        }
        return out;
    }

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    quint16 m_port = 0;
};

QStringList recipientsOf(const QList<Received>& mails) {
    QStringList r;
    for (const Received& m : mails)
        r << m.rcptTos.join(u',');
    return r;
}

} // namespace

class TestPager : public QObject {
    Q_OBJECT

    std::unique_ptr<SmtpServer> m_server;
    std::unique_ptr<SmtpServer> m_refusing;

    std::unique_ptr<test::TestMonitor> makeMonitor(const SmtpServer& server, const QString& recipients) {
        MonitorConfig c;
        c.title = QStringLiteral("Switch Room 7");
        c.mailServer = server.url();
        c.mailSender = QStringLiteral("monitor@corvane.test");
        c.pagerRecipients = recipients;
        auto t = std::make_unique<test::TestMonitor>(c);
        t->monitor.ui.setMenuChecked(MenuItem::EnablePager, true);
        // No engine here: the watchdogs would page its silence in the middle of these tests.
        for (Timer* timer : {t->monitor.timer1.get(), t->monitor.timer2.get(), t->monitor.timer3.get()})
            timer->setEnabled(false);
        return t;
    }

    // Lets the sends and their pauses run: real time for the SMTP transfers, manual time for the
    // pauses between recipients.
    static bool runUntilIdle(test::TestMonitor& t) {
        QElapsedTimer real;
        real.start();
        while (t.monitor.pager->isBusy()) {
            if (real.elapsed() > 30000)
                return false;
            QTest::qWait(5);
            t.services.clock.advance(100);
        }
        return true;
    }

    static void alarm(test::TestMonitor& t, const QString& text) {
        t.monitor.dispatcher.dispatch(u'A' + text);
    }

private slots:
    void initTestCase() {
        m_server = std::make_unique<SmtpServer>();
        m_refusing = std::make_unique<SmtpServer>(QStringLiteral("b@corvane.test"));
        QVERIFY(m_server->waitReady());
        QVERIFY(m_refusing->waitReady());
    }

    void throttleGathersAlarmsIntoOnePagePerRecipient() {
        const int before = m_server->messages().size();
        auto t = makeMonitor(*m_server, QStringLiteral(" a@corvane.test ; b@corvane.test;c@corvane.test "));
        test::ManualClock& clock = t->services.clock;
        // The start-up time holds back pages for the first ten minute boundaries.
        clock.advance(5 * 60 * 1000);
        QStringList lines;
        for (int i = 1; i <= 10; ++i) {
            alarm(*t, QStringLiteral("T1 Alarm span %1").arg(i));
            lines.prepend(t->monitor.alarms->lines().last());
            QVERIFY(!t->monitor.pager->isBusy());
            clock.advance(20 * 1000);
        }
        QCOMPARE(m_server->messages().size(), before);
        QCOMPARE(t->monitor.pager->pendingPage(),
                 lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));

        // 08:08:20 now; 08:10:59 is still only ten boundaries after 08:00:00.
        clock.advanceTo(QDateTime(QDate(2026, 3, 7), QTime(8, 10, 59)));
        alarm(*t, QStringLiteral("Completion rate low"));
        lines.prepend(t->monitor.alarms->lines().last());
        QVERIFY(!t->monitor.pager->isBusy());
        QCOMPARE(m_server->messages().size(), before);

        clock.advanceTo(QDateTime(QDate(2026, 3, 7), QTime(8, 11, 0)));
        alarm(*t, QStringLiteral("Replication lost"));
        lines.prepend(t->monitor.alarms->lines().last());
        const QDateTime sendStart = clock.now();
        QVERIFY(t->monitor.pager->isBusy());
        QVERIFY(runUntilIdle(*t));

        const QList<Received> mails = m_server->messages().mid(before);
        QCOMPARE(recipientsOf(mails), (QStringList{"a@corvane.test", "b@corvane.test", "c@corvane.test"}));
        const QString body = lines.join(u'\n') + u'\n';
        for (const Received& m : mails) {
            QCOMPARE(m.subject, QStringLiteral("Switch Room 7"));
            QCOMPARE(m.body, body);
            QCOMPARE(m.mailFrom, QStringLiteral("monitor@corvane.test"));
        }
        QVERIFY(lines.first().endsWith(QStringLiteral("---Replication lost")));
        // About 2.2 s after each of the three sends, and the throttle starts again from the send.
        QVERIFY(sendStart.msecsTo(clock.now()) >= 3 * 2200);
        QCOMPARE(t->monitor.pager->lastPageTime().secsTo(clock.now()) < 1, true);
        QCOMPARE(t->monitor.pager->pendingPage(), QString());

        // The next alarm waits again.
        clock.advance(60 * 1000);
        alarm(*t, QStringLiteral("Alarm again"));
        QVERIFY(!t->monitor.pager->isBusy());
        QCOMPARE(m_server->messages().size(), before + 3);
    }

    void maskedTextFlushesWithoutJoining() {
        const int before = m_server->messages().size();
        auto t = makeMonitor(*m_server, QStringLiteral("ops@corvane.test"));
        Pager& pager = *t->monitor.pager;
        // Nothing pending: a masked text does nothing at all, even with the throttle open.
        pager.openThrottle();
        const QDateTime opened = pager.lastPageTime();
        pager.pageNow(QStringLiteral("CorvaneBox responded"));
        QVERIFY(!pager.isBusy());
        QCOMPARE(pager.pendingPage(), QString());
        QCOMPARE(pager.lastPageTime(), opened);

        pager.setLastPageTime(t->services.clock.now());
        pager.pageNow(QStringLiteral("CorvaneBox not responding"));
        t->monitor.config.alarmNumberMask = QStringLiteral("*7");
        pager.pageNow(QStringLiteral("short calls on 4")); // masked by number: not added
        QCOMPARE(pager.pendingPage(), QStringLiteral("CorvaneBox not responding\r\n"));
        t->services.clock.advance(11 * 60 * 1000);
        pager.pageNow(QStringLiteral("CorvaneBox responded"));
        QVERIFY(runUntilIdle(*t));
        const QList<Received> mails = m_server->messages().mid(before);
        QCOMPARE(mails.size(), 1);
        QCOMPARE(mails[0].body, QStringLiteral("CorvaneBox not responding\n"));
        QCOMPARE(mails[0].rcptTos, QStringList{"ops@corvane.test"});
    }

    void refusedRecipientIsLoggedAndOthersStillGetTheirs() {
        auto t = makeMonitor(*m_refusing, QStringLiteral("a@corvane.test;b@corvane.test;c@corvane.test"));
        t->monitor.pager->openThrottle();
        alarm(*t, QStringLiteral("Event 42"));
        QVERIFY(runUntilIdle(*t));
        const QList<Received> mails = m_refusing->messages();
        QCOMPARE(recipientsOf(mails), (QStringList{"a@corvane.test", "c@corvane.test"}));
        const AlarmList& list = *t->monitor.alarms;
        QCOMPARE(list.count(), 2);
        const QString error = list.line(1);
        // The date alone, then the number with its leading blank.
        QVERIFY2(error.startsWith(QStringLiteral("03/07/26 E-mail send error  55 occurred, ")),
                 qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("550")), qPrintable(error));
        QCOMPARE(t->monitor.ui.element(Element::LastAlarm).caption, error);
        QCOMPARE(t->monitor.pager->pendingPage(), QString());
    }

    void emptyRecipientPieceIsASendError() {
        const int before = m_server->messages().size();
        auto t = makeMonitor(*m_server, QStringLiteral("a@corvane.test;"));
        t->monitor.pager->openThrottle();
        t->monitor.pager->pageNow(QStringLiteral("T1 Alarm 9"));
        QVERIFY(runUntilIdle(*t));
        QCOMPARE(recipientsOf(m_server->messages().mid(before)), QStringList{"a@corvane.test"});
        QCOMPARE(t->monitor.alarms->count(), 1);
        QVERIFY(t->monitor.alarms->line(0).startsWith(
            QStringLiteral("03/07/26 E-mail send error  32021 occurred, ")));
    }

    void requestDuringASendWaitsForIt() {
        const int before = m_server->messages().size();
        auto t = makeMonitor(*m_server, QStringLiteral("a@corvane.test"));
        Pager& pager = *t->monitor.pager;
        pager.openThrottle();
        pager.pageNow(QStringLiteral("T1 Alarm first"));
        QVERIFY(pager.isBusy());
        // Made while the first is still sending, with the throttle open: it goes out right after.
        pager.pageNow(QStringLiteral("T1 Alarm second"));
        QCOMPARE(pager.pendingPage(), QStringLiteral("T1 Alarm first\r\n"));
        QVERIFY(runUntilIdle(*t));
        const QList<Received> mails = m_server->messages().mid(before);
        QCOMPARE(mails.size(), 2);
        QCOMPARE(mails[0].body, QStringLiteral("T1 Alarm first\n"));
        QCOMPARE(mails[1].body, QStringLiteral("T1 Alarm second\n"));
        QVERIFY(!pager.mail().sessionOpen());
    }

    void bodyTextSurvivesTheWire() {
        const int before = m_server->messages().size();
        auto t = makeMonitor(*m_server, QStringLiteral("a@corvane.test"));
        t->monitor.config.title = QStringLiteral("Salle d'\u00e9coute");
        t->monitor.pager->openThrottle();
        // A dot alone on a line ends an SMTP message; Latin-1 text, '=' and a long line must survive.
        const QString text = QStringLiteral("T1 Alarm r\u00e9seau = 5\r\n.\r\n") + QString(120, u'x') + u' ';
        t->monitor.pager->pageNow(text);
        QVERIFY(runUntilIdle(*t));
        const QList<Received> mails = m_server->messages().mid(before);
        QCOMPARE(mails.size(), 1);
        QCOMPARE(mails[0].subject, QStringLiteral("Salle d'\u00e9coute"));
        QCOMPARE(
            mails[0].body,
            QString(text + QStringLiteral("\r\n")).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    }

    void watchdogOutagePagesOnceThenFlushesAtRecovery() {
        const int before = m_server->messages().size();
        auto t = makeMonitor(*m_server, QStringLiteral("noc@corvane.test"));
        t->monitor.timer3->setEnabled(true); // the heartbeat watchdog, 1.5 s ticks
        test::ManualClock& clock = t->services.clock;
        // 101 ticks without a heartbeat: the first "not responding" page goes out at once.
        clock.advance(101 * 1500);
        QVERIFY(t->monitor.pager->isBusy());
        // Later odd ticks, while that page is still being sent and afterwards, only gather.
        QVERIFY(runUntilIdle(*t));
        clock.advance(4 * 1500);
        QCOMPARE(m_server->messages().size(), before + 1);
        QVERIFY(t->monitor.pager->pendingPage().startsWith(QStringLiteral("CorvaneBox not responding\r\n")));
        // The heartbeat returns: the next tick pages the recovery, which flushes what is pending.
        t->monitor.dispatcher.dispatch(u"W");
        clock.advance(1500);
        QVERIFY(runUntilIdle(*t));
        const QList<Received> mails = m_server->messages().mid(before);
        QCOMPARE(mails.size(), 2);
        QCOMPARE(mails[0].body, QStringLiteral("CorvaneBox not responding\n"));
        QVERIFY(mails[1].body.startsWith(
            QStringLiteral("CorvaneBox not responding\nCorvaneBox not responding\n")));
        QVERIFY(!mails[1].body.contains(QStringLiteral("responded")));
        QCOMPARE(t->monitor.pager->pendingPage(), QString());
    }

    void cancelledLogon() {
        const int before = m_server->messages().size();
        auto t = makeMonitor(*m_server, QStringLiteral("a@corvane.test"));
        t->monitor.config.mailUser = QStringLiteral("operator");
        t->monitor.pager->openThrottle();
        t->monitor.pager->pageNow(QStringLiteral("T1 Alarm 3")); // the password dialog is cancelled
        QVERIFY(runUntilIdle(*t));
        const test::ScriptedDialogs& d = t->services.dialogs;
        QCOMPARE(d.inputs.size(), 1);
        QVERIFY(d.inputs[0].startsWith(QStringLiteral("E-mail Logon|")));
        QVERIFY(d.messages.contains(QStringLiteral("|Canceled Login")));
        const AlarmList& list = *t->monitor.alarms;
        QCOMPARE(list.count(), 2);
        QVERIFY2(list.line(0).startsWith(QStringLiteral("03/07/26 E-mail Logon error  32003 occurred, ")),
                 qPrintable(list.line(0)));
        // Without a session the send fails too, and the page is dropped.
        QVERIFY(list.line(1).startsWith(QStringLiteral("03/07/26 E-mail send error  32010 occurred, ")));
        QCOMPARE(t->monitor.pager->pendingPage(), QString());
        QCOMPARE(m_server->messages().size(), before);
    }

    void credentialsNeverGoOutInClearText() {
        const int before = m_server->messages().size();
        auto t = makeMonitor(*m_server, QStringLiteral("a@corvane.test"));
        t->monitor.config.mailUser = QStringLiteral("operator");
        t->services.dialogs.inputAnswers << QStringLiteral("s3cret-Pa55");
        t->monitor.pager->openThrottle();
        t->monitor.pager->pageNow(QStringLiteral("T1 Alarm 4"));
        QVERIFY(runUntilIdle(*t));
        // The test server offers no STARTTLS: the send is refused before any logon is attempted.
        QCOMPARE(m_server->messages().size(), before);
        const AlarmList& list = *t->monitor.alarms;
        QCOMPARE(list.count(), 1);
        QVERIFY2(list.line(0).startsWith(QStringLiteral("03/07/26 E-mail send error  64 occurred, ")),
                 qPrintable(list.line(0)));
        QVERIFY(!list.line(0).contains(QStringLiteral("s3cret")));
        // The password given once is kept for the run: the next logon does not ask again.
        t->monitor.pager->pageNow(QStringLiteral("T1 Alarm 5"));
        QVERIFY(runUntilIdle(*t));
        QCOMPARE(t->services.dialogs.inputs.size(), 1);
    }

    void sessionAlreadyEstablished() {
        auto t = makeMonitor(*m_server, QStringLiteral("a@corvane.test"));
        Pager& pager = *t->monitor.pager;
        QVERIFY(pager.mailLogon());
        QVERIFY(!pager.mailLogon());
        QCOMPARE(t->services.dialogs.messages, QStringList{"|Session already established"});
        pager.mailLogoff();
        QVERIFY(pager.mailLogon());
        pager.mailLogoff();
    }

    void pagerMenus() {
        auto t = makeMonitor(*m_server, QStringLiteral("old@corvane.test"));
        MainWindowModel& ui = t->monitor.ui;
        test::ScriptedDialogs& d = t->services.dialogs;
        Pager& pager = *t->monitor.pager;
        test::ManualClock& clock = t->services.clock;

        ui.setMenuChecked(MenuItem::EnablePager, false);
        d.inputAnswers << QStringLiteral("x@corvane.test; y@corvane.test");
        ui.trigger(MenuItem::EnablePager);
        QVERIFY(ui.isChecked(MenuItem::EnablePager));
        QCOMPARE(d.inputs.last(), QStringLiteral("Page Recipients Entry|Enter or edit pagees email addresses "
                                                 "separated by ';'|old@corvane.test"));
        QCOMPARE(t->config.pagerRecipients, QStringLiteral("x@corvane.test; y@corvane.test"));
        QCOMPARE(pager.lastPageTime(), clock.now().addSecs(-660));

        clock.advance(60 * 1000);
        ui.trigger(MenuItem::PromptAddresses); // cancelled
        QCOMPARE(t->config.pagerRecipients, QString());
        ui.trigger(MenuItem::EnablePager);
        QVERIFY(!ui.isChecked(MenuItem::EnablePager));
        QCOMPARE(pager.lastPageTime(), clock.now().addSecs(-660));

        clock.advance(60 * 1000);
        ui.trigger(MenuItem::TestPage);
        QCOMPARE(pager.lastPageTime(), clock.now().addSecs(-660));
    }

    void messageFormat() {
        MailMessage m{QStringLiteral("Title\r\nBcc: evil@x"), QStringLiteral("a=b\r\n.x\r\n"),
                      QStringLiteral("r@x")};
        const QByteArray text = SmtpMail::composeMessage(
            m, QStringLiteral("s@x"), QDateTime(QDate(2026, 12, 5), QTime(15, 7), Qt::UTC));
        // A line break in the title cannot add a header.
        QVERIFY(text.contains("Subject: Title  Bcc: evil@x\r\n"));
        QVERIFY(!text.contains("\r\nBcc:"));
        QVERIFY2(text.contains("Date: Sat, 05 Dec 2026 15:07:00 +0000\r\n"), text.constData());
        QVERIFY(text.endsWith("\r\n\r\na=3Db\r\n=2Ex\r\n"));
        QCOMPARE(SmtpMail::quotedPrintable("end \r\n"), QByteArray("end=20\r\n"));
        const QByteArray longLine = SmtpMail::quotedPrintable(QByteArray(200, 'y'));
        for (const QByteArray& l : longLine.split('\n'))
            QVERIFY(l.size() <= 77);
    }
};

QTEST_GUILESS_MAIN(TestPager)
#include "test_pager.moc"
