#include "support/ScriptedDialogs.h"

namespace kelvra::test {

MessageResult ScriptedDialogs::message(const QString& title, const QString& text,
                                       MessageButtons buttons, MessageIcon icon) {
    messages.push_back({title, text, buttons, icon});
    if (!messageAnswers_.empty()) {
        const MessageResult answer = messageAnswers_.front();
        messageAnswers_.pop_front();
        return answer;
    }
    return buttons == MessageButtons::Ok || buttons == MessageButtons::OkCancel
               ? MessageResult::Ok
               : MessageResult::Yes;
}

QStringList ScriptedDialogs::openFiles(const FileDialogRequest& request) {
    openRequests.push_back(request);
    if (openAnswers_.empty()) return {};
    QStringList answer = openAnswers_.front();
    openAnswers_.pop_front();
    return answer;
}

QString ScriptedDialogs::saveFile(const FileDialogRequest& request) {
    saveRequests.push_back(request);
    if (saveAnswers_.empty()) return {};
    QString answer = saveAnswers_.front();
    saveAnswers_.pop_front();
    return answer;
}

QString ScriptedDialogs::chooseFolder(const FileDialogRequest& request) {
    folderRequests.push_back(request);
    if (folderAnswers_.empty()) return {};
    QString answer = folderAnswers_.front();
    folderAnswers_.pop_front();
    return answer;
}

}  // namespace kelvra::test
