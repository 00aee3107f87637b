#include "playlist/PlaylistSearch.h"
#include "PlaylistFixture.h"

namespace kelvra::playlist::test {
namespace {

class PlaylistSearchTest : public PlaylistFixture {
  protected:
    void load(const QStringList& titles) {
        QStringList files;
        for (int i = 0; i < titles.size(); ++i) {
            const QString path = QStringLiteral("/m/%1.mp3").arg(i);
            titles_[path] = titles[i];
            files.push_back(path);
        }
        playlist_->loadsongs_to_playlist(files);
        settle();
    }
    int notFound() const {
        return static_cast<int>(std::count_if(
            dialogs_.messages.begin(), dialogs_.messages.end(),
            [](const kelvra::test::AskedMessage& m) { return m.text == "Can't find the song"; }));
    }
    PlaylistSearch search_{*playlist_, dialogs_};
};

TEST_F(PlaylistSearchTest, MatchesAnywhereInTheLineIgnoringCaseNumbersIncluded) {
    load({"Intro", "Club MIX", "Radio Mix", "Outro"});
    search_.findFirst("  mix ");
    EXPECT_TRUE(search_.searchFound());
    EXPECT_EQ(playlist_->selectedRow(), 1);
    EXPECT_EQ(playlist_->nextSong(), "/m/1.mp3");
    search_.findNext("mix");
    EXPECT_EQ(playlist_->selectedRow(), 2);

    search_.findFirst("4");  // the number is part of the line
    EXPECT_EQ(playlist_->selectedRow(), 3);

    search_.findFirst("   ");  // spaces only: nothing happens at all
    EXPECT_FALSE(search_.searchFound());
    EXPECT_EQ(playlist_->selectedRow(), 3);
    EXPECT_EQ(notFound(), 0);
}

TEST_F(PlaylistSearchTest, ForwardSearchWrapsAfterAFailure) {
    load({"Alpha", "Beta", "Gamma"});
    search_.findFirst("alpha");
    EXPECT_EQ(playlist_->selectedRow(), 0);
    search_.findNext("alpha");
    EXPECT_EQ(notFound(), 1);
    EXPECT_EQ(dialogs_.messages.back().icon, MessageIcon::Exclamation);
    EXPECT_EQ(search_.searchPosition(), 3);
    EXPECT_EQ(playlist_->selectedRow(), 0);  // a failed search leaves the selection
    search_.findNext("alpha");
    EXPECT_TRUE(search_.searchFound());
    EXPECT_EQ(playlist_->selectedRow(), 0);

    // Only the last entry matches: find next after finding it wraps at once and finds it again.
    search_.findFirst("gamma");
    search_.findNext("gamma");
    EXPECT_TRUE(search_.searchFound());
    EXPECT_EQ(playlist_->selectedRow(), 2);
    EXPECT_EQ(notFound(), 1);
}

TEST_F(PlaylistSearchTest, BackwardSearchWrapsAfterAFailure) {
    load({"Alpha", "Beta", "Gamma"});
    search_.findFirst("zzz");  // fails, leaving the position one past the end
    EXPECT_EQ(search_.searchPosition(), 3);
    search_.findPrevious("gamma");  // from above the last entry: finds it
    EXPECT_EQ(playlist_->selectedRow(), 2);
    search_.findPrevious("gamma");  // passes the top and fails
    EXPECT_FALSE(search_.searchFound());
    EXPECT_EQ(search_.searchPosition(), -1);
    search_.findPrevious("gamma");  // starts again with the last entry
    EXPECT_TRUE(search_.searchFound());
    EXPECT_EQ(playlist_->selectedRow(), 2);

    // The playlist is read afresh each time: a removed entry is not found any more.
    dialogs_.answerNext(MessageResult::Yes);
    playlist_->removeCB_Click();
    search_.findPrevious("gamma");
    EXPECT_FALSE(search_.searchFound());
}

}  // namespace
}  // namespace kelvra::playlist::test
