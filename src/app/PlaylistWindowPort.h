// The playlist window as the main window sees it: the decks' view of the playlist, plus what
// start-up and shutdown need (loading the window, adding a command-line song, saving).
// Thread: UI thread only.
#pragma once

#include "decks/DeckHost.h"

namespace kelvra::app {

class PlaylistWindowPort : public decks::PlaylistPort {
  public:
    // Loads the window if it is not loaded yet: its load reopens the last playlist.
    virtual void ensureLoaded() = 0;
    // Appends a song, makes it the current entry and sets addedSongPath().
    virtual void loadsongs_to_playlist(const QString& file) = 0;
    virtual void save_playlist() = 0;
    virtual bool playlistChanged() const = 0;
    virtual QString currentPlaylist() const = 0;
    // Presses the remove button (asks, then removes the selected entry).
    virtual void pressRemove() = 0;
    // The main window's playlist button: shows the window.
    virtual void show() = 0;
    // The key of the song heard on the main mix (-1: none), for marking the songs that mix
    // with it.
    virtual void setMixKey(int key) = 0;
};

}  // namespace kelvra::app
