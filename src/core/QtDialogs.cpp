#include "core/QtDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace kelvra {

MessageResult QtDialogs::message(const QString& title, const QString& text, MessageButtons buttons,
                                 MessageIcon icon) {
    QMessageBox box(parent_);
    box.setWindowTitle(title);
    // Texts keep their historical line breaks (CR LF, or bare CRs); Qt breaks lines on LF only.
    QString shown = text;
    shown.replace("\r\n", "\n").replace(u'\r', u'\n');
    box.setText(shown);
    switch (icon) {
        case MessageIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MessageIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MessageIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
    }
    switch (buttons) {
        case MessageButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MessageButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MessageButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MessageButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Ok:
            return MessageResult::Ok;
        case QMessageBox::Yes:
            return MessageResult::Yes;
        case QMessageBox::No:
            return MessageResult::No;
        default:
            return MessageResult::Cancel;
    }
}

QStringList QtDialogs::openFiles(const FileDialogRequest& request) {
    if (request.multipleSelection)
        return QFileDialog::getOpenFileNames(parent_, request.title, request.initialFolder,
                                             request.filter);
    const QString file =
        QFileDialog::getOpenFileName(parent_, request.title, request.initialFolder, request.filter);
    return file.isEmpty() ? QStringList{} : QStringList{file};
}

QString QtDialogs::saveFile(const FileDialogRequest& request) {
    QString start = request.initialFolder;
    if (!request.initialName.isEmpty())
        start = start.isEmpty() ? request.initialName : start + "/" + request.initialName;
    return QFileDialog::getSaveFileName(parent_, request.title, start, request.filter);
}

QString QtDialogs::chooseFolder(const FileDialogRequest& request) {
    return QFileDialog::getExistingDirectory(parent_, request.title, request.initialFolder);
}

}  // namespace kelvra
