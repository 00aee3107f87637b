// The search window `searchF`: a text box and find first / next / previous buttons over the
// playlist. It is created by the playlist window's find button and deleted when closed, so each
// new window starts searching from the top. Thread: UI thread only.
#pragma once

#include "core/BorderlessWindow.h"
#include "core/Dialogs.h"
#include "playlist/PlaylistSearch.h"

class QLineEdit;

namespace kelvra::playlist {

class SearchWindow final : public BorderlessWindow {
    Q_OBJECT
  public:
    SearchWindow(PlaylistController& playlist, Dialogs& dialogs, QWidget* owner);

    const PlaylistSearch& search() const { return search_; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    // The search's message boxes belong to this window, and the keyboard comes back here when
    // they close; a box owned by the main window would leave the focus there.
    class OwnDialogs final : public Dialogs {
      public:
        OwnDialogs(Dialogs& shared, SearchWindow& owner) : shared_(shared), owner_(owner) {}
        MessageResult message(const QString& title, const QString& text, MessageButtons buttons,
                              MessageIcon icon) override;
        QStringList openFiles(const FileDialogRequest& request) override {
            return shared_.openFiles(request);
        }
        QString saveFile(const FileDialogRequest& request) override {
            return shared_.saveFile(request);
        }

      private:
        Dialogs& shared_;
        SearchWindow& owner_;
    };
    void takeKeyboard();

    OwnDialogs dialogs_;
    PlaylistSearch search_;
    QLineEdit* searchTXT_;
};

}  // namespace kelvra::playlist
