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

void QtDialogs::askSecret(const QString& prompt, const QString& title,
                          std::function<void(const QString&)> answered) {
    auto* dialog = new QInputDialog(m_parent);
    dialog->setWindowTitle(titleOr(title));
    dialog->setLabelText(prompt);
    dialog->setTextEchoMode(QLineEdit::Password);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, answered = std::move(answered)](int result) {
        QString text = result == QDialog::Accepted ? dialog->textValue() : QString();
        dialog->setTextValue({});
        dialog->deleteLater();
        answered(text);
        text.fill(u'\0');
    });
    // Window-modal, and open() returns at once: the monitor goes on working behind the prompt.
    dialog->open();
}

} // namespace corvane
