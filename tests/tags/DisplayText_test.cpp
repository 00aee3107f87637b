#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "TagFixtures.h"
#include "core/Version.h"
#include "support/MockAudioLibrary.h"
#include "tags/DisplayText.h"

using namespace kelvra::tags;
using namespace kelvra::test;
using ::testing::_;
using ::testing::NiceMock;
using ::testing::Return;

namespace {

const QString kProduct = QString::fromUtf8(kelvra::kProductName);
const QString kGap(10, u' ');

// A library whose main side opens everything but WMA content, and whose WMA side reports
// `wmaList`. The ID3v1 block it reports is `block`.
class Library {
  public:
    Library(std::string block, std::string wmaList, bool isWma)
        : block_(std::move(block)), wma_(std::move(wmaList)) {
        ON_CALL(mock, streamCreateFile(_, kelvra::audio::kStreamTagsOnly))
            .WillByDefault(Return(isWma ? 0u : 7u));
        ON_CALL(mock, wmaStreamCreateFile(_, kelvra::audio::kStreamTagsOnly))
            .WillByDefault(Return(isWma ? 9u : 0u));
        ON_CALL(mock, streamTags(7u)).WillByDefault(Return(std::string_view(block_)));
        ON_CALL(mock, wmaStreamTags(9u)).WillByDefault(Return(std::string_view(wma_)));
        // Each stream opened for tags is freed again.
        EXPECT_CALL(mock, streamFree(7u)).Times(isWma ? 0 : 2);
        EXPECT_CALL(mock, wmaStreamFree(9u)).Times(isWma ? 2 : 0);
    }
    NiceMock<MockAudioLibrary> mock;

  private:
    std::string block_;
    std::string wma_;
};

// Labelled parts joined by ten spaces, ended by the product name.
QString deckText(std::initializer_list<const char*> parts) {
    QString text;
    for (const char* part : parts)
        text += QString::fromUtf8(part) + kGap;
    return text + kProduct;
}

struct Texts {
    QString deck, list;
};

Texts texts(Library& library, const QString& path) {
    return {get_ID3_tag(library.mock, path), getID3_tag(library.mock, path)};
}

}  // namespace

TEST(DisplayText, Id3v2WinsOverId3v1) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("both.mp3"));
    const std::string v1 = id3v1Block("Old", "Older", "", "", "", 0);
    ASSERT_TRUE(writeBytes(path, id3v2Tag(frame("TIT2", std::string("\0Song", 5)) +
                                          frame("TPE1", std::string("\0Band", 5)) +
                                          frame("COMM", std::string("\0eng\0Hi", 7))) +
                                     fakeAudio(300) + v1));
    Library library(v1, "", false);
    const Texts got = texts(library, path);
    EXPECT_EQ(got.deck, deckText({"TITLE:  Song", "ARTIST:  Band",
                                  "ALBUM:  ", "YEAR:  ", "COMMENT:  engHi"}));
    EXPECT_EQ(got.list, QStringLiteral("Song - Band"));
}

TEST(DisplayText, EmptyId3v2AndId3v1Tags) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("empty.mp3"));
    ASSERT_TRUE(writeBytes(path, id3v2Tag("", 10) + fakeAudio(300)));
    Library library("", "", false);
    const Texts got = texts(library, path);
    EXPECT_EQ(got.deck, deckText({"TITLE:  ", "ARTIST:  ", "ALBUM:  ", "YEAR:  ", "COMMENT:  "}));
    EXPECT_EQ(got.list, QStringLiteral("-"));

    const QString plain = dir.filePath(QStringLiteral("v1.mp3"));
    ASSERT_TRUE(writeBytes(plain, fakeAudio(300)));
    Library blank(id3v1Block("", "", "", "", "", 0), "", false);
    EXPECT_EQ(getID3_tag(blank.mock, plain), QStringLiteral(" - "));
    EXPECT_TRUE(get_ID3_tag(blank.mock, plain).endsWith(kProduct));
}

TEST(DisplayText, Id3v1BlockIsReadUpToItsFirstNul) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("v1.mp3"));
    ASSERT_TRUE(writeBytes(path, fakeAudio(300)));
    Library spaced(id3v1Block("Song", "Band", "Disc", "1999", "Note", 3), "", false);
    const Texts full = texts(spaced, path);
    EXPECT_EQ(full.deck, deckText({"TITLE:  Song", "ARTIST:  Band", "ALBUM:  Disc", "YEAR:  1999",
                                   "COMMENT:  Note"}));
    EXPECT_EQ(full.list, QStringLiteral("Song - Band"));

    Library nuls(id3v1Block("Song", "Band", "Disc", "1999", "Note", 3, '\0'), "", false);
    const Texts cut = texts(nuls, path);
    EXPECT_EQ(cut.deck,
              deckText({"TITLE:  Song", "ARTIST:  ", "ALBUM:  ", "YEAR:  ", "COMMENT:  "}));
    EXPECT_EQ(cut.list, QStringLiteral("Song - "));
}

TEST(DisplayText, UntaggedOrUnreadableFilesShowTheirName) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Song.mp3"));
    ASSERT_TRUE(writeBytes(path, fakeAudio(300)));
    Library untagged("", "", false);
    const Texts got = texts(untagged, path);
    EXPECT_EQ(got.deck, QStringLiteral("Song.mp3"));
    EXPECT_EQ(got.list, QStringLiteral("Song.mp3"));

    NiceMock<MockAudioLibrary> nothing;  // neither side opens it
    EXPECT_EQ(get_ID3_tag(nothing, QStringLiteral("/x/y/Gone.wav")), QStringLiteral("Gone.wav"));
    EXPECT_EQ(getID3_tag(nothing, QStringLiteral("/x/y/Gone.wav")), QStringLiteral("Gone.wav"));
}

TEST(DisplayText, WmaAttributesInListOrder) {
    const QString path = QStringLiteral("/music/a.wma");
    const std::string list = bytes(
        "Title:Song\0Author:Band\0WM/AlbumTitle:Disc\0"
        "WM/Year:2004\0Copyright:Me\0WM/Genre:Pop\0\0");
    Library full(list, list, true);
    const Texts got = texts(full, path);
    EXPECT_EQ(got.deck, deckText({"TITLE:  Song", "AUTHOR:  Band", "ALBUM:  Disc", "YEAR:  2004",
                                  "COPYRIGHT:  Me"}));
    EXPECT_EQ(got.list, QStringLiteral("Song - Band"));

    Library titleOnly("", bytes("Title:\xc3\x89t\xc3\xa9\0\0"), true);
    const Texts title = texts(titleOnly, path);
    EXPECT_EQ(title.deck, deckText({"TITLE:  \u00C9t\u00E9"}));
    EXPECT_EQ(title.list, QStringLiteral("\u00C9t\u00E9"));

    Library authorOnly("", bytes("x\0nocolon\0 author :Band\0\0"), true);
    const Texts author = texts(authorOnly, path);
    EXPECT_EQ(author.list, QStringLiteral("- Band"));
    EXPECT_EQ(author.deck, deckText({"AUTHOR:  Band"}));

    Library none("", "", true);
    EXPECT_EQ(texts(none, path).deck, QStringLiteral("a.wma"));
}

TEST(DisplayText, TheHeadlineTakesTitleAndArtistOrAWmaFilesAuthor) {
    const Headline id3 = headlineOf(
        deckText({"TITLE:  Midnight Run ", "ARTIST:  DJ Nova", "ALBUM:  Night Shift"}), "/a.mp3");
    EXPECT_EQ(id3.title, "Midnight Run");
    EXPECT_EQ(id3.artist, "DJ Nova");
    const Headline wma = headlineOf(
        deckText({"TITLE:  Slow Burn", "AUTHOR:  Analog Hearts", "COPYRIGHT:  x"}), "/b.wma");
    EXPECT_EQ(wma.artist, "Analog Hearts");
    // An empty title falls back on the file's name, whose rules may name the artist too.
    const Headline untagged = headlineOf(deckText({"TITLE:  ", "ARTIST:  "}), "/c/x y.mp3");
    EXPECT_EQ(untagged.title, "x y");
}
