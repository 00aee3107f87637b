// Dialogs for tests: answers are queued beforehand, and every question asked is recorded.
// A question with no queued answer is answered with the first button of its set (Ok or Yes) for
// message boxes and with "cancelled" for file dialogs.
#pragma once

#include <deque>
#include <vector>

#include "core/Dialogs.h"

namespace kelvra::test {

struct AskedMessage {
    QString title;
    QString text;
    MessageButtons buttons;
    MessageIcon icon;
};

class ScriptedDialogs final : public Dialogs {
  public:
    void answerNext(MessageResult result) { messageAnswers_.push_back(result); }
    void answerNextOpen(QStringList files) { openAnswers_.push_back(std::move(files)); }
    void answerNextSave(QString file) { saveAnswers_.push_back(std::move(file)); }
    void answerNextFolder(QString folder) { folderAnswers_.push_back(std::move(folder)); }

    MessageResult message(const QString& title, const QString& text, MessageButtons buttons,
                          MessageIcon icon) override;
    QStringList openFiles(const FileDialogRequest& request) override;
    QString saveFile(const FileDialogRequest& request) override;
    QString chooseFolder(const FileDialogRequest& request) override;

    std::vector<AskedMessage> messages;
    std::vector<FileDialogRequest> openRequests;
    std::vector<FileDialogRequest> saveRequests;
    std::vector<FileDialogRequest> folderRequests;

  private:
    std::deque<MessageResult> messageAnswers_;
    std::deque<QStringList> openAnswers_;
    std::deque<QString> saveAnswers_;
    std::deque<QString> folderAnswers_;
};

}  // namespace kelvra::test
