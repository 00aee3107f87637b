// The musical key on the real program logic: each deck shows its song's key in both notations,
// green when it mixes with the other deck's, and the playlist is told the key on the main mix so
// it can mark the songs that would mix next.
#include <gtest/gtest.h>

#include "support/AnalysisFixtures.h"
#include "support/MainWindowRig.h"

namespace kelvra::app {
namespace {

constexpr int kAMinor = 21, kEMinor = 16, kFSharpMajor = 6;

TEST(MusicalKey, DecksShowTheKeyAndThePlaylistHearsTheKeyOnTheMainMix) {
    test::MainWindowRig rig;
    MainWindow& w = *rig.window;
    for (Side side : {Side::Left, Side::Right})
        w.deck(side).loadChosenFile(rig.addSong(side == Side::Left ? "a.mp3" : "b.mp3"));
    w.analysisReady(Side::Left, w.deck(Side::Left).songFile(),
                    test::analysisOf({.bpm = 124, .key = kAMinor}));
    w.analysisReady(Side::Right, w.deck(Side::Right).songFile(),
                    test::analysisOf({.bpm = 124, .key = kFSharpMajor}));
    w.tmrTrackLength_Timer();
    DeckDisplayModel& left = w.controls().left.display;
    EXPECT_EQ(left.keyText(), "8A  A minor");
    EXPECT_FALSE(left.keyCompatible());  // a tritone apart
    EXPECT_EQ(rig.playlist.mixKey, -1);  // nothing plays yet

    w.analysisReady(Side::Right, w.deck(Side::Right).songFile(),
                    test::analysisOf({.bpm = 124, .key = kEMinor}));
    w.tmrTrackLength_Timer();
    EXPECT_TRUE(left.keyCompatible());  // a fifth away
    EXPECT_TRUE(w.controls().right.display.keyCompatible());

    // The left deck plays with the crossfader towards it: its key is the one on the main mix.
    w.controls().mixer.crossFader.setValue(0);
    w.controls().left.play.click();
    w.tmrTrackLength_Timer();
    EXPECT_EQ(rig.playlist.mixKey, kAMinor);
    // The right deck joins and the fader crosses over: the louder deck carries the mix.
    w.controls().right.play.click();
    w.controls().mixer.crossFader.setValue(100);
    w.tmrTrackLength_Timer();
    EXPECT_EQ(rig.playlist.mixKey, kEMinor);
    w.controls().right.pause.click();
    w.tmrTrackLength_Timer();
    EXPECT_EQ(rig.playlist.mixKey, -1);  // the left deck is playing but faded out
}

}  // namespace
}  // namespace kelvra::app
