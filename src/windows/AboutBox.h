#pragma once
// The about box (frmAbout): the program's title, version, a line on what it is and the operator's
// warning; "&System Info..." starts the desktop's system information tool.

#include <QDialog>

class QLabel;
class QPushButton;

namespace corvane {

class Dialogs;
class Launcher;

class AboutBox : public QDialog {
    Q_OBJECT
public:
    AboutBox(Launcher& launcher, Dialogs& dialogs, QWidget* parent = nullptr);

    static QString titleText();
    // The program's icon, drawn rather than loaded so that it needs no resource files.
    static QPixmap programIcon(int size);
    static QString versionText(); // "Version 1.2.0"
    static constexpr const char* kDisclaimer =
        "Warning: ... The controls on this window act upon the telephony properties of this application "
        "suite, a wrong value may affect the traffic in unpredictable ways. ";
    static constexpr const char* kNoSystemInfo = "System Information Is Unavailable At This Time";

    // StartSysInfo: the tool, or the message that there is none.
    void startSysInfo();

    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QLabel* picIcon = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;

private:
    Launcher& m_launcher;
    Dialogs& m_dialogs;
};

} // namespace corvane
