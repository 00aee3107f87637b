// The search window's logic: find first, next and previous over the playlist's display lines
// (number included), case ignored, wrapping at either end. It keeps no copy of the playlist, so
// edits made between searches are seen. A new search window starts from position 0.
// Thread: UI thread only.
#pragma once

#include <QString>

namespace kelvra {
class Dialogs;
}

namespace kelvra::playlist {

class PlaylistController;

class PlaylistSearch {
  public:
    PlaylistSearch(PlaylistController& playlist, Dialogs& dialogs)
        : playlist_(playlist), dialogs_(dialogs) {}

    // Each takes the text box's content; spaces around it are ignored, and an empty text does
    // nothing. A match selects the entry, which makes it the next song.
    void findFirst(const QString& text);
    void findNext(const QString& text);
    void findPrevious(const QString& text);

    int searchPosition() const { return searchPosition_; }
    bool searchFound() const { return searchFound_; }

  private:
    bool matches(int row) const;
    void report(bool found);

    PlaylistController& playlist_;
    Dialogs& dialogs_;
    int searchPosition_ = 0;  // where the last search stopped; N or -1 after a failed one
    QString searchText_;
    bool searchFound_ = false;
};

}  // namespace kelvra::playlist
