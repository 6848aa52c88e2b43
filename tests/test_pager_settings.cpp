// The mail server settings in monitor.ini: read, and written back only when set.

#include "app/IniFile.h"
#include "common/LegacyText.h"

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
        c.mailCaFile = QStringLiteral("/etc/corvane/mail-ca.pem");
        MonitorConfig back;
        ini::read(ini::content(c, {}), back);
        QCOMPARE(back.mailServer, c.mailServer);
        QCOMPARE(back.mailSender, c.mailSender);
        QCOMPARE(back.mailCaFile, c.mailCaFile);
        QCOMPARE(back.mailUser, c.mailUser);
        QCOMPARE(back.mailPassword, c.mailPassword);
    }

    // MAIL_USER and MAIL_PASSWORD are the bytes of the file, and "Make ini file" writes them so that
    // they read back the same.
    void credentialsKeepTheirBytes_data() {
        QTest::addColumn<QByteArray>("line");    // as found in the file
        QTest::addColumn<QByteArray>("value");   // the bytes the setting then holds
        QTest::addColumn<QByteArray>("written"); // the line "Make ini file" writes, empty for none
        QTest::newRow("unquoted number") << QByteArray("MAIL_PASSWORD, 0042") << QByteArray("0042")
                                         << QByteArray("MAIL_PASSWORD, \"0042\"");
        QTest::newRow("user as a number") << QByteArray("MAIL_USER, 007") << QByteArray("007")
                                          << QByteArray("MAIL_USER, \"007\"");
        QTest::newRow("8-bit bytes") << QByteArray("MAIL_PASSWORD, \"p\xC3\xA4ss w\xE9\"")
                                     << QByteArray("p\xC3\xA4ss w\xE9")
                                     << QByteArray("MAIL_PASSWORD, \"p\xC3\xA4ss w\xE9\"");
        QTest::newRow("double quote inside") << QByteArray("MAIL_PASSWORD, pa\"s;s") << QByteArray("pa\"s;s")
                                             << QByteArray("MAIL_PASSWORD, pa\"s;s");
        QTest::newRow("double quote and comma")
            << QByteArray("MAIL_PASSWORD, \"a\",b") << QByteArray("a") << QByteArray("MAIL_PASSWORD, \"a\"");
    }
    void credentialsKeepTheirBytes() {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, written);
        MonitorConfig c;
        ini::read(line + "\r\n", c);
        const bool user = line.startsWith("MAIL_USER");
        QCOMPARE(toWire(user ? c.mailUser : c.mailPassword), value);
        const QByteArray file = ini::content(c, {});
        QVERIFY2(file.contains("\r\n" + written + "\r\n"), file.constData());
        MonitorConfig back;
        ini::read(file, back);
        QCOMPARE(back.mailUser, c.mailUser);
        QCOMPARE(back.mailPassword, c.mailPassword);
    }

    // A value that no field form carries exactly is left out rather than written changed.
    void credentialThatCannotBeWrittenIsLeftOut() {
        MonitorConfig c;
        c.mailUser = QStringLiteral("ops");
        for (const QString& password : {QStringLiteral("a\",b"), QStringLiteral("\"ab"), QStringLiteral("ab\" ")}) {
            c.mailPassword = password;
            QVERIFY(!ini::content(c, {}).contains("MAIL_PASSWORD"));
        }
    }
};

QTEST_GUILESS_MAIN(TestPagerSettings)
#include "test_pager_settings.moc"
