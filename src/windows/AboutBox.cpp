#include "windows/AboutBox.h"

#include "common/Version.h"
#include "platform/Dialogs.h"
#include "platform/Launcher.h"
#include "platform/ProgramIcon.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvane {

QString AboutBox::titleText() {
    return QString::fromLatin1(version::title);
}

QString AboutBox::versionText() {
    return QStringLiteral("Version %1.%2.%3").arg(version::major).arg(version::minor).arg(version::revision);
}

QPixmap AboutBox::programIcon(int size) {
    return programIconPixmap(size);
}

AboutBox::AboutBox(Launcher& launcher, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_launcher(launcher), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + titleText());

    picIcon = new QLabel(this);
    picIcon->setPixmap(programIcon(48));
    picIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    lblTitle = new QLabel(titleText(), this);
    QFont big = lblTitle->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    lblTitle->setFont(big);
    lblVersion = new QLabel(versionText(), this);
    lblDescription = new QLabel(QString::fromLatin1(version::description), this);
    lblDescription->setWordWrap(true);
    lblDisclaimer = new QLabel(QString::fromLatin1(kDisclaimer), this);
    lblDisclaimer->setWordWrap(true);
    for (QLabel* label : {lblTitle, lblVersion, lblDescription, lblDisclaimer})
        label->setTextFormat(Qt::PlainText);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    auto* text = new QVBoxLayout;
    text->addWidget(lblTitle);
    text->addWidget(lblVersion);
    text->addSpacing(8);
    text->addWidget(lblDescription);
    text->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(picIcon);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    buttons->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblDisclaimer, 1);
    bottom->addSpacing(12);
    bottom->addLayout(buttons);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(rule);
    all->addLayout(bottom);
    setMinimumWidth(480);

    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, &AboutBox::startSysInfo);
}

void AboutBox::startSysInfo() {
    if (!m_launcher.startSystemInfo())
        m_dialogs.message(QString::fromLatin1(kNoSystemInfo));
}

} // namespace corvane
