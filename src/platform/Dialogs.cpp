#include "platform/Dialogs.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QMessageBox>

#include <algorithm>
#include <cstdio>

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
    // The questions asked here unload the switch or erase a file: Enter must not answer Yes. A plain
    // box with no icon, as the program's other messages.
    QMessageBox box(QMessageBox::NoIcon, titleOr(title), text, QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString QtDialogs::input(const QString& prompt, const QString& title, const QString& initial) {
    QInputDialog box(m_parent);
    box.setWindowTitle(titleOr(title));
    box.setLabelText(prompt);
    box.setTextValue(initial);
    // Wide enough for its whole title: the window manager cuts a title short in a narrow frame. The
    // allowance covers the frame's icon and buttons.
    constexpr int kFrameAllowance = 160;
    box.setMinimumWidth(std::max(box.sizeHint().width(),
                                 box.fontMetrics().horizontalAdvance(box.windowTitle()) + kFrameAllowance));
    return box.exec() == QDialog::Accepted ? box.textValue() : QString();
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

namespace {
void tellStandardError(const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}
} // namespace

void HeadlessDialogs::message(const QString& text, const QString& title) {
    tellStandardError(title.isEmpty() ? text : title + QStringLiteral(": ") + text);
}

bool HeadlessDialogs::askYesNo(const QString& text, const QString& title) {
    static_cast<void>(title);
    tellStandardError(text + QStringLiteral(" (no one to answer: No)"));
    return false;
}

QString HeadlessDialogs::input(const QString& prompt, const QString& title, const QString& initial) {
    static_cast<void>(title);
    tellStandardError(prompt + QStringLiteral(" (no one to answer: left as it was)"));
    return initial;
}

void HeadlessDialogs::askSecret(const QString& prompt, const QString& title,
                                std::function<void(const QString&)> answered) {
    static_cast<void>(title);
    tellStandardError(prompt + QStringLiteral(" (no one to answer: refused)"));
    // Answered as a cancelled prompt, after the asker has returned, as a dialog would.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [answered = std::move(answered)] { answered(QString()); },
        Qt::QueuedConnection);
}

} // namespace corvane
