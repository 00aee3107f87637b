// Adding, removing, clearing, moving, sorting and shuffling entries, and the selection model.
#include "PlaylistFixture.h"

namespace kelvra::playlist::test {
namespace {

using MessageResult = kelvra::MessageResult;

class PlaylistEditing : public PlaylistFixture {
  protected:
    void loadFour() {
        playlist_->Load_playlist(
            writeM3u("four.m3u", {"/m/one.mp3", "/m/two.mp3", "/m/three.mp3", "/m/four.mp3"}));
        settle();
    }
};

TEST_F(PlaylistEditing, AddingAppendsInDialogOrderAndKeepsTheSelection) {
    QStringList nextSongTexts;
    QObject::connect(playlist_.get(), &PlaylistController::nextSongChanged,
                     [&](const QString& text) { nextSongTexts.push_back(text); });
    dialogs_.answerNextOpen({"/mix/folder/a.mp3", "/mix/folder/b.mp3", "/mix/folder/c.mp3"});
    playlist_->addCB_Click();
    EXPECT_EQ(paths(),
              (QStringList{"/mix/folder/a.mp3", "/mix/folder/b.mp3", "/mix/folder/c.mp3"}));
    EXPECT_EQ(playlist_->addedSongPath(), "/mix/folder/c.mp3");
    // An empty list had nothing selected: the first line becomes the selection and next song.
    EXPECT_EQ(playlist_->selectedRow(), 0);
    EXPECT_EQ(playlist_->playlistPosition(), 0);
    EXPECT_EQ(playlist_->nextSong(), "/mix/folder/a.mp3");
    settle();
    EXPECT_EQ(lines(), (QStringList{"1.  a", "2.  b", "3.  c"}));
    // The next-song box caught up with the title once it was read.
    EXPECT_EQ(nextSongTexts.back(), "1.  a");

    // With a selection that does not change, the current entry stays on the added song, which
    // is what a deck's load button loads next.
    playlist_->loadsongs_to_playlist({"/cmd/line.mp3"});
    EXPECT_EQ(playlist_->selectedRow(), 0);
    EXPECT_EQ(playlist_->playlistPosition(), 3);
    EXPECT_EQ(playlist_->addedSongPath(), "/cmd/line.mp3");
    EXPECT_EQ(playlist_->displayLine(3), "4.  line.mp3");

    dialogs_.answerNextOpen({});  // cancelled
    playlist_->addCB_Click();
    EXPECT_TRUE(playlist_->addedSongPath().isEmpty());
    EXPECT_EQ(playlist_->count(), 4);
}

TEST_F(PlaylistEditing, RemoveKeepsNumbersAndSelectsTheNextLine) {
    loadFour();
    playlist_->listClicked(2);
    dialogs_.answerNext(MessageResult::Yes);
    playlist_->removeCB_Click();
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].title, "Remove Song from playlist");
    EXPECT_EQ(dialogs_.messages[0].text, "Remove \"three\" from the playlist?");
    EXPECT_EQ(dialogs_.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(lines(), (QStringList{"1.  one", "2.  two", "4.  four"}));
    EXPECT_EQ(playlist_->selectedRow(), 2);
    EXPECT_EQ(playlist_->nextSong(), "/m/four.mp3");

    // Removing the last line selects the new last line.
    playlist_->removeCB_Click();
    EXPECT_EQ(lines(), (QStringList{"1.  one", "2.  two"}));
    EXPECT_EQ(playlist_->selectedRow(), 1);
    EXPECT_EQ(playlist_->nextSong(), "/m/two.mp3");

    dialogs_.answerNext(MessageResult::No);
    playlist_->removeCB_Click();
    EXPECT_EQ(playlist_->count(), 2);

    playlist_->removeCB_Click();
    playlist_->removeCB_Click();
    EXPECT_EQ(playlist_->count(), 0);
    EXPECT_EQ(playlist_->selectedRow(), -1);
    EXPECT_TRUE(playlist_->nextSong().isEmpty());
    const size_t asked = dialogs_.messages.size();
    playlist_->removeCB_Click();  // nothing to remove: not even a question
    playlist_->clearCB_Click();
    EXPECT_EQ(dialogs_.messages.size(), asked);
}

TEST_F(PlaylistEditing, RemovePromptNamesTheTitleWithoutItsNumber) {
    QStringList files;
    for (int i = 1; i <= 12; ++i)
        files.push_back(QStringLiteral("/m/%1.mp3").arg(i));
    titles_["/m/12.mp3"] = "2 Unlimited - No Limit";
    playlist_->loadsongs_to_playlist(files);
    settle();
    playlist_->listClicked(11);
    dialogs_.answerNext(MessageResult::No);
    playlist_->removeCB_Click();
    EXPECT_EQ(dialogs_.messages.back().text,
              "Remove \"2 Unlimited - No Limit\" from the playlist?");
    EXPECT_EQ(PlaylistController::stripNumberPrefix("12.  7 Seconds"), "7 Seconds");
}

TEST_F(PlaylistEditing, ClearAsksAndKeepsTheName) {
    loadFour();
    dialogs_.answerNext(MessageResult::No);
    playlist_->clearCB_Click();
    EXPECT_EQ(playlist_->count(), 4);
    EXPECT_FALSE(playlist_->playlistChanged());
    EXPECT_EQ(dialogs_.messages.back().text, "Remove all songs from the playlist?");
    EXPECT_EQ(dialogs_.messages.back().icon, MessageIcon::Exclamation);
    playlist_->clearCB_Click();
    EXPECT_EQ(playlist_->count(), 0);
    EXPECT_EQ(playlist_->caption(), "four");
}

TEST_F(PlaylistEditing, MovesExchangeLinesWithTheirNumbers) {
    loadFour();
    playlist_->listClicked(1);
    playlist_->cmdMoveDown_Click();
    EXPECT_EQ(lines(), (QStringList{"1.  one", "3.  three", "2.  two", "4.  four"}));
    EXPECT_EQ(playlist_->playlistPosition(), 2);
    EXPECT_EQ(playlist_->nextSong(), "/m/two.mp3");
    playlist_->cmdMoveUp_Click();
    playlist_->cmdMoveUp_Click();
    EXPECT_EQ(lines(), (QStringList{"2.  two", "1.  one", "3.  three", "4.  four"}));
    EXPECT_EQ(playlist_->selectedRow(), 0);

    // At either end nothing happens, and the changed flag stays as it was.
    playlist_->Load_playlist(playlist_->currentPlaylist());
    playlist_->cmdMoveUp_Click();
    playlist_->listClicked(3);
    playlist_->cmdMoveDown_Click();
    EXPECT_FALSE(playlist_->playlistChanged());
    EXPECT_EQ(paths().front(), "/m/one.mp3");
    EXPECT_EQ(paths().back(), "/m/four.mp3");
}

TEST_F(PlaylistEditing, SortIgnoresCaseRenumbersAndReadsTitlesAgain) {
    titles_ = {{"/m/1.mp3", "b"}, {"/m/2.mp3", "A"}, {"/m/3.mp3", "c"}};
    playlist_->loadsongs_to_playlist({"/m/1.mp3", "/m/2.mp3", "/m/3.mp3"});
    settle();
    playlist_->listClicked(2);
    titles_["/m/3.mp3"] = "C (edited)";  // the tags changed since the titles were read
    const int readsBefore = tagReads_;
    playlist_->cmdAZsort_Click();
    EXPECT_TRUE(playlist_->busy());
    playlist_->cmdMoveUp_Click();  // refused while the sort waits
    settle();
    EXPECT_FALSE(playlist_->busy());
    EXPECT_EQ(tagReads_ - readsBefore, 3);
    EXPECT_EQ(lines(), (QStringList{"1.  A", "2.  b", "3.  C (edited)"}));
    EXPECT_EQ(paths(), (QStringList{"/m/2.mp3", "/m/1.mp3", "/m/3.mp3"}));
    EXPECT_EQ(playlist_->selectedRow(), 0);
    EXPECT_EQ(playlist_->nextSong(), "/m/2.mp3");

    playlist_->cmdZAsort_Click();
    settle();
    EXPECT_EQ(lines(), (QStringList{"1.  C (edited)", "2.  b", "3.  A"}));

    // One entry: nothing to sort, but the flag is set.
    playlist_->Load_playlist(writeM3u("one.m3u", {"/m/1.mp3"}));
    playlist_->cmdAZsort_Click();
    EXPECT_FALSE(playlist_->busy());
    EXPECT_TRUE(playlist_->playlistChanged());
    settle();
    EXPECT_EQ(lines(), QStringList{"1.  b"});
}

TEST_F(PlaylistEditing, SortDropsEntriesWithoutAPathButCountsTheirPlace) {
    titles_ = {{"/m/z.mp3", "Zed"}, {"/m/y.mp3", "Why"}, {"", ""}};
    playlist_->Load_playlist(writeFile("gaps.m3u", "/m/z.mp3\r\n\r\n/m/y.mp3\r\n"));
    playlist_->cmdAZsort_Click();
    settle();
    EXPECT_EQ(lines(), (QStringList{"2.  Why", "3.  Zed"}));
}

TEST_F(PlaylistEditing, QuicksortMatchesASortedOrderForManyInputs) {
    std::mt19937 random(1234);
    for (int round = 0; round < 300; ++round) {
        const int n = static_cast<int>(random() % 40);
        std::vector<SortRow> rows;
        for (int i = 0; i < n; ++i) {
            QString key;
            for (int c = 0, len = static_cast<int>(random() % 3) + 1; c < len; ++c)
                key += QChar(u"aAbBc"[random() % 5]);
            rows.push_back({key, QString::number(i)});
        }
        for (SortOrder order : {SortOrder::AToZ, SortOrder::ZToA}) {
            std::vector<SortRow> sorted = rows;
            quicksortRows(sorted, order);
            ASSERT_EQ(sorted.size(), rows.size());
            QStringList before, after;
            for (const SortRow& r : rows)
                before.push_back(r.path);
            for (const SortRow& r : sorted)
                after.push_back(r.path);
            before.sort();
            after.sort();
            ASSERT_EQ(before, after) << "round " << round;  // nothing lost or doubled
            for (size_t i = 1; i < sorted.size(); ++i) {
                const int c =
                    QString::compare(sorted[i - 1].key, sorted[i].key, Qt::CaseInsensitive);
                ASSERT_TRUE(order == SortOrder::AToZ ? c <= 0 : c >= 0) << "round " << round;
            }
        }
    }
}

TEST_F(PlaylistEditing, ShuffleExchangesTheFirstEntryAndRenumbers) {
    EXPECT_EQ(shuffleExchangeCount(3), 5);
    EXPECT_EQ(shuffleExchangeCount(501), 1001);
    EXPECT_EQ(shuffleExchangeCount(502), 502);
    EXPECT_EQ(shuffleExchangeCount(600), 600);
    EXPECT_EQ(shuffleExchangeCount(1), 0);

    playlist_->loadsongs_to_playlist({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"});
    settle();
    // u = 0.9 picks the position floor(0.9 * 3) - 1 = 1; u = 0.1 gives -1, which means the last.
    uniforms_ = {0.9, 0.1, 0.9, 0.5, 0.1};
    playlist_->cmdRandomShuffle_Click();
    EXPECT_EQ(uniformDraws_, 5);
    // a b c -> b a c -> c a b -> a c b -> (u 0.5: r 0, itself) -> b c a
    EXPECT_EQ(paths(), (QStringList{"/m/b.mp3", "/m/c.mp3", "/m/a.mp3"}));
    EXPECT_EQ(playlist_->selectedRow(), 0);
    EXPECT_EQ(playlist_->nextSong(), "/m/b.mp3");
    const int readsBefore = tagReads_;
    settle();
    EXPECT_EQ(tagReads_ - readsBefore, 3);  // titles are read again
    EXPECT_EQ(lines(), (QStringList{"1.  b", "2.  c", "3.  a"}));

    QStringList many;
    for (int i = 0; i < 600; ++i)
        many.push_back(QStringLiteral("/m/%1.mp3").arg(i));
    playlist_->new_playlist();
    playlist_->loadsongs_to_playlist(many);
    uniformDraws_ = 0;
    playlist_->cmdRandomShuffle_Click();
    EXPECT_EQ(uniformDraws_, 600);
}

TEST_F(PlaylistEditing, SelectionFollowsClicksAndEmptyListsClearTheNextSong) {
    QString box = "untouched";
    QObject::connect(playlist_.get(), &PlaylistController::nextSongChanged,
                     [&](const QString& text) { box = text; });
    playlist_->windowDeactivated();
    EXPECT_EQ(box, "");
    loadFour();
    playlist_->listClicked(3);
    EXPECT_EQ(playlist_->playlistPosition(), 3);
    EXPECT_EQ(box, "4.  four");
    playlist_->windowDeactivated();
    EXPECT_EQ(box, "4.  four");

    int tagEditorRow = -1;
    QObject::connect(playlist_.get(), &PlaylistController::editTagsRequested,
                     [&](int row) { tagEditorRow = row; });
    playlist_->cmdID3_Click();
    EXPECT_EQ(tagEditorRow, 3);
    playlist_->new_playlist();
    playlist_->cmdID3_Click();
    EXPECT_EQ(dialogs_.messages.back().text, "Please add some music First...");
    EXPECT_EQ(dialogs_.messages.back().title, "Error - No Song loaded");
}

TEST_F(PlaylistEditing, RightClickLineIsClampedToTheLastLine) {
    EXPECT_EQ(PlaylistController::lineUnderPointer(0, 0, 16, 10), 0);
    EXPECT_EQ(PlaylistController::lineUnderPointer(0, 47.6, 16, 10), 3);  // 48 / 16
    EXPECT_EQ(PlaylistController::lineUnderPointer(5, 31, 15.5, 10), 6);  // 31 / 16 = 1
    EXPECT_EQ(PlaylistController::lineUnderPointer(0, 900, 16, 10), 9);
    EXPECT_EQ(PlaylistController::lineUnderPointer(0, 10, 16, 0), -1);
}

TEST_F(PlaylistEditing, TagSaveRewritesOnlyTheEditedLineWithOneSpace) {
    loadFour();
    playlist_->listClicked(1);
    QStringList nextSongTexts;
    QObject::connect(playlist_.get(), &PlaylistController::nextSongChanged,
                     [&](const QString& text) { nextSongTexts.push_back(text); });
    playlist_->tagsSaved(1, "New Title - Band");
    EXPECT_EQ(lines(), (QStringList{"1.  one", "2. New Title - Band", "3.  three", "4.  four"}));
    EXPECT_EQ(nextSongTexts, QStringList{"2. New Title - Band"});
    // The title is still found without its number, period and space.
    EXPECT_EQ(PlaylistController::stripNumberPrefix(playlist_->displayLine(1)), "New Title - Band");
    // A rebuild of the whole list numbers every line alike again.
    playlist_->cmdAZsort_Click();
    settle();
    for (const QString& line : lines())
        EXPECT_TRUE(line.contains(".  ")) << line.toStdString();
}

}  // namespace
}  // namespace kelvra::playlist::test
