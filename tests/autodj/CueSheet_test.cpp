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
    const CueTrack tagged = trackFromDeckText(
        2500, "TITLE:  Slow \"Burn\"" + spaces + "ARTIST:  Analog Hearts" + spaces +
                  "ALBUM:  Nights" + spaces + QString::fromUtf8(kProductName));
    EXPECT_EQ(tagged.title, "Slow \"Burn\"");
    EXPECT_EQ(tagged.performer, "Analog Hearts");
    const CueTrack bare =
        trackFromDeckText(0, "song one" + spaces + QString::fromUtf8(kProductName));
    EXPECT_EQ(bare.title, "song one");
    EXPECT_TRUE(bare.performer.isEmpty());

    EXPECT_EQ(cueSheetText("mix.wav", {tagged, bare}),
              "FILE \"mix.wav\" WAVE\r\n"
              "  TRACK 01 AUDIO\r\n    TITLE \"Slow 'Burn'\"\r\n    PERFORMER \"Analog Hearts\"\r\n"
              "    INDEX 01 00:02:38\r\n"
              "  TRACK 02 AUDIO\r\n    TITLE \"song one\"\r\n    INDEX 01 00:00:00\r\n");
}

}  // namespace
}  // namespace kelvra::autodj
