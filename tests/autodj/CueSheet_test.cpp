#include "autodj/CueSheet.h"

#include <gtest/gtest.h>

#include "core/Version.h"

namespace kelvra::autodj {
namespace {

TEST(CueSheet, TimesAreCdFramesAndTracksComeFromTheDeckText) {
    EXPECT_EQ(cdFrameTime(0), "00:00:00");
    EXPECT_EQ(cdFrameTime(1000), "00:01:00");
    EXPECT_EQ(cdFrameTime(61'500), "01:01:37");  // 4612.5 frames: the half goes to the even 4612
    EXPECT_EQ(cdFrameTime(6'000'000), "100:00:00");  // minutes past 99

    const QString spaces(10, u' ');
    const QString product = QString::fromUtf8(kProductName);
    const CueTrack tagged =
        trackFromDeckText(2500,
                          "TITLE:  Slow \"Burn\"" + spaces + "ARTIST:  Analog Hearts" + spaces +
                              "ALBUM:  Nights" + spaces + product,
                          "/music/Someone Else - Other Title.mp3");
    EXPECT_EQ(tagged.title, "Slow \"Burn\"");
    EXPECT_EQ(tagged.performer, "Analog Hearts");
    const CueTrack bare = trackFromDeckText(0, "song_one.wav" + spaces + product, "/song_one.wav");
    EXPECT_EQ(bare.title, "song one");
    EXPECT_TRUE(bare.performer.isEmpty());

    // Tags without a title: the file's name gives the title, and the artist when the tags have
    // none, as the playlist shows an untagged file; the labels never become the title.
    const QString empty = "TITLE:  " + spaces + "ARTIST:  " + spaces + "ALBUM:  " + spaces +
                          "YEAR:  " + spaces + "COMMENT:  " + spaces + product;
    const CueTrack untagged =
        trackFromDeckText(0, empty, "/music/Night Drive - Neon Hours - 03 - Afterglow.mp3");
    EXPECT_EQ(untagged.title, "Afterglow");
    EXPECT_EQ(untagged.performer, "Night Drive");
    const CueTrack artistOnly =
        trackFromDeckText(0, QString(empty).replace("ARTIST:  ", "ARTIST:  Tagged Artist"),
                          "/music/Night Drive - Neon Hours - 03 - Afterglow.mp3");
    EXPECT_EQ(artistOnly.title, "Afterglow");
    EXPECT_EQ(artistOnly.performer, "Tagged Artist");
    // Rules that find no title leave the name itself.
    const CueTrack nameOnly = trackFromDeckText(0, empty, "/x/a b.mp3");
    EXPECT_EQ(nameOnly.title, "a b");
    EXPECT_EQ(nameOnly.performer, "x");

    EXPECT_EQ(cueSheetText("mix.wav", {tagged, bare}),
              "FILE \"mix.wav\" WAVE\r\n"
              "  TRACK 01 AUDIO\r\n    TITLE \"Slow 'Burn'\"\r\n    PERFORMER \"Analog Hearts\"\r\n"
              "    INDEX 01 00:02:38\r\n"
              "  TRACK 02 AUDIO\r\n    TITLE \"song one\"\r\n    INDEX 01 00:00:00\r\n");
}

}  // namespace
}  // namespace kelvra::autodj
