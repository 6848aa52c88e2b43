#include "platform/Dialogs.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace corvane {

namespace {
QString titleOr(const QString& title) {
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}
} // namespace

void QtDialogs::message(const QString& text, const QString& title) {
    QMessageBox::information(m_parent, titleOr(title), text, QMessageBox::Ok);
}

bool QtDialogs::askYesNo(const QString& text, const QString& title) {
    return QMessageBox::question(m_parent, titleOr(title), text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

QString QtDialogs::input(const QString& prompt, const QString& title, const QString& initial) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_parent, titleOr(title), prompt, QLineEdit::Normal, initial, &ok);
    return ok ? text : QString();
}

QString QtDialogs::secretInput(const QString& prompt, const QString& title) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_parent, titleOr(title), prompt, QLineEdit::Password, {}, &ok);
    return ok ? text : QString();
}

} // namespace corvane
