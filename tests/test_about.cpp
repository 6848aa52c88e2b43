// The about box: its texts, the System Info button with and without a tool, and the Help menu.

#include "app/Monitor.h"
#include "app/Startup.h"
#include "common/Version.h"
#include "support/TestMonitor.h"
#include "windows/AboutBox.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace corvane;

class AboutTest : public QObject {
    Q_OBJECT
private slots:
    void texts() {
        test::TestPlatform services;
        AboutBox box(services.launcher, services.dialogs);
        const QString title = QString::fromLatin1(version::title);
        QCOMPARE(box.windowTitle(), QStringLiteral("About ") + title);
        QCOMPARE(box.lblTitle->text(), title);
        QCOMPARE(box.lblVersion->text(), QStringLiteral("Version %1.%2.%3")
                                             .arg(version::major)
                                             .arg(version::minor)
                                             .arg(version::revision));
        QVERIFY(!box.lblVersion->text().contains(QStringLiteral(". ")));
        QVERIFY(!box.lblDescription->text().isEmpty());
        QVERIFY(
            box.lblDisclaimer->text().startsWith(QStringLiteral("Warning: ... The controls on this window")));
        QCOMPARE(box.cmdSysInfo->text(), QStringLiteral("&System Info..."));
        QVERIFY(!box.picIcon->pixmap().isNull());
    }

    void systemInfo_data() {
        QTest::addColumn<bool>("available");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("no tool") << false
                                 << QStringList{
                                        QStringLiteral("|System Information Is Unavailable At This Time")};
        QTest::newRow("a tool") << true << QStringList();
    }
    void systemInfo() {
        QFETCH(bool, available);
        QFETCH(QStringList, messages);
        test::TestPlatform services;
        services.launcher.systemInfoAvailable = available;
        AboutBox box(services.launcher, services.dialogs);
        box.cmdSysInfo->click();
        QCOMPARE(services.launcher.systemInfoStarts, 1);
        QCOMPARE(services.dialogs.messages, messages);
    }

    void theHelpMenuShowsOneBoxWithoutBlocking() {
        QTemporaryDir dir;
        QFile ini(dir.filePath(QStringLiteral("monitor.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("ENG_LOC_IP, \"127.0.0.1\"\r\nENG_LOC_PORT, 9\r\n");
        ini.close();
        test::TestPlatform services;
        Startup startup(services.platform, dir.path(), QStringLiteral("desk"));
        startup.showWindows = false;
        startup.quit = [](int) {};
        QVERIFY(test::runStartup(startup, services.clock, QString()));
        // trigger() returns: the box is modeless.
        QVERIFY(!startup.aboutBox());
        startup.monitor()->ui().trigger(MenuItem::About);
        AboutBox* first = startup.aboutBox();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        QVERIFY(!first->isModal());
        first->cmdOK->click();
        QVERIFY(!first->isVisible());
        startup.monitor()->ui().trigger(MenuItem::About);
        QCOMPARE(startup.aboutBox(), first);
        QVERIFY(first->isVisible());
    }
};

QTEST_MAIN(AboutTest)
#include "test_about.moc"
