#include <gtest/gtest.h>

#include "tags/FileNameRules.h"
#include "tags/TagText.h"

using namespace kelvra::tags;

namespace {

struct Guess {
    QString artist, title, album;
};

Guess guess(const QString& path) {
    const InfoRecord record = parseFileName(path);
    return {trimSpaces(record.artist), trimSpaces(record.title), trimSpaces(record.album)};
}

}  // namespace

TEST(FileNameRules, DashRuleTakesArtistAlbumAndNumberedTitle) {
    const InfoRecord record = parseFileName(QStringLiteral("/m/Artist - Album - 01 - Title.mp3"));
    EXPECT_EQ(record.artist, QStringLiteral("Artist "));  // the reads trim it
    EXPECT_EQ(record.album, QStringLiteral("Album "));
    EXPECT_EQ(record.title, QStringLiteral("Title"));
    EXPECT_TRUE(record.year.isEmpty() && record.comment.isEmpty() && record.genre.isEmpty());

    // Directly under the root there is one "/": no fallback, the only word piece is the artist.
    const Guess root = guess(QStringLiteral("/01 - Title.mp3"));
    EXPECT_EQ(root.artist, QStringLiteral("Title"));
    EXPECT_TRUE(root.title.isEmpty());
}

TEST(FileNameRules, ParenthesisRuleKeepsUntrimmedPiecesUntilRead) {
    const InfoRecord record = parseFileName(QStringLiteral("/m/(Artist) Title - Album.mp3"));
    EXPECT_EQ(record.artist, QStringLiteral("Artist"));
    EXPECT_EQ(record.title, QStringLiteral("Title "));
    EXPECT_EQ(record.album, QStringLiteral(" Album"));

    const InfoRecord dashFirst = parseFileName(QStringLiteral("/m/(The Band) - A Song.mp3"));
    EXPECT_EQ(dashFirst.artist, QStringLiteral("The Band"));
    EXPECT_EQ(dashFirst.title, QStringLiteral("A Song"));

    // Never closed: no artist split, the dash rule runs and takes the "(" out of the artist.
    const Guess open = guess(QStringLiteral("(Artist - 01 - Song.mp3"));
    EXPECT_EQ(open.artist, QStringLiteral("Artist"));
    EXPECT_EQ(open.title, QStringLiteral("Song"));
}

TEST(FileNameRules, NamesWithoutSpacesOnlyLoseUnderscores) {
    const InfoRecord record = parseFileName(QStringLiteral("/a/b/c/Track_One.mp3"));
    EXPECT_EQ(record.title, QStringLiteral("Track One"));
    EXPECT_TRUE(record.artist.isEmpty() && record.album.isEmpty());
    EXPECT_EQ(parseFileName(QStringLiteral("NoExtension")).title, QStringLiteral("NoExtension"));
}

TEST(FileNameRules, FolderFallbackFoldsFoldersInUntilOneSeparatorIsLeft) {
    // "Artist - Title" alone gives an album, not a title, so the folder becomes the artist.
    const Guess folder = guess(QStringLiteral("/Some Band/Artist - Title.mp3"));
    EXPECT_EQ(folder.artist, QStringLiteral("Some Band"));
    EXPECT_EQ(folder.album, QStringLiteral("Artist"));
    EXPECT_TRUE(folder.title.isEmpty());

    // One level is enough once the folder piece puts the number before the title.
    const Guess numbered = guess(QStringLiteral("/Music/Band/07 - Song.mp3"));
    EXPECT_EQ(numbered.artist, QStringLiteral("Band"));
    EXPECT_EQ(numbered.title, QStringLiteral("Song"));
    EXPECT_TRUE(numbered.album.isEmpty());

    // A deep, hostile path ends (one level per folder).
    QString deep;
    for (int i = 0; i < 500; ++i)
        deep += QStringLiteral("/x y");
    EXPECT_FALSE(guess(deep + QStringLiteral("/a - b.mp3")).artist.isEmpty());

    EXPECT_EQ(joinFolderAndName(QStringLiteral("/Music/Some Band /Song.mp3")),
              QStringLiteral("/Music/Some Band - Song.mp3"));
    EXPECT_EQ(countSeparators(QString(), QStringLiteral("-")), 0);
    EXPECT_EQ(countSeparators(QStringLiteral("a--b-"), QStringLiteral("-")), 3);
}
