// The search window `searchF`: a text box and find first / next / previous buttons over the
// playlist. It is created by the playlist window's find button and deleted when closed, so each
// new window starts searching from the top. Thread: UI thread only.
#pragma once

#include "core/BorderlessWindow.h"
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
    PlaylistSearch search_;
    QLineEdit* searchTXT_;
};

}  // namespace kelvra::playlist
