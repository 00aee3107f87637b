// The Auto-DJ's pointer over the real playlist controller, as the main window reaches it: the
// selection, the playlist position and the next-song line follow every step.
#include <QSignalSpy>

#include "app/PlaylistWindowAdapter.h"
#include "autodj/AutoDJ.h"
#include "playlist/PlaylistFixture.h"

namespace kelvra::autodj {
namespace {

// A deck that loads whatever it is given and remembers it.
class RecordingDeck final : public DeckPort {
  public:
    bool ending() const override { return ending_; }
    void setEnding(bool ending) override { ending_ = ending; }
    bool hasStream() const override { return !song_.isEmpty(); }
    QString songFile() const override { return song_; }
    std::uint32_t position() override { return 0; }
    std::uint32_t length() const override { return 0; }
    bool playing() override { return false; }
    void load(const QString& path) override { song_ = path; }
    void play() override {}
    void setCuePoint(std::uint32_t) override {}
    SliderModel& volume() override { return volume_; }

  private:
    bool ending_ = false;
    QString song_;
    SliderModel volume_{0, 100, 50};
};

class AutoDJPlaylist : public playlist::test::PlaylistFixture {
  protected:
    AutoDJPlaylist()
        : port_(*playlist_, app::PlaylistWindowAdapter::Window{}, QString()),
          fadeTimer_(clock_.createTimer()),
          autoDJ_({left_, right_, port_, crossFader_, button_, up_, down_, *fadeTimer_, dialogs_,
                   settings, [] { return Side::Left; }}) {
        playlist_->loadsongs_to_playlist({"/m/one.mp3", "/m/two.mp3", "/m/three.mp3"});
        settle();
        playlist_->selectLine(0);
    }

    app::PlaylistWindowAdapter port_;
    std::unique_ptr<Timer> fadeTimer_;
    RecordingDeck left_, right_;
    SliderModel crossFader_{0, 100, 50, Orientation::Horizontal};
    ButtonModel button_, up_, down_;
    settings::ProgramSettings settings;
    AutoDJ autoDJ_;
};

TEST_F(AutoDJPlaylist, NextPreviousAndTheAutoDJMoveTheSelectionAndTheNextSongLine) {
    QSignalSpy lines(playlist_.get(), &playlist::PlaylistController::nextSongChanged);
    down_.click();
    EXPECT_EQ(playlist_->playlistPosition(), 1);
    EXPECT_EQ(playlist_->selectedRow(), 1);
    EXPECT_EQ(playlist_->nextSong(), "/m/two.mp3");
    ASSERT_EQ(lines.count(), 1);
    EXPECT_EQ(lines.last().at(0).toString(), playlist_->displayLine(1));
    down_.click();
    down_.click();
    EXPECT_EQ(playlist_->playlistPosition(), 0);  // wrapped
    up_.click();
    EXPECT_EQ(playlist_->playlistPosition(), 2);  // wrapped back
    EXPECT_EQ(playlist_->nextSong(), "/m/three.mp3");

    // Switching on moves the pointer on (wrapping) and loads that entry into the right deck.
    button_.click();
    EXPECT_EQ(right_.songFile(), "/m/one.mp3");
    EXPECT_EQ(playlist_->selectedRow(), 0);
    EXPECT_EQ(lines.last().at(0).toString(), playlist_->displayLine(0));
    // The deck's skip after a bad path moves on the same way, wrapping too.
    port_.advance();
    port_.advance();
    port_.advance();
    EXPECT_EQ(playlist_->playlistPosition(), 0);
}

}  // namespace
}  // namespace kelvra::autodj
