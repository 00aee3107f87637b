// Real message boxes and file dialogs on Qt Widgets.
#pragma once

#include "core/Dialogs.h"

class QWidget;

namespace kelvra {

class QtDialogs final : public Dialogs {
  public:
    // `parent` may be null; it is the window that owns the dialogs.
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    MessageResult message(const QString& title, const QString& text, MessageButtons buttons,
                          MessageIcon icon) override;
    QStringList openFiles(const FileDialogRequest& request) override;
    QString saveFile(const FileDialogRequest& request) override;
    QString chooseFolder(const FileDialogRequest& request) override;

  private:
    QWidget* parent_;
};

}  // namespace kelvra
