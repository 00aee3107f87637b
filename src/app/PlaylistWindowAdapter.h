// The playlist window as the main window sees it, over the playlist's controller and window.
// Thread: UI thread only.
#pragma once

#include <functional>
#include "app/PlaylistWindowPort.h"
#include "playlist/PlaylistController.h"

namespace kelvra::app {

class PlaylistWindowAdapter final : public PlaylistWindowPort {
  public:
    // The window itself, or nothing in a headless program: its first load (which starts the
    // controller up with the command line) and its showing.
    struct Window {
        std::function<void(const QString& commandLine)> load;
        std::function<void()> show;
    };

    // `commandLine` goes to the window's load (it opens a playlist named there).
    PlaylistWindowAdapter(playlist::PlaylistController& controller, Window window,
                          QString commandLine)
        : controller_(controller),
          window_(std::move(window)),
          commandLine_(std::move(commandLine)) {}

    int playlistPosition() const override { return controller_.playlistPosition(); }
    int count() const override { return controller_.count(); }
    QString pathAt(int index) const override { return controller_.path(index); }
    void pressAdd() override { controller_.addCB_Click(); }
    QString addedSongPath() const override { return controller_.addedSongPath(); }
    void selectEntry(int index) override { controller_.selectLine(index); }
    void advance() override;

    void ensureLoaded() override;
    bool loaded() const { return loaded_; }
    void loadsongs_to_playlist(const QString& file) override {
        controller_.loadsongs_to_playlist({file});
    }
    void save_playlist() override { controller_.save_playlist(); }
    bool playlistChanged() const override { return controller_.playlistChanged(); }
    QString currentPlaylist() const override { return controller_.currentPlaylist(); }
    void pressRemove() override { controller_.removeCB_Click(); }
    void show() override {
        if (window_.show) window_.show();
    }
    void setMixKey(int key) override { controller_.model().setMixKey(key); }

  private:
    playlist::PlaylistController& controller_;
    Window window_;
    QString commandLine_;
    bool loaded_ = false;
};

}  // namespace kelvra::app
