// Every message box and file dialog the program shows goes through this interface, so tests can
// answer them and record what was asked. Thread: UI thread only.
#pragma once

#include <QString>
#include <QStringList>

namespace kelvra {

enum class MessageIcon { None, Critical, Question, Exclamation, Information };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageResult { Ok, Cancel, Yes, No };

struct FileDialogRequest {
    QString title;
    QString filter;         // Qt filter text, e.g. "MP3 Files (*.mp3);;All Files (*)"
    QString initialFolder;  // empty: the dialog's own choice
    QString initialName;    // proposed file name (save dialogs)
    bool multipleSelection = false;
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // A modal message box; returns the button pressed (Cancel when closed another way).
    virtual MessageResult message(const QString& title, const QString& text, MessageButtons buttons,
                                  MessageIcon icon) = 0;
    // An open-file dialog; the chosen paths, or an empty list when cancelled.
    virtual QStringList openFiles(const FileDialogRequest& request) = 0;
    // A save-file dialog; the chosen path, or an empty text when cancelled.
    virtual QString saveFile(const FileDialogRequest& request) = 0;
    // A folder chooser; the chosen folder, or an empty text when cancelled (or where there is
    // no one to ask).
    virtual QString chooseFolder(const FileDialogRequest& request) {
        (void)request;
        return {};
    }
};

}  // namespace kelvra
