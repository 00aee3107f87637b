// The playlist window reduced to a list of paths, for tests of the main window's logic.
#pragma once

#include <QStringList>

#include "app/PlaylistWindowPort.h"

namespace kelvra::test {

class FakePlaylist : public app::PlaylistWindowPort {
  public:
    int playlistPosition() const override { return position; }
    int count() const override { return static_cast<int>(paths.size()); }
    QString pathAt(int index) const override { return paths.value(index); }
    void pressAdd() override { added.clear(); }
    QString addedSongPath() const override { return added; }
    // Selecting a line makes it the current entry, as the playlist's selection handling does.
    void selectEntry(int index) override {
        selected = index;
        if (index >= 0 && index < count()) position = index;
        ++selections;
    }
    void advance() override {
        if (count() > 0) selectEntry(position + 1 < count() ? position + 1 : 0);
    }
    void ensureLoaded() override { ++loads; }
    void loadsongs_to_playlist(const QString& file) override {
        paths << file;
        position = static_cast<int>(paths.size()) - 1;
        added = file;
        changed = true;
    }
    void save_playlist() override { ++saves; }
    bool playlistChanged() const override { return changed; }
    QString currentPlaylist() const override { return current; }
    void pressRemove() override { ++removes; }
    void show() override { ++shows; }
    void setMixKey(int key) override { mixKey = key; }

    QStringList paths;
    int position = 0, selected = -1, selections = 0, loads = 0, saves = 0, removes = 0, shows = 0;
    int mixKey = -1;
    QString added, current;
    bool changed = false;
};

}  // namespace kelvra::test
