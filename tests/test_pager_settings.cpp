// The mail server settings in monitor.ini: read, and written back only when set.

#include "app/IniFile.h"

#include <QTest>

using namespace corvane;

class TestPagerSettings : public QObject {
    Q_OBJECT

private slots:
    void readAndWrittenBackOnlyWhenSet() {
        MonitorConfig defaults;
        const QString plain = QString::fromLatin1(ini::content(defaults, {}));
        QVERIFY(!plain.contains(QStringLiteral("MAIL_SERVER")));
        QVERIFY(!plain.contains(QStringLiteral("MAIL_FROM")));
        QVERIFY(!plain.contains(QStringLiteral("MAIL_USER")));
        QVERIFY(!plain.contains(QStringLiteral("MAIL_PASSWORD")));

        MonitorConfig c;
        ini::read("TCP, 1\r\nmail_server, \"smtps://mail.example.org:465\"\r\n"
                  "MAIL_FROM, \"switch7@example.org\"\r\nMAIL_USER, \"ops\"\r\n",
                  c);
        QCOMPARE(c.mailServer, QStringLiteral("smtps://mail.example.org:465"));
        QCOMPARE(c.mailSender, QStringLiteral("switch7@example.org"));
        QCOMPARE(c.mailUser, QStringLiteral("ops"));
        QCOMPARE(c.mailPassword, QString());
        QVERIFY(!c.useUdp);

        const QString written = QString::fromLatin1(ini::content(c, {}));
        QVERIFY(written.contains(QStringLiteral("\r\nMAIL_SERVER, \"smtps://mail.example.org:465\"\r\n")));
        QVERIFY(written.contains(QStringLiteral("\r\nMAIL_FROM, \"switch7@example.org\"\r\n")));
        QVERIFY(written.contains(QStringLiteral("\r\nMAIL_USER, \"ops\"\r\n")));
        QVERIFY(!written.contains(QStringLiteral("MAIL_PASSWORD")));

        c.mailPassword = QStringLiteral("pa;ss,word");
        MonitorConfig back;
        ini::read(ini::content(c, {}), back);
        QCOMPARE(back.mailServer, c.mailServer);
        QCOMPARE(back.mailSender, c.mailSender);
        QCOMPARE(back.mailUser, c.mailUser);
        QCOMPARE(back.mailPassword, c.mailPassword);
    }
};

QTEST_GUILESS_MAIN(TestPagerSettings)
#include "test_pager_settings.moc"
