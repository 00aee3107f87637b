#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "TagFixtures.h"
#include "tags/MP3Info.h"
#include "tags/TagText.h"

using namespace kelvra::tags;
using namespace kelvra::test;

TEST(MP3Info, ReadsTheBlockTrimsSpacesAndKeepsNulPadding) {
    QTemporaryDir dir;
    const QString spaced = dir.filePath(QStringLiteral("a.mp3"));
    ASSERT_TRUE(writeBytes(
        spaced, fakeAudio(500) + id3v1Block("Song", "Band", "Disc", "1999", "Nice", 147)));
    clsMP3Info info;
    info.setFilename(spaced);
    EXPECT_TRUE(info.IsFileID3v1());
    EXPECT_EQ(info.filename(), spaced);
    EXPECT_EQ(info.Title(), QStringLiteral("Song"));
    EXPECT_EQ(info.Artist(), QStringLiteral("Band"));
    EXPECT_EQ(info.Album(), QStringLiteral("Disc"));
    EXPECT_EQ(info.Year(), QStringLiteral("1999"));
    EXPECT_EQ(info.Comment(), QStringLiteral("Nice"));
    EXPECT_EQ(info.Genre(), QStringLiteral("Synth Pop"));

    const QString nuls = dir.filePath(QStringLiteral("b.MP3"));
    ASSERT_TRUE(writeBytes(nuls, id3v1Block("Song", "", "", "", "", 0, '\0')));
    info.setFilename(nuls);
    EXPECT_EQ(info.Title().size(), 30);  // the NULs stay until cleaned
    EXPECT_EQ(cleanTagText(info.Title()), QStringLiteral("Song"));
    EXPECT_EQ(info.Genre(), QStringLiteral("Blues"));

    for (std::uint8_t genre : {std::uint8_t(148), std::uint8_t(255)}) {
        ASSERT_TRUE(writeBytes(nuls, id3v1Block("S", "", "", "", "", genre)));
        info.setFilename(nuls);
        EXPECT_TRUE(info.Genre().isEmpty()) << int(genre);
    }
}

TEST(MP3Info, NamesDecideMpegAudioAndUntaggedFilesFallBackToTheirNames) {
    QTemporaryDir dir;
    clsMP3Info info;
    const QString wavNamed = dir.filePath(QStringLiteral("x.mp3.wav"));
    ASSERT_TRUE(writeBytes(wavNamed, id3v1Block("T", "A", "B", "", "", 17)));
    info.setFilename(wavNamed);
    EXPECT_TRUE(info.IsFileID3v1());
    EXPECT_EQ(info.Genre(), QStringLiteral("Rock"));

    // Not MPEG audio: everything empty but the genre, which keeps the previous file's value.
    const QString wav = dir.filePath(QStringLiteral("x.wav"));
    ASSERT_TRUE(writeBytes(wav, id3v1Block("T", "A", "B", "", "", 1)));
    info.setFilename(wav);
    EXPECT_FALSE(info.IsFileID3v1());
    EXPECT_TRUE(info.Title().isEmpty() && info.Artist().isEmpty() && info.Year().isEmpty());
    EXPECT_EQ(info.Genre(), QStringLiteral("Rock"));

    info.setFilename(dir.filePath(QStringLiteral("missing.mp3")));
    EXPECT_FALSE(info.IsFileID3v1());

    // A short file has no tag: the name rules give the title.
    const QString shortFile = dir.filePath(QStringLiteral("Track_One.mp3"));
    ASSERT_TRUE(writeBytes(shortFile, "TAG"));
    info.setFilename(shortFile);
    EXPECT_TRUE(info.IsFileID3v1());
    EXPECT_EQ(info.Title(), QStringLiteral("Track One"));
    EXPECT_TRUE(info.Artist().isEmpty() && info.Genre().isEmpty() && info.Comment().isEmpty());
}
